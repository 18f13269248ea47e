// The keyboard adjustments through Vorlane.dll on the virtual card. Keys are
// held in the preview thread's own key state (this thread attaches to its
// input just long enough to set it) and in this thread's state as the
// host's. Real presses on the X display go through vorlane-cli's keys window
// in sdk_cli_test.sh.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "chord_rows.h"
#include "host_fixture.h"

namespace {

constexpr int kCtrl = VK_CONTROL, kPlus = VK_OEM_PLUS, kMinus = VK_OEM_MINUS;
using Keys = std::initializer_list<int>;

struct Sent {
    int selector;
    int value;
};

class HotKeysTest : public HostTest {
protected:
    DWORD preview_ = 0;

    // Closed before the card is reset: a reset card reads full-size frames
    // into the preview's small buffer.
    void TearDown() override {
        FreeCG200();
        HostTest::TearDown();
    }

    // Opens the card and waits for the preview's loop, whose first pass
    // gives the thread its message queue.
    void OpenPreview() {
        const int64_t polls = vt::CardStats().polls;
        ASSERT_EQ(EasyInit(900, 700, 80, 1), 1);
        ASSERT_TRUE(vt::WaitUntil([polls] { return vt::CardStats().polls > polls; }))
            << vt::DescribeLog();
        const std::vector<VcLogEntry> setUp = vt::CardCalls(VC_SET_INPUT);
        ASSERT_FALSE(setUp.empty()) << vt::DescribeLog();
        preview_ = setUp.back().threadId;
    }

    // The preview thread's key state: `keys` held, nothing else.
    void HoldInPreview(Keys keys) {
        BYTE state[256] = {};
        for (int key : keys) state[key] = 0x80;
        ASSERT_TRUE(AttachThreadInput(GetCurrentThreadId(), preview_, TRUE));
        const BOOL set = SetKeyboardState(state);
        // Detached before anything waits on the preview.
        ASSERT_TRUE(AttachThreadInput(GetCurrentThreadId(), preview_, FALSE));
        ASSERT_TRUE(set);
    }

    // Waits until a pass of the preview loop has begun after this call: each
    // pass takes one message, then polls the card once.
    static void WaitForPasses() {
        const int64_t polls = vt::CardStats().polls;
        ASSERT_TRUE(vt::WaitUntil([polls] { return vt::CardStats().polls >= polls + 2; }));
    }

    // The A/D values the preview thread sent from log entry `from` on.
    std::vector<Sent> SentByPreview(size_t from) const {
        std::vector<Sent> sent;
        const std::vector<VcLogEntry> log = vt::CardLog();
        for (size_t i = from; i < log.size(); ++i)
            if (log[i].call == VC_SET_AD && log[i].threadId == preview_) {
                EXPECT_EQ(log[i].args[0], VC_DEFAULT_HANDLE);
                sent.push_back({static_cast<int>(log[i].args[1]), static_cast<int>(log[i].args[2])});
            }
        return sent;
    }

    // Holds `keys` and hands the preview one message; what it sent for it.
    std::vector<Sent> Press(Keys keys, UINT message = WM_USER) {
        const size_t from = vt::CardLog().size();
        HoldInPreview(keys);
        EXPECT_TRUE(PostThreadMessageA(preview_, message, 0, 0));
        WaitForPasses();
        return SentByPreview(from);
    }

    // Steps a value until it is `target` (a multiple of 8 from 128, or 248).
    void Bring(int selector, int target) {
        const int up = vt::CtrlChord(selector, +1).key, down = vt::CtrlChord(selector, -1).key;
        std::vector<Sent> sent = Press({kCtrl, up});
        int value = sent.empty() ? 248 : sent.back().value;
        for (int tries = 0; value != target && tries < 40; ++tries) {
            sent = Press({kCtrl, value < target ? up : down});
            ASSERT_EQ(sent.size(), 1u) << "bringing selector " << selector << " to " << target;
            value = sent.back().value;
        }
        ASSERT_EQ(value, target) << "selector " << selector;
    }
};

TEST_F(HotKeysTest, AnyMessageLooksAtTheKeysHeld) {
    const struct {
        const char *name;
        UINT message;
    } cases[] = {{"WM_NULL", WM_NULL},   {"WM_USER", WM_USER}, {"WM_TIMER", WM_TIMER},
                 {"WM_APP", WM_APP},     {"WM_QUIT", WM_QUIT}, {"WM_KEYUP", WM_KEYUP}};
    OpenPreview();
    Bring(4, 128);
    int expected = 128;
    for (const auto &c : cases) {
        const std::vector<Sent> sent = Press({kCtrl, '6'}, c.message);
        expected += 8;
        ASSERT_EQ(sent.size(), 1u) << c.name << "\n" << vt::DescribeLog();
        EXPECT_EQ(sent[0].selector, 4) << c.name;
        EXPECT_EQ(sent[0].value, expected) << c.name;
    }
    // Not even a quit message ends the preview.
    EXPECT_TRUE(Press({}).empty());
    EXPECT_EQ(FreeCG200(), 1);
}

TEST_F(HotKeysTest, ValuesOutliveTheCardAndHDReset) {
    const struct {
        const char *name;
        int (*close)();
    } closes[] = {
        {"FreeCG200", [] { return FreeCG200(); }},
        {"EasyCapture", [] { return EasyCapture(vt::TempPath("keys.bmp").c_str()); }},
    };
    for (const auto &c : closes) {
        OpenPreview();
        Bring(1, 144);
        ASSERT_EQ(c.close(), 1) << c.name;
        ASSERT_EQ(HDReset(), 1) << c.name;
        EXPECT_EQ(vt::CardStats().adValues[0], 128) << c.name;

        VcLogClear();
        OpenPreview();
        // Only a key step sends a value: nothing went to the card on opening.
        EXPECT_TRUE(SentByPreview(0).empty()) << c.name << "\n" << vt::DescribeLog();
        const std::vector<Sent> sent = Press({kCtrl, kPlus});
        ASSERT_EQ(sent.size(), 1u) << c.name << "\n" << vt::DescribeLog();
        EXPECT_EQ(sent[0].value, 152) << c.name << ": the step must start from the kept value";
        ASSERT_EQ(FreeCG200(), 1) << c.name;
    }
}

// This thread called EasyInit, so it is the host's thread: a key message it
// takes from its queue reaches the preview with this thread's key state.
TEST_F(HotKeysTest, KeysTheHostTakesReachThePreviewOnce) {
    auto hostTakes = [](UINT message, WPARAM key, Keys held) {
        BYTE state[256] = {};
        for (int k : held) state[k] = 0x80;
        SetKeyboardState(state);
        PostThreadMessageA(GetCurrentThreadId(), message, key, 0);
        MSG peeked;  // a host that looks before it takes
        PeekMessageA(&peeked, nullptr, 0, 0, PM_NOREMOVE);
        vt::Pump();
        // Let go at once: the notice must carry the state of its moment.
        BYTE none[256] = {};
        SetKeyboardState(none);
    };
    // Reopened twice: a hook left from an earlier preview would step twice.
    for (int opening = 1; opening <= 3; ++opening) {
        OpenPreview();
        Bring(1, 128);
        const size_t from = vt::CardLog().size();
        HoldInPreview({});
        hostTakes(WM_KEYDOWN, kCtrl, {kCtrl});
        hostTakes(WM_KEYDOWN, kPlus, {kCtrl, kPlus});
        hostTakes(WM_KEYUP, kCtrl, {kPlus});
        hostTakes(WM_KEYUP, kPlus, {});
        ASSERT_TRUE(vt::WaitUntil([&] { return !SentByPreview(from).empty(); }))
            << "opening " << opening << "\n" << vt::DescribeLog();
        WaitForPasses();
        WaitForPasses();
        const std::vector<Sent> sent = SentByPreview(from);
        ASSERT_EQ(sent.size(), 1u) << "opening " << opening << "\n" << vt::DescribeLog();
        EXPECT_EQ(sent[0].selector, 1) << "opening " << opening;
        EXPECT_EQ(sent[0].value, 136) << "opening " << opening;
        ASSERT_EQ(FreeCG200(), 1);
    }
}

}  // namespace
