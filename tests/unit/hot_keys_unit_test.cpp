// The chord rows as pure functions, the key notices, and the step and the
// forwarding run on this thread against the virtual card.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "capture/capture_state.h"
#include "capture/hot_keys.h"
#include "win32_guards.h"
#include "chord_rows.h"
#include "held_keys.h"
#include "test_support.h"

namespace {

using vt::Held;

constexpr int kCtrl = VK_CONTROL, kAlt = VK_MENU, kPlus = VK_OEM_PLUS, kMinus = VK_OEM_MINUS;

// Every key a chord names, each once.
std::vector<int> EveryChordKey() {
    std::vector<int> keys;
    for (const vt::ChordRow &chord : vt::kChordRows)
        for (int key : {chord.modifier, chord.key})
            if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
    return keys;
}
const std::vector<int> kEveryChordKey = EveryChordKey();

// A notice is a thread message of its own code carrying chord keys only:
// one bit for each key the chords name, and none past them.
TEST(KeyNotices, CarryEveryHeldChordKeyAndOtherMessagesAreNone) {
    const uint32_t everyKey = hotkeys::HeldChordKeys(Held{kEveryChordKey});
    ASSERT_EQ(everyKey & (everyKey + 1), 0u) << "the chord keys' bits are the lowest, one after another";
    const uint32_t pastEveryKey = everyKey + 1;
    const HWND window = reinterpret_cast<HWND>(static_cast<intptr_t>(0x1234));
    struct Case {
        std::string name;
        MSG message;
        bool notice;
    };
    std::vector<Case> cases = {
        {"no key held", {nullptr, hotkeys::kKeyNotice, 0, 0x000D0001, 0, {}}, true},
        {"every key held", {nullptr, hotkeys::kKeyNotice, everyKey, 0x000D0001, 0, {}}, true},
        {"a key message of the host's", {nullptr, WM_KEYDOWN, VK_OEM_PLUS, 0, 0, {}}, false},
        {"a thread message", {nullptr, WM_USER, 0, 0, 0, {}}, false},
        {"the notice code sent to a window", {window, hotkeys::kKeyNotice, 0, 0, 0, {}}, false},
        {"more held keys than there are", {nullptr, hotkeys::kKeyNotice, pastEveryKey, 0, 0, {}}, false},
    };
    for (int key : kEveryChordKey) {
        const uint32_t bit = hotkeys::HeldChordKeys(Held{{key}});
        cases.push_back({"key " + std::to_string(key) + " held", {nullptr, hotkeys::kKeyNotice, bit, 0, 0, {}}, true});
    }
    for (const Case &c : cases) {
        uint32_t held = 0xDEAD;
        EXPECT_EQ(hotkeys::ReadKeyNotice(c.message, held), c.notice) << c.name;
        EXPECT_EQ(held, c.notice ? c.message.wParam : 0xDEADu) << c.name;
    }
}

TEST(KeyNotices, CarryTheChordKeysOnlyEachOnABitOfItsOwn) {
    uint32_t seen = 0;
    for (int key : kEveryChordKey) {
        const uint32_t bit = hotkeys::HeldChordKeys(Held{{key, VK_SHIFT, VK_NUMPAD6, VK_ADD}});
        EXPECT_TRUE(bit != 0 && (bit & (bit - 1)) == 0 && (bit & seen) == 0) << "key " << key;
        seen |= bit;
    }
    EXPECT_EQ(hotkeys::HeldChordKeys(Held{{VK_SHIFT, VK_NUMPAD6, VK_ADD, VK_F1, 'A'}}), 0u);
}

// This thread's key state, with `keys` held and nothing else.
void HoldOnly(const std::vector<int> &keys) {
    BYTE state[256] = {};
    for (int key : keys) state[key] = 0x80;
    ASSERT_TRUE(SetKeyboardState(state));
}

class HotKeyStep : public ::testing::Test {
protected:
    void SetUp() override {
        VcReset();
        captureState.cardHandle = VC_DEFAULT_HANDLE;
        // The hook forwards only while the preview runs; here this thread
        // stands for it.
        captureState.captureThread = GetCurrentThread();
        captureState.adParam1 = captureState.adParam2 = captureState.adParam4 = 128;
    }
    void TearDown() override {
        hotkeys::StopKeyForwarding();
        HoldOnly({});
        MSG drain;
        while (PeekMessageA(&drain, nullptr, 0, 0, PM_REMOVE)) {
        }
        captureState.cardHandle = 0;
        captureState.captureThread = nullptr;
    }
};

TEST_F(HotKeyStep, ReadsTheKeyStateWhateverTheMessage) {
    const WPARAM Ctrl6 = hotkeys::HeldChordKeys(Held{{kCtrl, '6'}});
    const MSG thread{nullptr, WM_USER, 0, 0, 0, {}};
    struct Case {
        const char *name;
        std::vector<int> held;
        MSG message;
        bool consumed;
        int selector, value;  // the one value stored and sent; selector 0: none
    };
    std::vector<Case> cases = {
        {"Ctrl+6 on a thread message", {kCtrl, '6'}, thread, true, 4, 136},
        {"Ctrl+6 on a timer message", {kCtrl, '6'}, {nullptr, WM_TIMER, 1, 0, 0, {}}, true, 4, 136},
        {"Alt+- on a key-up of another key", {kAlt, kMinus}, {nullptr, WM_KEYUP, 'A', 0, 0, {}}, true, 2, 120},
        {"Ctrl+= on its key-down", {kCtrl, kPlus}, {nullptr, WM_KEYDOWN, kPlus, 0, 0, {}}, true, 1, 136},
        {"a key-down of 6 without Ctrl", {'6'}, {nullptr, WM_KEYDOWN, '6', 0, 0, {}}, false, 0, 0},
        // A notice's keys replace this thread's own, and a notice is never
        // translated, step or not.
        {"a notice of Ctrl+6", {}, {nullptr, hotkeys::kKeyNotice, Ctrl6, 0, 0, {}}, true, 4, 136},
        {"a notice of nothing held, Ctrl+6 held here", {kCtrl, '6'}, {nullptr, hotkeys::kKeyNotice, 0, 0, 0, {}},
         true, 0, 0},
    };
    for (const vt::ChordRow &chord : vt::kChordRows)
        cases.push_back({chord.name, {chord.modifier, chord.key}, thread, true, chord.selector, 128 + chord.step});
    for (const Case &c : cases) {
        SetUp();
        HoldOnly(c.held);
        MSG message = c.message;
        EXPECT_EQ(hotkeys::ApplyHotKeys(message), c.consumed) << c.name;
        const auto stored = [&c](int selector) { return c.selector == selector ? c.value : 128; };
        EXPECT_EQ((std::vector<int32_t>{captureState.adParam1, captureState.adParam2, captureState.adParam4}),
                  (std::vector<int32_t>{stored(1), stored(2), stored(4)}))
            << c.name << ": A/D values 1, 2, 4";
        std::vector<std::vector<int64_t>> sent, expected;
        for (const VcLogEntry &e : vt::CardCalls(VC_SET_AD)) sent.push_back({e.args[0], e.args[1], e.args[2]});
        if (c.selector != 0) expected.push_back({VC_DEFAULT_HANDLE, c.selector, c.value});
        EXPECT_EQ(sent, expected) << c.name << "\n" << vt::DescribeLog();
    }
}

DWORD WINAPI StepWithCtrl6(LPVOID) {
    HoldOnly({kCtrl, '6'});
    MSG message{nullptr, WM_USER, 0, 0, 0, {}};
    return hotkeys::ApplyHotKeys(message) ? 1 : 0;
}

TEST_F(HotKeyStep, StoresTheValueBeforeTheCardHearsOfIt) {
    VcBlockCall(VC_SET_AD);
    HANDLE stepper = CreateThread(nullptr, 0, StepWithCtrl6, nullptr, 0, nullptr);
    ASSERT_NE(stepper, nullptr);
    ASSERT_EQ(VcWaitBlocked(VC_SET_AD, 10000), 1);
    EXPECT_EQ(captureState.adParam4, 136);
    VcReleaseCall(VC_SET_AD);
    WaitForSingleObject(stepper, INFINITE);
    DWORD consumed = 0;
    GetExitCodeThread(stepper, &consumed);
    CloseHandle(stepper);
    EXPECT_EQ(consumed, 1u);
}

// Takes the next message of this thread's queue, as a host's loop would.
bool Take(MSG &message, UINT removal = PM_REMOVE) {
    return PeekMessageA(&message, nullptr, 0, 0, removal) != FALSE;
}

TEST_F(HotKeyStep, NoticesCarryTheStateTheHostHadWhenItTookTheKey) {
    // Host and preview are the same thread here: the notice lands in this
    // queue behind the key message it was made for.
    hotkeys::StartKeyForwarding(GetCurrentThreadId());
    ASSERT_NE(captureState.keyHook, nullptr);

    HoldOnly({kCtrl, kPlus});
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_KEYDOWN, kPlus, 0x000D0001));
    MSG message;
    ASSERT_TRUE(Take(message));
    ASSERT_EQ(message.message, static_cast<UINT>(WM_KEYDOWN));

    // The keys are let go before the notice is looked at: it still holds
    // them.
    HoldOnly({});
    ASSERT_TRUE(Take(message));
    ASSERT_EQ(message.message, hotkeys::kKeyNotice);
    EXPECT_EQ(message.lParam, 0x000D0001);
    EXPECT_TRUE(hotkeys::ApplyHotKeys(message));
    EXPECT_EQ(captureState.adParam1, 136);
    EXPECT_LT(GetKeyState(kCtrl), 0) << "the notice's state was not taken in";
    EXPECT_FALSE(Take(message)) << "one message, one notice";
}

DWORD WINAPI EndsAtOnce(LPVOID) { return 0; }

TEST_F(HotKeyStep, OnlyKeysGoingDownOrUpGiveANoticeEach) {
    hotkeys::StartKeyForwarding(GetCurrentThreadId());
    struct Case {
        const char *name;
        UINT message;
        bool peekFirst;
        int notices;
        bool previewEnded = false;
    } cases[] = {
        {"key-down", WM_KEYDOWN, false, 1},
        {"key-up", WM_KEYUP, false, 1},
        {"system key-down", WM_SYSKEYDOWN, false, 1},
        {"system key-up", WM_SYSKEYUP, false, 1},
        {"key-down peeked before it is taken", WM_KEYDOWN, true, 1},
        {"character", WM_CHAR, false, 0},
        {"system character", WM_SYSCHAR, false, 0},
        {"a thread message", WM_USER, false, 0},
        {"key-down after the preview ended", WM_KEYDOWN, false, 0, true},
    };
    const HANDLE running = captureState.captureThread;
    const guards::UniqueKernelHandle ended(CreateThread(nullptr, 0, EndsAtOnce, nullptr, 0, nullptr));
    ASSERT_EQ(WaitForSingleObject(ended.get(), 10000), WAIT_OBJECT_0);
    for (const Case &c : cases) {
        captureState.captureThread = c.previewEnded ? ended.get() : running;
        ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), c.message, '6', 0)) << c.name;
        MSG message;
        if (c.peekFirst) { ASSERT_TRUE(Take(message, PM_NOREMOVE)) << c.name; }
        ASSERT_TRUE(Take(message)) << c.name;
        int notices = 0;
        while (Take(message)) notices += message.message == hotkeys::kKeyNotice;
        EXPECT_EQ(notices, c.notices) << c.name;
    }
    captureState.captureThread = running;

    hotkeys::StopKeyForwarding();
    EXPECT_EQ(captureState.keyHook, nullptr);
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_KEYDOWN, '6', 0));
    MSG message;
    ASSERT_TRUE(Take(message));
    EXPECT_FALSE(Take(message)) << "a notice after the forwarding stopped";
}

}  // namespace
