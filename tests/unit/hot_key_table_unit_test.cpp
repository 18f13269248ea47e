// The chord table: which row a set of held keys applies.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "chord_rows.h"
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
    };
    std::vector<Case> cases;
    for (const vt::ChordRow &chord : vt::kChordRows)
        cases.push_back({chord.name, {chord.modifier, chord.key}, {128, 128, 128}, chord.row});
    cases.insert(cases.end(), {
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
    });
    for (const Case &c : cases) {
        const int found = hotkeys::FindRow(c.values, Held{c.held});
        EXPECT_EQ(found == kNoRow ? 0 : found + 1, c.row) << c.name;
    }
}

// scripts/chords.txt, the list the demo and the CLI test press: each chord
// there steps what its line says, and no chord of the table is missing.
TEST(HotKeyRows, TheScriptsChordListAgrees) {
    const char *root = std::getenv("VORLANE_SOURCE_DIR");
    ASSERT_NE(root, nullptr) << "VORLANE_SOURCE_DIR is not set";
    std::ifstream list(std::string(root) + "/scripts/chords.txt");
    ASSERT_TRUE(list) << root << "/scripts/chords.txt cannot be read";
    // xdotool's names for the chords' keys, and Windows' codes for them.
    const std::map<std::string, int> keys = {
        {"ctrl", vt::kKeyCtrl}, {"alt", vt::kKeyAlt}, {"equal", vt::kKeyPlus}, {"minus", vt::kKeyMinus},
        {"0", '0'}, {"5", '5'}, {"6", '6'}, {"7", '7'}, {"8", '8'}, {"9", '9'}};
    std::set<std::pair<int, int>> listed;
    for (std::string line; std::getline(list, line);) {
        std::istringstream words(line);
        std::string adjustment, chord;
        int selector = 0, step = 0;
        if (!(words >> adjustment) || adjustment[0] == '#') continue;
        ASSERT_TRUE(words >> selector >> step) << line;
        while (words >> chord) {
            const size_t plus = chord.find('+');
            const auto modifier = keys.find(chord.substr(0, plus)), key = keys.find(chord.substr(plus + 1));
            ASSERT_TRUE(plus != std::string::npos && modifier != keys.end() && key != keys.end())
                << adjustment << ": no such chord " << chord;
            listed.insert({modifier->second, key->second});
            const int found = hotkeys::FindRow({128, 128, 128}, Held{{modifier->second, key->second}});
            ASSERT_NE(found, kNoRow) << adjustment << ": " << chord << " steps nothing";
            EXPECT_EQ(hotkeys::kRows[found].selector, selector) << adjustment << ": " << chord;
            EXPECT_EQ(hotkeys::kRows[found].step, step) << adjustment << ": " << chord;
        }
    }
    for (const hotkeys::Row &row : hotkeys::kRows)
        for (int c = 0; c < row.chordCount; ++c)
            EXPECT_EQ(listed.count({row.chords[c].modifier, row.chords[c].key}), 1u)
                << "missing: A/D " << row.selector << " by " << row.step << ", keys "
                << row.chords[c].modifier << " and " << row.chords[c].key;
}

}  // namespace
