// Keyboard chords that step the card's three A/D adjustments while the
// preview runs: which chord applies, as pure functions of the keys held.
#pragma once

#include <cstdint>

#include "card_constants.h"

namespace hotkeys {


constexpr int32_t kStep = 8;
constexpr int32_t kHighestToRaise = 247;  // a rise keeps the value within 0..255
constexpr int32_t kLowestToLower = 8;

struct Chord {
    int modifier;  // kVkControl or kVkMenu, looked at first
    int key;
};

struct Row {
    Chord chords[2];
    int chordCount;
    int selector;  // 1, 2 or 4: which A/D value
    int32_t step;  // +8 or -8
};

// Windows' virtual-key codes for the chord keys; digits are their characters.
constexpr int kVkControl = 0x11, kVkMenu = 0x12, kVkOemPlus = 0xBB, kVkOemMinus = 0xBD;
constexpr int kDigit0 = '0', kDigit5 = '5', kDigit6 = '6', kDigit7 = '7', kDigit8 = '8',
              kDigit9 = '9';

// Tried in order; the first row whose chord is held and whose guard holds
// applies. A held chord whose guard fails does not stop the search.
constexpr Row kRows[] = {
    {{{kVkControl, kVkOemPlus}, {kVkControl, kDigit0}}, 2, card::kAdSelector1, +kStep},
    {{{kVkControl, kVkOemMinus}, {kVkControl, kDigit9}}, 2, card::kAdSelector1, -kStep},
    {{{kVkMenu, kVkOemPlus}, {kVkControl, kDigit8}}, 2, card::kAdSelector2, +kStep},
    {{{kVkMenu, kVkOemMinus}, {kVkControl, kDigit7}}, 2, card::kAdSelector2, -kStep},
    {{{kVkControl, kDigit6}}, 1, card::kAdSelector4, +kStep},
    {{{kVkControl, kDigit5}}, 1, card::kAdSelector4, -kStep},
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

}  // namespace hotkeys
