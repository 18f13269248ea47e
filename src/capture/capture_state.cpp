#include "capture/capture_state.h"

CaptureState captureState;

void ReleaseFrameBuffer() {
    if (captureState.frameBytes) {
        GlobalUnlock(captureState.frameBlock);
        captureState.frameBytes = nullptr;
    }
    if (captureState.frameBlock) {
        GlobalFree(captureState.frameBlock);
        captureState.frameBlock = nullptr;
    }
}
