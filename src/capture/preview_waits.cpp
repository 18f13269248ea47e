#include "capture/preview_waits.h"

#include <windows.h>

#include <utility>

#include "capture/capture_state.h"
#include "capture/hot_keys.h"
#include "vorlane.h"
#include "win32_guards.h"

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
