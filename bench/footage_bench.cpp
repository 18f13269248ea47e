// The virtual card playing a folder of 1,000 pictures (640 x 480, 24-bit) in
// real time, read the way the preview reads: one frame at each change of the
// card's status. Each picture is one flat colour that carries its number, so
// every frame tells which picture it shows. Figures: the pictures shown a
// second, the pictures never shown, the time a read takes, and the memory the
// process holds beyond what it held while showing the built-in picture (the
// card's own frame memory included there). VORLANE_FOOTAGE_PICTURES changes
// the count.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "card_library.h"
#include "bmp_headers.h"
#include "vcard_control.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kFrameBytes = 768 * 576 * 3;
// A read this slow waited: for its picture, or for the CPU.
constexpr double kWaitedMs = 5;

using bench::Median;
using bench::Seconds;

struct Memory {
    double privateMb;
    double workingSetMb;
};

Memory CurrentMemory() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters),
                         sizeof counters);
    // Wine leaves PrivateUsage at 0; the page-file figure is the same memory.
    const SIZE_T privateBytes = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
    return Memory{static_cast<double>(privateBytes) / 1048576.0,
                  static_cast<double>(counters.WorkingSetSize) / 1048576.0};
}

// Picture n is blue n % 256, green n / 256, red 77.
bool WritePictures(const std::string &folder, int count) {
    const int stride = kWidth * 3;
    const DWORD pixelBytes = static_cast<DWORD>(stride) * kHeight;
    std::vector<uint8_t> bytes(bmp::kHeadersBytes + pixelBytes);
    const bmp::FileHeaderFields file = bmp::FileHeader(bmp::kHeadersBytes, pixelBytes);
    const bmp::InfoHeaderFields info = bmp::InfoHeader(kWidth, kHeight, 24);
    std::memcpy(bytes.data(), &file, sizeof file);
    std::memcpy(bytes.data() + sizeof file, &info, sizeof info);
    for (int n = 0; n < count; ++n) {
        for (size_t at = bmp::kHeadersBytes; at < bytes.size(); at += 3) {
            bytes[at] = static_cast<uint8_t>(n % 256);
            bytes[at + 1] = static_cast<uint8_t>(n / 256);
            bytes[at + 2] = 77;
        }
        char name[32];
        std::snprintf(name, sizeof name, "\\%05d.bmp", n);
        FILE *f = std::fopen((folder + name).c_str(), "wb");
        if (f == nullptr) return false;
        const bool whole = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (std::fclose(f) != 0 || !whole) return false;
    }
    return true;
}

void RemovePictures(const std::string &folder, int count) {
    for (int n = 0; n < count; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "\\%05d.bmp", n);
        DeleteFileA((folder + name).c_str());
    }
    RemoveDirectoryA(folder.c_str());
}

int ShownPicture(const std::vector<uint8_t> &frame) {
    const size_t middle = (static_cast<size_t>(288) * 768 + 384) * 3;
    return frame[middle + 2] == 77 ? frame[middle] + 256 * frame[middle + 1] : -1;
}

}  // namespace

int main() {
    const char *countText = std::getenv("VORLANE_FOOTAGE_PICTURES");
    const int count = countText != nullptr && std::atoi(countText) > 0 ? std::atoi(countText) : 1000;
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "vorlane-footage-bench";
    CreateDirectoryA(folder.c_str(), nullptr);
    if (!WritePictures(folder, count)) {
        std::fprintf(stderr, "footage_bench: could not write the pictures to %s\n", folder.c_str());
        RemovePictures(folder, count);
        return 1;
    }

    // The built-in picture first, so that the card's own memory is counted
    // in the starting figure.
    VcReset();
    const int handle = BeginCG400(card::kCardNumber);
    CG400SetInpVideoWindow(handle, 0, 0, 768, 576);
    CG400SetDispWindow(handle, 0, 0, 768, 576);
    CG400SetColorSpace(handle, 1);
    std::vector<uint8_t> frame(kFrameBytes);
    CG400ReadFromMem(handle, VC_READ_SOURCE, kFrameBytes, 0, frame.data(), 1);
    const Memory before = CurrentMemory();

    char reason[512] = "";
    const double checkStart = Seconds();
    if (!VcPlayFolder(folder.c_str(), reason, sizeof reason)) {
        std::fprintf(stderr, "footage_bench: %s\n", reason);
        RemovePictures(folder, count);
        return 1;
    }
    const double checkSeconds = Seconds() - checkStart;

    CG400SnapOneToMem(handle, VC_SNAP_TARGET, kFrameBytes, 0);
    std::vector<char> seen(static_cast<size_t>(count), 0);
    std::vector<double> readMs;
    Memory peak = before;
    uint32_t last = 0;
    int reads = 0, wrong = 0, lastShown = -1;
    const double start = Seconds();
    // One pass, plus the read-ahead's slack: until the last picture shows.
    while (lastShown != count - 1 && Seconds() - start < count / 25.0 + 30) {
        uint32_t status = last;
        CG400GetSnappingStatus(handle, &status);
        if (status == last) continue;
        last = status;
        const double readStart = Seconds();
        CG400ReadFromMem(handle, VC_READ_SOURCE, kFrameBytes, status == 2 ? 0 : 1, frame.data(), 1);
        readMs.push_back((Seconds() - readStart) * 1000);
        const int shown = ShownPicture(frame);
        if (shown < 0 || shown >= count) {
            ++wrong;
        } else {
            seen[static_cast<size_t>(shown)] = 1;
            lastShown = shown;
        }
        if (++reads % 25 == 0) {
            const Memory now = CurrentMemory();
            if (now.privateMb > peak.privateMb) peak.privateMb = now.privateMb;
            if (now.workingSetMb > peak.workingSetMb) peak.workingSetMb = now.workingSetMb;
        }
    }
    const double elapsed = Seconds() - start;
    // The status counts changes; the first frame was read at the start, before any.
    VcStats stats{};
    VcGetStats(&stats);
    EndCG400(handle);
    VcReset();  // stops the reading ahead, so the files can go
    RemovePictures(folder, count);

    int shownCount = 0;
    for (char s : seen) shownCount += s;
    double slowest = 0;
    int waited = 0;
    for (double ms : readMs) {
        slowest = slowest > ms ? slowest : ms;
        waited += ms > kWaitedMs;
    }
    const std::string of = std::to_string(count) + " pictures, 640 x 480";
    std::printf("BENCH footage: pictures shown a second | %.2f | 1/s | %d of %s in %.1f s; PAL is 25\n",
                shownCount / elapsed, shownCount, of.c_str(), elapsed);
    std::printf("BENCH footage: pictures never shown | %d | count | of %s; frames that showed none: %d\n",
                count - shownCount, of.c_str(), wrong);
    std::printf("BENCH footage: reads over %.0f ms | %d | count | of %d: waiting for the picture or for the CPU\n",
                kWaitedMs, waited, reads);
    std::printf("BENCH footage: status changes the reading loop missed | %lld | count | of %lld, while the loop had no CPU\n",
                static_cast<long long>(stats.framesCompleted - reads), static_cast<long long>(stats.framesCompleted));
    std::printf("BENCH footage: read of one frame | %.3f | ms | median of %d reads, 768 x 576 24-bit\n",
                readMs.empty() ? 0.0 : Median(readMs), reads);
    std::printf("BENCH footage: slowest read | %.1f | ms | a frame lasts 40 ms\n", slowest);
    std::printf("BENCH footage: private bytes beyond the card's | %.1f | MB | peak while playing; %.1f MB before\n",
                peak.privateMb - before.privateMb, before.privateMb);
    std::printf("BENCH footage: working set beyond the card's | %.1f | MB | peak while playing; %.1f MB before\n",
                peak.workingSetMb - before.workingSetMb, before.workingSetMb);
    std::printf("BENCH footage: header check of the folder | %.0f | ms | %d files, at the control call\n",
                checkSeconds * 1000, count);
    return 0;
}
