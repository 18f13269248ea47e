#include "capture/hot_keys.h"

#include "capture/capture_state.h"

namespace hotkeys {

namespace {

bool KeyHeld(int virtualKey) { return (GetKeyState(virtualKey) & 0x80) != 0; }

int32_t &StoredValue(int selector) {
    return selector == card::kAdSelector1   ? captureState.adParam1
           : selector == card::kAdSelector2 ? captureState.adParam2
                                            : captureState.adParam4;
}

// The preview thread's own key state becomes the host's for the chord keys;
// the toggle bits and every other key stay as they were.
void AdoptHeldKeys(uint32_t held) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    for (int i = 0; i < kChordKeys.count; ++i) {
        BYTE &key = keys[kChordKeys.keys[i]];
        key = static_cast<BYTE>((key & 0x01) | ((held >> i & 1u) ? 0x80 : 0));
    }
    SetKeyboardState(keys);
}

// The preview thread has not ended. Its handle stays open until the card is
// closed, and the system hands an id to no other thread while a handle to
// its thread is open: so a notice posted just as the thread ends goes
// nowhere rather than to a stranger.
bool PreviewRunning() {
    return captureState.captureThread &&
           WaitForSingleObject(captureState.captureThread, 0) == WAIT_TIMEOUT;
}

// Runs on the host's thread for every message it takes from its queue, from
// EasyInit until the card is closed, even after a preview that ended early.
LRESULT CALLBACK ForwardKeys(int code, WPARAM removal, LPARAM lParam) {
    const MSG *message = reinterpret_cast<const MSG *>(lParam);
    // Only a removal: a host that peeks first and then takes the message
    // would otherwise send it twice. The host's key state already includes
    // the key by now.
    if (code == HC_ACTION && ForwardsKey(removal, message->message, PreviewRunning())) {
        PostThreadMessageA(captureState.previewThreadId, kKeyNotice, HeldChordKeys(KeyHeld),
                           message->lParam);
    }
    return CallNextHookEx(nullptr, code, removal, lParam);
}

}  // namespace

bool ApplyHotKeys(const MSG &message) {
    uint32_t held = 0;
    const bool notice = ReadKeyNotice(message, held);
    if (notice) AdoptHeldKeys(held);

    const AdValues values{captureState.adParam1, captureState.adParam2, captureState.adParam4};
    const int index = FindRow(values, KeyHeld);
    if (index == kNoRow) return notice;

    const Row &row = kRows[index];
    int32_t &value = StoredValue(row.selector);
    value += row.step;
    CG400SetADParam(captureState.cardHandle, row.selector, value);
    return true;
}

void StartKeyForwarding(DWORD previewThreadId) {
    // The hook lives in this module; its handle is found from the hook's own
    // address, since the entry point keeps nothing.
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ForwardKeys), &self);
    captureState.previewThreadId = previewThreadId;
    // Without the hook the preview runs as usual; only the chords are lost.
    captureState.keyHook = SetWindowsHookExA(WH_GETMESSAGE, ForwardKeys, self,
                                             GetCurrentThreadId());
}

void StopKeyForwarding() {
    if (captureState.keyHook) UnhookWindowsHookEx(captureState.keyHook);
    captureState.keyHook = nullptr;
    captureState.previewThreadId = 0;
}

}  // namespace hotkeys
