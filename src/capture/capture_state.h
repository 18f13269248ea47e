// The one process-wide record shared by the exported calls and the preview
// thread. The two flags are atomic; every other field is handed between the
// threads by starting or ending the preview thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "card_library.h"
#include "bmp_headers.h"

struct CaptureState {
    int32_t colorMode = 1;
    int32_t adParam1 = card::kAdMiddle;
    int32_t adParam2 = card::kAdMiddle;
    int32_t adParam4 = card::kAdMiddle;
    int32_t imageHeight = 512;
    int32_t imageWidth = 384;
    int32_t originX = 0;
    int32_t originY = 0;
    int32_t cardHandle = 0;
    HGLOBAL frameBlock = nullptr;  // the frame buffer, movable global memory
    BYTE *frameBytes = nullptr;    // its address while locked
    HANDLE captureThread = nullptr;
    // Set by the preview thread once it has painted its first frame, so that
    // EasyCapture can wait for it. Lives from EasyInit to StopPreview.
    HANDLE firstFramePainted = nullptr;
    DWORD previewThreadId = 0;  // where the host's key messages are copied to
    HHOOK keyHook = nullptr;    // the hook on the host's thread that copies them
    // A reference to this module from a successful EasyInit until the card
    // is closed: a host may free the library meanwhile, and the key hook's
    // code and the open card must stay. Not a guard: nothing is given back
    // when the library is unloaded.
    HMODULE openCardModule = nullptr;
    std::atomic<bool> runRequested{false};
    std::atomic<bool> loopActive{false};
};

extern CaptureState captureState;

constexpr bool CardIsOpen(int32_t handle) { return card::IsCardHandle(handle); }

// Room for a frame in the widest mode, 24-bit: the still image's pixels.
constexpr SIZE_T FrameBufferBytes(int32_t width, int32_t height) {
    return bmp::Bgr24Bytes(width, height);
}

// Unlocks and frees the frame buffer; harmless when none is held.
void ReleaseFrameBuffer();
