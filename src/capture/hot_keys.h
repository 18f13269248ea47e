// Keyboard chords that step the card's three A/D adjustments while the
// preview runs.
#pragma once

#include <windows.h>

#include <cstdint>

#include "card_library.h"

namespace hotkeys {

constexpr int32_t kStep = 8;
constexpr int32_t kHighestToRaise = 247;  // a rise keeps the value within 0..255
constexpr int32_t kLowestToLower = 8;

struct Chord {
    int modifier;  // VK_CONTROL or VK_MENU, looked at first
    int key;
};

struct Row {
    Chord chords[2];
    int chordCount;
    int selector;  // 1, 2 or 4: which A/D value
    int32_t step;  // +8 or -8
};

constexpr int kDigit0 = '0', kDigit5 = '5', kDigit6 = '6', kDigit7 = '7', kDigit8 = '8',
              kDigit9 = '9';

// Tried in order; the first row whose chord is held and whose guard holds
// applies. A held chord whose guard fails does not stop the search.
constexpr Row kRows[] = {
    {{{VK_CONTROL, VK_OEM_PLUS}, {VK_CONTROL, kDigit0}}, 2, card::kAdSelector1, +kStep},
    {{{VK_CONTROL, VK_OEM_MINUS}, {VK_CONTROL, kDigit9}}, 2, card::kAdSelector1, -kStep},
    {{{VK_MENU, VK_OEM_PLUS}, {VK_CONTROL, kDigit8}}, 2, card::kAdSelector2, +kStep},
    {{{VK_MENU, VK_OEM_MINUS}, {VK_CONTROL, kDigit7}}, 2, card::kAdSelector2, -kStep},
    {{{VK_CONTROL, kDigit6}}, 1, card::kAdSelector4, +kStep},
    {{{VK_CONTROL, kDigit5}}, 1, card::kAdSelector4, -kStep},
};
constexpr int kNoRow = -1;

struct AdValues {
    int32_t param1;
    int32_t param2;
    int32_t param4;
};

constexpr int32_t ValueFor(const AdValues &values, int selector) {
    return selector == card::kAdSelector1   ? values.param1
           : selector == card::kAdSelector2 ? values.param2
                                            : values.param4;
}

constexpr bool GuardHolds(int32_t value, int32_t step) {
    return step > 0 ? value <= kHighestToRaise : value >= kLowestToLower;
}

// isHeld(vk) tells whether a virtual key is down. Returns the index of the
// row that applies, or kNoRow.
template <typename IsHeld>
int FindRow(const AdValues &values, IsHeld isHeld) {
    int index = 0;
    for (const Row &row : kRows) {
        bool chordHeld = false;
        for (int c = 0; c < row.chordCount && !chordHeld; ++c)
            chordHeld = isHeld(row.chords[c].modifier) && isHeld(row.chords[c].key);
        if (chordHeld && GuardHolds(ValueFor(values, row.selector), row.step)) return index;
        ++index;
    }
    return kNoRow;
}

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

// The keys the rows look at, each once.
struct KeyList {
    int keys[16];
    int count;
};

constexpr KeyList ListChordKeys() {
    KeyList list{};
    auto add = [&list](int key) {
        for (int i = 0; i < list.count; ++i)
            if (list.keys[i] == key) return;
        list.keys[list.count++] = key;
    };
    for (const Row &row : kRows)
        for (int c = 0; c < row.chordCount; ++c) {
            add(row.chords[c].modifier);
            add(row.chords[c].key);
        }
    return list;
}
constexpr KeyList kChordKeys = ListChordKeys();

// Bit i: kChordKeys.keys[i] is held.
template <typename IsHeld>
uint32_t HeldChordKeys(IsHeld isHeld) {
    uint32_t held = 0;
    for (int i = 0; i < kChordKeys.count; ++i)
        if (isHeld(kChordKeys.keys[i])) held |= 1u << i;
    return held;
}

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
