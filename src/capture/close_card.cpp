// The two closes of an open card: EasyCapture saves the last frame first,
// FreeCG200 does not.
#include <windows.h>

#include <utility>

#include "capture/capture_state.h"
#include "capture/preview_waits.h"
#include "color_modes.h"
#include "still_bmp.h"
#include "vorlane.h"
#include "widening.h"
#include "win32_guards.h"

namespace {

// Widens a held frame in a narrower mode to 24 bits where it lies, in the
// buffer's room for a 24-bit one; from then on the record's mode says 24-bit,
// so that a second save finds the frame as it now is. Only with the preview
// stopped.
void WidenFrameBuffer() {
    if (!captureState.frameBytes || captureState.colorMode == colormode::kRgb24) return;
    const size_t pixelCount =
        static_cast<size_t>(captureState.imageWidth) * static_cast<size_t>(captureState.imageHeight);
    widening::WidenInPlace(captureState.frameBytes, pixelCount, captureState.colorMode);
    captureState.colorMode = colormode::kRgb24;
}

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
