#include <windows.h>

#include "capture/capture_state.h"
#include "color_modes.h"
#include "win32_guards.h"
#include "frame_geometry.h"
#include "capture/hot_keys.h"
#include "capture/operator_messages.h"
#include "capture/preview_thread.h"
#include "vorlane.h"

extern "C" int __stdcall EasyInit(int x, int y, int height, int colorMode) {
    // One card at a time: a second opening would orphan the first one's
    // handle, buffer and thread.
    if (CardIsOpen(captureState.cardHandle)) return 0;

    captureState.colorMode = colorMode;
    if (!colormode::IsValid(colorMode)) return 0;

    const geometry::FrameSize frame = geometry::FrameSizeForHeight(height);
    captureState.imageHeight = frame.height;
    captureState.imageWidth = frame.width;

    captureState.cardHandle = BeginCG400(card::kCardNumber);
    if (!CardIsOpen(captureState.cardHandle)) {
        messages::Show(messages::kCardInitFailed, nullptr);
        return 0;
    }

    captureState.originX = x;
    captureState.originY = y;

    guards::LockedGlobalBlock buffer =
        guards::AllocateLockedBlock(FrameBufferBytes(frame.width, frame.height));
    if (!buffer) {
        messages::Show(messages::kAllocationFailed, messages::kNoticeCaption);
        return 0;
    }
    // The buffer stays locked until ReleaseFrameBuffer.
    captureState.frameBytes = buffer.lock.release();
    captureState.frameBlock = buffer.block.release();

    // A host may free the library while the card is open. The preview
    // thread holds a reference of its own and gives it back as it exits; the
    // open card holds another for the key hook, until the card is closed.
    const void *ownCode = reinterpret_cast<const void *>(&PreviewThread);
    guards::UniqueModule threadReference = guards::ReferenceModuleAt(ownCode);
    guards::UniqueModule cardReference = guards::ReferenceModuleAt(ownCode);
    if (!threadReference || !cardReference) return 0;

    // Without the event EasyCapture could not wait for the first frame and
    // would save black: refused like the thread itself. Kept in the record
    // even if the thread cannot start: StopPreview, which FreeCG200 runs,
    // closes it.
    captureState.firstFramePainted = guards::CreateUnnamedEvent(true, false).release();
    if (!captureState.firstFramePainted) return 0;
    captureState.runRequested = true;
    DWORD previewThreadId = 0;
    captureState.captureThread = CreateThread(nullptr, 0, PreviewThread, threadReference.get(),
                                              0, &previewThreadId);
    if (!captureState.captureThread) return 0;
    threadReference.release();  // the thread's now
    captureState.openCardModule = cardReference.release();
    hotkeys::StartKeyForwarding(previewThreadId);
    return 1;
}
