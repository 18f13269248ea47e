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

// Looks at the keys held when the preview takes `message` from its queue
// and applies at most one step. True when a step was applied: the message
// is then consumed.
bool ApplyHotKeys(const MSG &message);

}  // namespace hotkeys
