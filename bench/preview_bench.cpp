// How well the live preview keeps up with the card, at the largest frame
// (432 x 576, 24-bit): with the card at its real 25 frames a second, the
// share of finished frames the preview read and painted; with a frame
// finishing at every status poll, how many frames a second the loop reads
// and paints, beside a bare loop on the same card that does only what each
// pass must: one message peek, the status poll, the read and the paint.
// Each figure is the median of several runs; flat-out runs of the two
// alternate so that both see the same machine.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include "bench_timing.h"
#include "capture/capture_state.h"
#include "card_library.h"
#include "frame_geometry.h"
#include "preview_paint.h"
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

// The bare loop's body, on a thread of its own as the preview's is.
std::atomic<bool> bareRuns{false};

DWORD WINAPI BareLoop(LPVOID) {
    const int handle = BeginCG400(card::kCardNumber);
    const geometry::FrameSize frame = geometry::FrameSizeForHeight(kHeight);
    const geometry::VideoWindow input = geometry::InputWindowFor(frame);
    CG400SetInpVideoWindow(handle, input.left, input.top, input.width, input.height);
    CG400SetDispWindow(handle, 0, 0, frame.width, frame.height);
    CG400SetColorSpace(handle, static_cast<unsigned char>(kColorMode));
    card::StaticMemory memory{};
    StaticMemAlloc(&memory.memPages, &memory.snapTarget, &memory.unused, &memory.readSource);
    const uint32_t captureBytes = memory.memPages * card::kMemPageBytes;
    CG400SnapOneToMem(handle, memory.snapTarget, captureBytes, 0);
    std::vector<BYTE> buffer(FrameBufferBytes(frame.width, frame.height));
    const preview::DisplayInfo display = preview::DisplayInfoFor(frame, kColorMode);
    const HDC screen = GetDC(nullptr);
    bool slotToggle = false;
    while (bareRuns) {
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        uint32_t status = 0xFFFFFFFFu;
        CG400GetSnappingStatus(handle, &status);
        const int slot = geometry::ChooseSlot(status, slotToggle);
        if (slot == geometry::kNoSlot) continue;
        CG400ReadFromMem(handle, memory.readSource, captureBytes, slot, buffer.data(), 1);
        SetDIBitsToDevice(screen, 0, 0, static_cast<DWORD>(frame.width), static_cast<DWORD>(frame.height), 0, 0,
                          0, static_cast<UINT>(frame.height), buffer.data(), display.get(), DIB_RGB_COLORS);
    }
    ReleaseDC(nullptr, screen);
    EndCG400(handle);
    return 0;
}

// Starts the preview (or the bare loop), lets it settle, then counts over
// `milliseconds`.
bool Measure(int32_t statusMode, DWORD milliseconds, bool bare, Window &window) {
    VcReset();
    VcSetStatusMode(statusMode);
    HANDLE thread = nullptr;
    if (bare) {
        bareRuns = true;
        thread = CreateThread(nullptr, 0, BareLoop, nullptr, 0, nullptr);
        if (!thread) return false;
    } else if (EasyInit(0, 0, kHeight, kColorMode) != 1) {
        return false;
    }
    const double deadline = Seconds() + 5;
    while (Stats().reads < 2 && Seconds() < deadline) Sleep(1);
    const VcStats start = Stats();
    const double begin = Seconds();
    Sleep(milliseconds);
    const VcStats end = Stats();
    window.seconds = Seconds() - begin;
    if (bare) {
        bareRuns = false;
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    } else {
        FreeCG200();
    }
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
    std::vector<double> share, realtimeRate, pollRate, bareRate, ratio;
    for (int run = 0; run < kRuns; ++run) {
        Window window{};
        if (!Measure(VC_STATUS_REALTIME, 2000, false, window)) {
            std::fprintf(stderr, "preview_bench: the real-time preview did not run\n");
            return 1;
        }
        share.push_back(100.0 * static_cast<double>(window.reads) / static_cast<double>(window.frames));
        realtimeRate.push_back(static_cast<double>(window.reads) / window.seconds);
    }
    for (int run = 0; run < kRuns; ++run) {
        // Which goes first alternates, so that a drift in the machine's
        // load favours neither.
        Window preview{}, bare{};
        const bool bareFirst = run % 2 == 1;
        if (!Measure(VC_STATUS_EVERY_POLL, 1000, bareFirst, bareFirst ? bare : preview) ||
            !Measure(VC_STATUS_EVERY_POLL, 1000, !bareFirst, bareFirst ? preview : bare)) {
            std::fprintf(stderr, "preview_bench: a flat-out loop did not run\n");
            return 1;
        }
        pollRate.push_back(static_cast<double>(preview.reads) / preview.seconds);
        bareRate.push_back(static_cast<double>(bare.reads) / bare.seconds);
        ratio.push_back(100.0 * pollRate.back() / bareRate.back());
    }
    Report("preview real-time frames read and painted", Median(share), "%",
           "432x576 24-bit, card at 25 fps (2 slots a frame), median of 5 x 2 s; goal 100");
    Report("preview real-time read rate", Median(realtimeRate), "slots/s",
           "432x576 24-bit, card at 25 fps, median of 5 x 2 s; the card finishes 50 a second");
    Report("preview flat-out read and paint", Median(pollRate), "frames/s",
           "432x576 24-bit, a frame at every poll, median of 5 x 1 s; goal >= 250");
    Report("bare loop flat-out read and paint", Median(bareRate), "frames/s",
           "the same card and frame: one peek, poll, read and paint a pass, median of 5 x 1 s");
    Report("preview / bare loop", Median(ratio), "%", "median of the 5 paired runs; goal >= 90");
    return 0;
}
