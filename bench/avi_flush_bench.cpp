// What flushing an AVI recording to the disk costs its writer: frames of
// 432 x 576 handed to the recorder's AVI file store at 25 a second, as the
// recorder's thread hands them, raw and Motion JPEG, with the flushes
// (once a second, at each segment's and the file's close) and without; the
// writer's busy time a second of recording. Runs alternate; medians.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "avi_file_store.h"
#include "bench_timing.h"
#include "color_modes.h"

namespace {

constexpr int kWidth = 432;
constexpr int kHeight = 576;
constexpr int kRate = 25;
constexpr int kSeconds = 4;
constexpr int kPairs = 3;

// Milliseconds a second of recording spent in the store's calls, or -1.
double BusyMilliseconds(const std::string &path, avi::Codec codec, bool flush, const std::vector<BYTE> &frame) {
    recording::AviFileSettings settings;
    settings.codec = codec;
    settings.flush = flush;
    recording::WriteFailure failure;
    DeleteFileA(path.c_str());
    std::unique_ptr<recording::PictureStore> store = recording::MakeAviFileStore(
        path, recording::FrameFormat{kWidth, kHeight, colormode::kRgb24}, settings, failure);
    if (!store) return -1;
    double busy = 0;
    const double start = bench::Seconds();
    for (int n = 0; n < kRate * kSeconds; ++n) {
        while (bench::Seconds() < start + static_cast<double>(n) / kRate) Sleep(1);
        const double before = bench::Seconds();
        if (!store->Keep(frame.data(), n + 1, failure)) return -1;
        busy += bench::Seconds() - before;
    }
    const double before = bench::Seconds();
    const bool closed = store->Close(failure);
    busy += bench::Seconds() - before;
    store.reset();
    DeleteFileA(path.c_str());
    return closed ? 1000 * busy / kSeconds : -1;
}

}  // namespace

int main() {
    char folder[MAX_PATH];
    if (!GetTempPathA(sizeof folder, folder)) return 1;
    const std::string path = std::string(folder) + "vorlane_flush_bench.avi";
    // A gradient with a little noise, so that Motion JPEG frames are about
    // a camera's size.
    std::vector<BYTE> frame(static_cast<size_t>(kWidth) * kHeight * 3);
    uint32_t seed = 1;
    for (size_t i = 0; i < frame.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        frame[i] = static_cast<BYTE>(i % (kWidth * 3) / 6 + (seed >> 29));
    }
    for (const avi::Codec codec : {avi::Codec::kRaw, avi::Codec::kMjpeg}) {
        std::vector<double> flushed, unflushed;
        for (int pair = 0; pair < kPairs; ++pair) {
            flushed.push_back(BusyMilliseconds(path, codec, true, frame));
            unflushed.push_back(BusyMilliseconds(path, codec, false, frame));
        }
        std::printf("BENCH AVI writer %dx%d %s at %d/s: busy time a second of recording, flushed / not | "
                    "%.1f / %.1f | ms | median of %d alternating runs of %d s; -1: writing failed\n",
                    kWidth, kHeight, codec == avi::Codec::kRaw ? "raw" : "Motion JPEG", kRate,
                    bench::Median(flushed), bench::Median(unflushed), kPairs, kSeconds);
    }
    return 0;
}
