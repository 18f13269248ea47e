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

}  // namespace

bool ApplyHotKeys(const MSG &) {
    const AdValues values{captureState.adParam1, captureState.adParam2, captureState.adParam4};
    const int index = FindRow(values, KeyHeld);
    if (index == kNoRow) return false;

    const Row &row = kRows[index];
    int32_t &value = StoredValue(row.selector);
    value += row.step;
    CG400SetADParam(captureState.cardHandle, row.selector, value);
    return true;
}

}  // namespace hotkeys
