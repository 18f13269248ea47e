// How well the live preview keeps up with the card, at the largest frame
// (432 x 576, 24-bit): with the card at its real 25 frames a second, the
// share of finished frames the preview read and painted; with a frame
// finishing at every status poll, how many frames a second the loop reads
// and paints. Each figure is the median of several runs.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench_timing.h"
#include "vcard_control.h"
#include "vorlane.h"

namespace {

constexpr int kRuns = 5;
constexpr int kHeight = 576;
constexpr int kColorMode = 1;

VcStats Stats() {
    VcStats stats{};
    VcGetStats(&stats);
    return stats;
}

using bench::Median;
using bench::Seconds;

struct Window {
    int64_t frames;  // slots the card finished
    int64_t reads;   // frames read and painted
    double seconds;
};

// Opens the card, lets the preview settle, then counts over `seconds`.
bool Measure(int32_t statusMode, DWORD milliseconds, Window &window) {
    VcReset();
    VcSetStatusMode(statusMode);
    if (EasyInit(0, 0, kHeight, kColorMode) != 1) return false;
    const double deadline = Seconds() + 5;
    while (Stats().reads < 2 && Seconds() < deadline) Sleep(1);
    const VcStats start = Stats();
    const double begin = Seconds();
    Sleep(milliseconds);
    const VcStats end = Stats();
    window.seconds = Seconds() - begin;
    FreeCG200();
    window.frames = end.framesCompleted - start.framesCompleted;
    window.reads = end.reads - start.reads;
    return start.reads >= 2 && window.frames > 0;
}

void Report(const char *name, double value, const char *unit, const char *note) {
    std::printf("BENCH %s | %.1f | %s | %s\n", name, value, unit, note);
    std::fflush(stdout);
}

}  // namespace

int main() {
    std::vector<double> share, realtimeRate, pollRate;
    for (int run = 0; run < kRuns; ++run) {
        Window window{};
        if (!Measure(VC_STATUS_REALTIME, 2000, window)) {
            std::fprintf(stderr, "preview_bench: the real-time preview did not run\n");
            return 1;
        }
        share.push_back(100.0 * static_cast<double>(window.reads) / static_cast<double>(window.frames));
        realtimeRate.push_back(static_cast<double>(window.reads) / window.seconds);
    }
    for (int run = 0; run < kRuns; ++run) {
        Window window{};
        if (!Measure(VC_STATUS_EVERY_POLL, 1000, window)) {
            std::fprintf(stderr, "preview_bench: the every-poll preview did not run\n");
            return 1;
        }
        pollRate.push_back(static_cast<double>(window.reads) / window.seconds);
    }
    Report("preview real-time frames read and painted", Median(share), "%",
           "432x576 24-bit, card at 25 fps (2 slots a frame), median of 5 x 2 s; goal 100");
    Report("preview real-time read rate", Median(realtimeRate), "slots/s",
           "432x576 24-bit, card at 25 fps, median of 5 x 2 s; the card finishes 50 a second");
    Report("preview flat-out read and paint", Median(pollRate), "frames/s",
           "432x576 24-bit, a frame at every poll, median of 5 x 1 s; goal >= 250");
    return 0;
}
