// How the chord keys reach the preview thread, and the step they make.
#pragma once

#include <windows.h>

#include <cstdint>

#include "card_library.h"
#include "hot_key_table.h"

namespace hotkeys {

static_assert(kVkControl == VK_CONTROL && kVkMenu == VK_MENU && kVkOemPlus == VK_OEM_PLUS &&
                  kVkOemMinus == VK_OEM_MINUS,
              "the chord table names Windows' virtual keys");

// How the chords reach the preview thread.
//
// The preview thread owns no window, so no keyboard message lands in its
// queue and its own key state never changes. While the preview runs, a
// WH_GETMESSAGE hook on the host's thread (the one that called EasyInit; a
// thread hook, never a system-wide one) sees each key going down or up as
// that thread takes it from its queue, and posts the preview thread a key
// notice carrying the host's state of the chord keys at that moment. The
// preview thread makes that state its own before it looks at the rows, so
// each notice is judged by the keys held when the host took the key. The two
// threads are never attached: neither can hold up the other's input, and a
// stop never waits on an attached thread. Character messages give no notice,
// and notices are never translated, so one press steps once.

// A key notice: a thread message, private to the preview thread's queue
// (only Vorlane posts there), with the held chord keys in wParam and the
// host's key data in lParam.
constexpr UINT kKeyNotice = WM_APP + 0x2F1;
static_assert(sizeof(kChordKeys.keys) / sizeof(int) <= 32, "held keys fit a 32-bit wParam");

constexpr bool GivesKeyNotice(UINT message) {
    return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_SYSKEYDOWN ||
           message == WM_SYSKEYUP;
}

// Whether the hook posts a key notice: for a key going down or up that the
// host takes from its queue, and only while the preview thread runs. Its id
// is all a notice is addressed by, and an ended thread's id may name another
// thread one day, even one of another program.
constexpr bool ForwardsKey(WPARAM removal, UINT message, bool previewRunning) {
    return removal == PM_REMOVE && GivesKeyNotice(message) && previewRunning;
}

// The held keys a key notice carries; false for any other message.
constexpr bool ReadKeyNotice(const MSG &message, uint32_t &held) {
    if (message.message != kKeyNotice || message.hwnd ||
        message.wParam >> kChordKeys.count != 0)
        return false;
    held = static_cast<uint32_t>(message.wParam);
    return true;
}

// Takes in the host's key state when `message` is a key notice, then looks
// at the keys held and applies at most one step. True when the message is
// consumed: a step was applied, or it was a key notice, which is never
// translated.
bool ApplyHotKeys(const MSG &message);

// Installed by EasyInit once the preview thread runs; removed by
// StopPreview before it waits for the thread. Both run on the host's thread.
// Notices go to previewThreadId while captureState.captureThread runs.
void StartKeyForwarding(DWORD previewThreadId);
void StopKeyForwarding();

}  // namespace hotkeys
