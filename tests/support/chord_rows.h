// The adjustment chords as the operator's guide lists them, written out
// apart from the DLL's table: the keys, the row of the table that applies
// them (first match wins), and the A/D value each steps and by how much.
// The pure table's test, the step's and the host's all read these rows.
#pragma once

namespace vt {

constexpr int kKeyCtrl = 0x11, kKeyAlt = 0x12, kKeyPlus = 0xBB, kKeyMinus = 0xBD;

struct ChordRow {
    const char *name;
    int modifier, key;
    int row;       // 1-based
    int selector;  // the A/D value: 1, 2 or 4
    int step;
};

inline constexpr ChordRow kChordRows[] = {
    {"Ctrl+=", kKeyCtrl, kKeyPlus, 1, 1, +8}, {"Ctrl+0", kKeyCtrl, '0', 1, 1, +8},
    {"Ctrl+-", kKeyCtrl, kKeyMinus, 2, 1, -8}, {"Ctrl+9", kKeyCtrl, '9', 2, 1, -8},
    {"Alt+=", kKeyAlt, kKeyPlus, 3, 2, +8},   {"Ctrl+8", kKeyCtrl, '8', 3, 2, +8},
    {"Alt+-", kKeyAlt, kKeyMinus, 4, 2, -8},  {"Ctrl+7", kKeyCtrl, '7', 4, 2, -8},
    {"Ctrl+6", kKeyCtrl, '6', 5, 4, +8},      {"Ctrl+5", kKeyCtrl, '5', 6, 4, -8},
};

// The first chord with Ctrl that steps `selector` the way `sign` says.
inline const ChordRow &CtrlChord(int selector, int sign) {
    for (const ChordRow &chord : kChordRows)
        if (chord.modifier == kKeyCtrl && chord.selector == selector && chord.step * sign > 0) return chord;
    return kChordRows[0];
}

}  // namespace vt
