#include "hot_keys.h"

#include "capture_state.h"

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

// Runs on the host's thread for every message it takes from its queue.
LRESULT CALLBACK ForwardKeys(int code, WPARAM removal, LPARAM lParam) {
    const MSG *message = reinterpret_cast<const MSG *>(lParam);
    // Only a removal: a host that peeks first and then takes the message
    // would otherwise send it twice. The host's key state already includes
    // the key by now.
    if (code == HC_ACTION && removal == PM_REMOVE && GivesKeyNotice(message->message) &&
        captureState.previewThreadId != 0) {
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
    // The preview's thread handle is still open here, so its id has not been
    // handed to another thread while notices could be posted to it.
    if (captureState.keyHook) UnhookWindowsHookEx(captureState.keyHook);
    captureState.keyHook = nullptr;
    captureState.previewThreadId = 0;
}

}  // namespace hotkeys
