// The chord table: which row a set of held keys applies.
#include <gtest/gtest.h>

#include <vector>

#include "held_keys.h"
#include "hot_key_table.h"

namespace {

using hotkeys::AdValues;
using hotkeys::kNoRow;
using vt::Held;

constexpr int kCtrl = hotkeys::kVkControl, kAlt = hotkeys::kVkMenu, kPlus = hotkeys::kVkOemPlus,
              kMinus = hotkeys::kVkOemMinus;
// Windows' codes for keys that must not count: Shift, numeric pad 6, Shift+=.
constexpr int kShift = 0x10, kNumpad6 = 0x66, kAdd = 0x6B;

TEST(HotKeyRows, FirstRowWhoseChordAndGuardHoldApplies) {
    struct Case {
        const char *name;
        std::vector<int> held;
        AdValues values;
        int row;  // 1-based, 0 = none
    } cases[] = {
        {"row 1 Ctrl+=", {kCtrl, kPlus}, {128, 128, 128}, 1},
        {"row 1 Ctrl+0", {kCtrl, '0'}, {128, 128, 128}, 1},
        {"row 2 Ctrl+-", {kCtrl, kMinus}, {128, 128, 128}, 2},
        {"row 2 Ctrl+9", {kCtrl, '9'}, {128, 128, 128}, 2},
        {"row 3 Alt+=", {kAlt, kPlus}, {128, 128, 128}, 3},
        {"row 3 Ctrl+8", {kCtrl, '8'}, {128, 128, 128}, 3},
        {"row 4 Alt+-", {kAlt, kMinus}, {128, 128, 128}, 4},
        {"row 4 Ctrl+7", {kCtrl, '7'}, {128, 128, 128}, 4},
        {"row 5 Ctrl+6", {kCtrl, '6'}, {128, 128, 128}, 5},
        {"row 6 Ctrl+5", {kCtrl, '5'}, {128, 128, 128}, 6},
        {"Shift does not matter", {kCtrl, kShift, kPlus}, {128, 128, 128}, 1},
        {"nothing held", {}, {128, 128, 128}, 0},
        {"Ctrl alone", {kCtrl}, {128, 128, 128}, 0},
        {"= alone", {kPlus}, {128, 128, 128}, 0},
        {"6 alone", {'6'}, {128, 128, 128}, 0},
        {"Alt with a digit", {kAlt, '6'}, {128, 128, 128}, 0},
        {"Ctrl with numeric pad 6", {kCtrl, kNumpad6}, {128, 128, 128}, 0},
        {"Ctrl with Shift+= (kAdd)", {kCtrl, kAdd}, {128, 128, 128}, 0},
        // Guards.
        {"row 1 at 247 rises", {kCtrl, kPlus}, {247, 128, 128}, 1},
        {"row 1 at 248 stays", {kCtrl, kPlus}, {248, 128, 128}, 0},
        {"row 2 at 8 falls", {kCtrl, '9'}, {8, 128, 128}, 2},
        {"row 2 at 0 stays", {kCtrl, '9'}, {0, 128, 128}, 0},
        {"row 3 at 248 stays", {kAlt, kPlus}, {128, 248, 128}, 0},
        {"row 4 at 0 stays", {kAlt, kMinus}, {128, 0, 128}, 0},
        {"row 5 at 248 stays", {kCtrl, '6'}, {128, 128, 248}, 0},
        {"row 6 at 0 stays", {kCtrl, '5'}, {128, 128, 0}, 0},
        {"row 4 guard judges adParam2 only", {kCtrl, '7'}, {0, 8, 0}, 4},
        // A failed guard does not stop the search.
        {"row 4 at 0, on to row 5", {kCtrl, '7', '6'}, {128, 0, 128}, 5},
        {"row 4 at 0, on to row 6", {kCtrl, '7', '5'}, {128, 0, 128}, 6},
        {"rows 2 and 4 at 0 with Alt+-, on to row 5", {kAlt, kMinus, kCtrl, '6'}, {0, 0, 128}, 5},
        {"Alt+- with Ctrl+6 meets row 2 first", {kAlt, kMinus, kCtrl, '6'}, {128, 0, 128}, 2},
        {"row 1 at 248, on to row 6", {kCtrl, kPlus, '5'}, {248, 128, 128}, 6},
        {"row 3 at 248 with Ctrl+8, on to row 5", {kCtrl, '8', '6'}, {128, 248, 128}, 5},
        // First row wins.
        {"Ctrl with + and -", {kCtrl, kPlus, kMinus}, {128, 128, 128}, 1},
        {"Ctrl with + and - at 240", {kCtrl, kPlus, kMinus}, {240, 128, 128}, 1},
        {"Ctrl with + and - at 248", {kCtrl, kPlus, kMinus}, {248, 128, 128}, 2},
        {"Ctrl and Alt with +", {kCtrl, kAlt, kPlus}, {128, 128, 128}, 1},
        {"Ctrl and Alt with + at 248", {kCtrl, kAlt, kPlus}, {248, 128, 128}, 3},
        {"Ctrl with 6 and 5", {kCtrl, '6', '5'}, {128, 128, 128}, 5},
        {"Ctrl with 6 and 5 at 248", {kCtrl, '6', '5'}, {128, 128, 248}, 6},
    };
    for (const Case &c : cases) {
        const int found = hotkeys::FindRow(c.values, Held{c.held});
        EXPECT_EQ(found == kNoRow ? 0 : found + 1, c.row) << c.name;
    }
}

}  // namespace
