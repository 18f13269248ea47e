#include <windows.h>

#include <utility>

#include "capture/capture_state.h"
#include "win32_guards.h"
#include "capture/hot_keys.h"
#include "still_bmp.h"
#include "capture/operator_messages.h"
#include "vorlane.h"

void StopPreview() {
    captureState.runRequested = false;
    hotkeys::StopKeyForwarding();
    if (captureState.captureThread) {
        // The thread itself must have ended, not only its loop: a thread
        // still in its set-up is using the card too.
        guards::UniqueKernelHandle thread(std::exchange(captureState.captureThread, nullptr));
        WaitForSingleObject(thread.get(), INFINITE);
    }
    // Only now can no thread signal it any more.
    guards::UniqueKernelHandle(std::exchange(captureState.firstFramePainted, nullptr)).reset();
}

void WaitForFirstFrame() {
    if (!captureState.captureThread || !captureState.firstFramePainted) return;
    // A preview whose set-up was refused ends without a frame: no use
    // waiting for one then.
    const HANDLE paintedOrEnded[] = {captureState.firstFramePainted, captureState.captureThread};
    WaitForMultipleObjects(2, paintedOrEnded, FALSE, VORLANE_FIRST_FRAME_WAIT_MS);
}

namespace {

// Shared by the successful closes: every window repaints over the old
// picture. The screen's context is already back: the preview thread gave it
// back itself before it ended. Last, the open card's hold on this module
// goes; the host called in, so its own reference keeps this code loaded
// until the call has returned.
void CloseTail() {
    captureState.cardHandle = 0;
    InvalidateRect(nullptr, nullptr, TRUE);
    guards::UniqueModule(std::exchange(captureState.openCardModule, nullptr)).reset();
}

}  // namespace

extern "C" int __stdcall EasyCapture(const char *path) {
    if (!path) return 0;
    if (!CardIsOpen(captureState.cardHandle)) return 0;

    // Saved right after EasyInit, the frame would still be the zero-filled
    // buffer; when no frame comes in time, it is saved all the same.
    WaitForFirstFrame();
    StopPreview();
    // The file is 24-bit whatever the mode: widened in the buffer itself, it
    // is written in one piece with no second frame-sized block. On a failed
    // save or close the frame stays, so that a retry can still save it;
    // FreeCG200 lets it go.
    WidenFrameBuffer();
    if (!WriteStillBmp(path, captureState.frameBytes, captureState.imageWidth,
                       captureState.imageHeight))
        return 0;
    if (!EndCG400(captureState.cardHandle)) return 0;

    CloseTail();
    ReleaseFrameBuffer();
    return 1;
}

extern "C" int __stdcall FreeCG200() {
    if (!CardIsOpen(captureState.cardHandle)) {
        ReleaseFrameBuffer();
        return 0;
    }
    StopPreview();
    ReleaseFrameBuffer();
    if (!EndCG400(captureState.cardHandle)) return 0;
    CloseTail();
    return 1;
}

extern "C" int __stdcall HDReset() {
    // Opening again would orphan the open card's handle.
    if (CardIsOpen(captureState.cardHandle)) return 0;

    captureState.cardHandle = BeginCG400(card::kCardNumber);
    if (!CardIsOpen(captureState.cardHandle)) {
        messages::Show(messages::kCardInitFailed, nullptr);
        return 0;
    }
    // Only the card goes back to the middle; the kept values stay, so the
    // next key step starts from them.
    for (int selector : {card::kAdSelector1, card::kAdSelector2, card::kAdSelector4})
        CG400SetADParam(captureState.cardHandle, selector, card::kAdMiddle);
    return FreeCG200();
}
