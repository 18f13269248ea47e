#include "capture/capture_state.h"

#include "color_modes.h"
#include "widening.h"

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

void WidenFrameBuffer() {
    if (!captureState.frameBytes || captureState.colorMode == colormode::kRgb24) return;
    const size_t pixelCount =
        static_cast<size_t>(captureState.imageWidth) * static_cast<size_t>(captureState.imageHeight);
    widening::WidenInPlace(captureState.frameBytes, pixelCount, captureState.colorMode);
    captureState.colorMode = colormode::kRgb24;
}
