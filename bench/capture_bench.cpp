// EasyCapture at the largest frame, 432 x 576: the stop of a running
// preview, the save and the close together, beside simply writing the same
// number of bytes to a file with the same simple file calls; FreeCG200's
// stop and close taken away leave the save alone. Mode 2 and 3 add the
// widening of 16-bit pixels. The card delivers 25 frames a second, as on a
// station; one pair of rows has it deliver at every poll, so that the stop
// meets a read and paint in flight. Runs alternate so that all see the same
// machine; each figure is the median, each ratio of modes the median of the
// runs' own ratios.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "widening.h"
#include "vcard_control.h"
#include "vorlane.h"

namespace {

constexpr int kRuns = 41;
constexpr int kWidth = 432;
constexpr int kHeight = 576;
constexpr UINT kFileBytes = 54 + kWidth * kHeight * 3;
constexpr DWORD kHalfSlotMs = 10;  // the card fills a slot every 20 ms

using bench::Median;
using bench::Seconds;

std::string TempFile(const char *name) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + name;
}

// Opens the card and waits, untimed, until the preview has painted a frame:
// its second read comes after the first paint (otherwise the timed call
// would wait for that first paint too). A card in real time is then left
// half a slot's time, so that the stop meets the preview between reads, as
// it mostly does on a station; at every poll a pass is always in flight.
bool OpenWithAFrame(int mode, int32_t statusMode = VC_STATUS_REALTIME) {
    VcReset();
    VcSetStatusMode(statusMode);
    if (EasyInit(0, 0, kHeight, mode) != 1) return false;
    VcStats stats{};
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(1)) {
        VcGetStats(&stats);
        if (stats.reads < 2) continue;
        if (statusMode == VC_STATUS_REALTIME) Sleep(kHalfSlotMs);
        return true;
    }
    return false;
}

double TimeCapture(int mode, const std::string &path, int32_t statusMode = VC_STATUS_REALTIME) {
    if (!OpenWithAFrame(mode, statusMode)) return -1;
    const double start = Seconds();
    const int result = EasyCapture(path.c_str());
    const double elapsed = Seconds() - start;
    return result == 1 ? elapsed : -1;
}

// The same stop and close without the save, to see what the save adds.
double TimeFree(int mode) {
    if (!OpenWithAFrame(mode)) return -1;
    const double start = Seconds();
    const int result = FreeCG200();
    const double elapsed = Seconds() - start;
    return result == 1 ? elapsed : -1;
}

// EasyCapture at once after EasyInit, on a card in real time: the wait for
// the preview's first frame, which the card fills one field (20 ms) after
// capture starts, as a real card does; then the stop, save and close.
double TimeCaptureAtOnce(const std::string &path, int &withAFrame) {
    VcReset();
    if (EasyInit(0, 0, kHeight, 1) != 1) return -1;
    const double start = Seconds();
    const int result = EasyCapture(path.c_str());
    const double elapsed = Seconds() - start;
    VcStats stats{};
    VcGetStats(&stats);
    withAFrame += stats.reads > 0;
    return result == 1 ? elapsed : -1;
}

bool PlainWrite(const std::string &path, const std::vector<char> &bytes) {
    const HFILE file = _lcreat(path.c_str(), 0);
    if (file == HFILE_ERROR) return false;
    const bool whole = _lwrite(file, bytes.data(), kFileBytes) == kFileBytes;
    return _lclose(file) != HFILE_ERROR && whole;
}

double TimePlainWrite(const std::string &path, const std::vector<char> &bytes) {
    const double start = Seconds();
    const bool written = PlainWrite(path, bytes);
    const double elapsed = Seconds() - start;
    return written ? elapsed : -1;
}

// FreeCG200 and then the plain write: the write meets the machine as the
// save does, right after a preview's last paint.
double TimeFreeThenWrite(const std::string &path, const std::vector<char> &bytes) {
    if (!OpenWithAFrame(1)) return -1;
    const double start = Seconds();
    const bool done = FreeCG200() == 1 && PlainWrite(path, bytes);
    const double elapsed = Seconds() - start;
    return done ? elapsed : -1;
}

// The widening alone of one 16-bit frame, by the table loop the library
// uses, where the frame lies, and by the plain one-channel-at-a-time loop
// into a second buffer: the median of many.
void TimeWidening(double &table, double &plain) {
    const size_t pixels = size_t{kWidth} * kHeight;
    std::vector<uint8_t> frame(pixels * 2), out(pixels * 3);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7 + i / 251);
    std::vector<double> fast, slow;
    for (int run = 0; run < 201; ++run) {
        std::copy(frame.begin(), frame.end(), out.begin());
        double start = Seconds();
        widening::WidenInPlace(out.data(), pixels, 2);
        fast.push_back(Seconds() - start);
        start = Seconds();
        widening::ExpandToBgr24Scalar(frame.data(), out.data(), pixels, 2);
        slow.push_back(Seconds() - start);
    }
    table = Median(fast) * 1000;
    plain = Median(slow) * 1000;
}

}  // namespace

int main() {
    const std::string capturePath = TempFile("vorlane-bench-capture.bmp");
    const std::string plainPath = TempFile("vorlane-bench-plain.bin");
    const std::vector<char> bytes(kFileBytes, 0x5A);
    std::vector<double> mode1, mode2, mode3, plain, freeOnly, freeOnly2, freeThenWrite, atOnce;
    std::vector<double> ratio2, ratio3, ratioFlatOut;
    int atOnceWithAFrame = 0;
    for (int run = 0; run < kRuns; ++run) {
        const double t1 = TimeCapture(1, capturePath);
        const double t2 = TimeCapture(2, capturePath);
        const double t3 = TimeCapture(3, capturePath);
        const double flatOut1 = TimeCapture(1, capturePath, VC_STATUS_EVERY_POLL);
        const double flatOut2 = TimeCapture(2, capturePath, VC_STATUS_EVERY_POLL);
        const double tp = TimePlainWrite(plainPath, bytes);
        const double tf = TimeFree(1);
        const double tf2 = TimeFree(2);
        const double tw = TimeFreeThenWrite(plainPath, bytes);
        const double ta = TimeCaptureAtOnce(capturePath, atOnceWithAFrame);
        if (t1 < 0 || t2 < 0 || t3 < 0 || flatOut1 < 0 || flatOut2 < 0 || tp < 0 || tf < 0 || tf2 < 0 ||
            tw < 0 || ta < 0) {
            std::fprintf(stderr, "capture_bench: run %d failed\n", run);
            return 1;
        }
        mode1.push_back(t1);
        mode2.push_back(t2);
        mode3.push_back(t3);
        plain.push_back(tp);
        freeOnly.push_back(tf);
        freeOnly2.push_back(tf2);
        freeThenWrite.push_back(tw);
        atOnce.push_back(ta);
        ratio2.push_back(t2 / t1);
        ratio3.push_back(t3 / t1);
        ratioFlatOut.push_back(flatOut2 / flatOut1);
    }
    DeleteFileA(capturePath.c_str());
    DeleteFileA(plainPath.c_str());

    const double m1 = Median(mode1) * 1000, m2 = Median(mode2) * 1000, m3 = Median(mode3) * 1000, mp = Median(plain) * 1000;
    std::printf("BENCH EasyCapture 432x576 mode 1 (stop, save, close) | %.3f | ms | median of %d\n",
                m1, kRuns);
    std::printf("BENCH EasyCapture 432x576 mode 2 (widened to 24 bits) | %.3f | ms | median of %d\n",
                m2, kRuns);
    std::printf("BENCH EasyCapture 432x576 mode 3 (widened to 24 bits) | %.3f | ms | median of %d\n",
                m3, kRuns);
    std::printf("BENCH plain write of the same %u bytes | %.3f | ms | _lcreat/_lwrite/_lclose, median of %d\n",
                kFileBytes, mp, kRuns);
    std::printf("BENCH FreeCG200 432x576 (stop, close, no save) | %.3f | ms | median of %d\n",
                Median(freeOnly) * 1000, kRuns);
    std::printf("BENCH EasyCapture mode 1 / plain write | %.2f | ratio | medians\n", m1 / mp);
    // The stop and close are FreeCG200's too; what is left is the save.
    const double mf = Median(freeOnly) * 1000;
    const double save = m1 - mf, writeAfterClose = Median(freeThenWrite) * 1000 - mf;
    std::printf("BENCH EasyCapture minus FreeCG200 (the save alone), mode 1 | %.3f | ms | medians\n", save);
    std::printf("BENCH FreeCG200 then a plain write, minus FreeCG200 | %.3f | ms | medians\n", writeAfterClose);
    std::printf("BENCH the save alone / plain write | %.2f | ratio | medians; goal <= 1.3\n", save / mp);
    std::printf("BENCH the save alone / plain write after the same close | %.2f | ratio | medians; goal <= 1.3\n",
                save / writeAfterClose);
    std::printf("BENCH EasyCapture mode 2 / plain write | %.2f | ratio | medians\n", m2 / mp);
    std::printf("BENCH EasyCapture at once after EasyInit, real-time card | %.3f | ms | median of %d; "
                "%d saved a frame the card delivered, the wait is at most %d ms\n",
                Median(atOnce) * 1000, kRuns, atOnceWithAFrame, VORLANE_FIRST_FRAME_WAIT_MS);
    std::printf("BENCH EasyCapture mode 2 / mode 1 | %.2f | ratio | median of %d paired runs; goal <= 1.2\n",
                Median(ratio2), kRuns);
    std::printf("BENCH EasyCapture mode 3 / mode 1 | %.2f | ratio | median of %d paired runs; goal <= 1.2\n",
                Median(ratio3), kRuns);
    // A card delivering at every poll: the stop waits for the pass in flight,
    // whose read (the virtual card renders 16-bit pixels) and paint cost
    // more in mode 2.
    std::printf("BENCH EasyCapture mode 2 / mode 1, card at every poll | %.2f | ratio | median of %d paired runs\n",
                Median(ratioFlatOut), kRuns);
    const double mf2 = Median(freeOnly2) * 1000;
    std::printf("BENCH FreeCG200 mode 2 / mode 1 (the stop and close alone) | %.2f | ratio | medians\n", mf2 / mf);
    std::printf("BENCH the save alone, mode 2 / mode 1 | %.2f | ratio | EasyCapture minus FreeCG200 in each mode, medians\n",
                (m2 - mf2) / save);
    double table = 0, plainLoop = 0;
    TimeWidening(table, plainLoop);
    std::printf("BENCH widening 432x576 16-bit to 24-bit, in place (table loop) | %.3f | ms | median of 201\n", table);
    std::printf("BENCH widening 432x576 16-bit to 24-bit, into a second buffer (plain loop) | %.3f | ms | median of 201\n", plainLoop);
    std::fflush(stdout);
    return 0;
}
