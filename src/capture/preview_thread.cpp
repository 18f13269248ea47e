#include <windows.h>

#include "capture/capture_state.h"
#include "win32_guards.h"
#include "frame_geometry.h"
#include "capture/hot_keys.h"
#include "capture/operator_messages.h"
#include "preview_paint.h"

namespace {

bool TakeMessage(MSG &message) {
    return PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != FALSE;
}

// Sets the card up and runs the loop until a stop; 0 when the set-up was
// refused. Returns, rather than exits, so that its guards run first.
DWORD RunPreview() {
    CaptureState &state = captureState;
    state.loopActive = false;

    const geometry::FrameSize frame{state.imageWidth, state.imageHeight};
    const geometry::VideoWindow input = geometry::InputWindowFor(frame);
    CG400SetInpVideoWindow(state.cardHandle, input.left, input.top, input.width, input.height);
    if (!CG400SetDispWindow(state.cardHandle, 0, 0, frame.width, frame.height)) return 0;
    if (!CG400SetColorSpace(state.cardHandle, static_cast<unsigned char>(state.colorMode)))
        return 0;

    const preview::DisplayInfo display = preview::DisplayInfoFor(frame, state.colorMode);

    // The whole screen's context, not a window's: the picture lies over
    // whatever is on the screen at the origin. This thread took it, so this
    // thread gives it back, however it ends from here on.
    guards::ScreenContext screen(GetDC(nullptr));
    SetStretchBltMode(screen.get(), COLORONCOLOR);
    screen.SetBackgroundMode(TRANSPARENT);

    card::StaticMemory memory{};
    if (!StaticMemAlloc(&memory.memPages, &memory.snapTarget, &memory.unused,
                        &memory.readSource)) {
        messages::Show(messages::kOutOfMemory, messages::kNoticeCaption);
        return 0;
    }
    const uint32_t captureBytes = memory.memPages * card::kMemPageBytes;
    CG400SnapOneToMem(state.cardHandle, memory.snapTarget, captureBytes, 0);

    if (!state.runRequested) return 1;
    state.loopActive = true;

    bool slotToggle = false;
    bool painted = false;
    do {
        MSG message;
        if (TakeMessage(message) && !hotkeys::ApplyHotKeys(message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }

        uint32_t status = card::kNoStatus;
        CG400GetSnappingStatus(state.cardHandle, &status);
        const int slot = geometry::ChooseSlot(status, slotToggle);
        if (slot == geometry::kNoSlot) continue;

        CG400ReadFromMem(state.cardHandle, memory.readSource, captureBytes, slot,
                         state.frameBytes, 1);
        SetDIBitsToDevice(screen.get(), state.originX, state.originY,
                          static_cast<DWORD>(frame.width), static_cast<DWORD>(frame.height), 0,
                          0, 0, static_cast<UINT>(frame.height), state.frameBytes,
                          display.get(), DIB_RGB_COLORS);
        if (!painted && state.firstFramePainted) SetEvent(state.firstFramePainted);
        painted = true;
    } while (state.runRequested);

    state.loopActive = false;
    return 1;
}

}  // namespace

DWORD WINAPI PreviewThread(LPVOID moduleReference) {
    const DWORD result = RunPreview();
    // The reference EasyInit took for this thread kept this code loaded even
    // if the host freed the library; the system gives it back after the last
    // instruction here has run.
    FreeLibraryAndExitThread(static_cast<HMODULE>(moduleReference), result);
}
