// Opening the card through EasyInit, as a host does.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "host_fixture.h"

using OpeningTest = HostTest;

namespace {

// Opens with the preview's first card call held back, so the test sees
// EasyInit's own work and nothing of the preview's.
int OpenHeld(int x, int y, int height, int mode) {
    VcBlockCall(VC_SET_INPUT);
    return EasyInit(x, y, height, mode);
}

}  // namespace

// The arithmetic has its own unit table; here only that EasyInit applies it.
TEST_F(OpeningTest, HeightBecomesAnUprightFrameAndABufferOfItsSize) {
    struct Row {
        int height, width, expectedHeight;
    } rows[] = {{399, 288, 384}, {INT_MAX, 432, 576}, {INT_MIN, 60, 80}};
    for (const Row &row : rows) {
        VcReset();
        VcSetStatusMode(VC_STATUS_EVERY_POLL);
        ASSERT_EQ(EasyInit(10, 20, row.height, 1), 1) << "height " << row.height;
        ASSERT_TRUE(vt::WaitUntil([] { return !vt::CardCalls(VC_READ).empty(); }))
            << "height " << row.height << "\n" << vt::DescribeLog();
        const VcLogEntry display = vt::CardCalls(VC_SET_DISPLAY).at(0);
        EXPECT_EQ(display.args[3], row.width) << "height " << row.height;
        EXPECT_EQ(display.args[4], row.expectedHeight) << "height " << row.height;
        // The frame buffer the card reads into is a locked movable block of
        // width x height x 3 bytes.
        void *buffer = reinterpret_cast<void *>(vt::CardCalls(VC_READ).at(0).args[4]);
        HGLOBAL block = GlobalHandle(buffer);
        ASSERT_NE(block, nullptr) << "height " << row.height;
        EXPECT_EQ(GlobalSize(block), static_cast<SIZE_T>(row.width) * row.expectedHeight * 3)
            << "height " << row.height;
        EXPECT_NE(GlobalFlags(block) & GMEM_LOCKCOUNT, 0u) << "height " << row.height;
        EXPECT_EQ(FreeCG200(), 1) << "height " << row.height;
    }
}

TEST_F(OpeningTest, ColourModesOutsideTheFourAreRefusedQuietly) {
    for (int mode : {-1, 4, INT_MIN, INT_MAX}) {
        vt::BoxWatcher catcher(1000);
        EXPECT_EQ(EasyInit(0, 0, 480, mode), 0) << "mode " << mode;
        EXPECT_FALSE(catcher.Wait().seen) << "mode " << mode;
        EXPECT_EQ(VcLogCount(), 0) << "mode " << mode << "\n" << vt::DescribeLog();
    }
    ExpectNothingOpen("after the refused modes");
}

TEST_F(OpeningTest, ReturnsAtOnceWhileThePreviewIsStillSettingUp) {
    ASSERT_EQ(OpenHeld(0, 0, 480, 1), 1);
    // EasyInit came back although the preview thread is held inside the card.
    ASSERT_EQ(VcWaitBlocked(VC_SET_INPUT, 10000), 1);
    const auto begins = vt::CardCalls(VC_BEGIN);
    ASSERT_EQ(begins.size(), 1u);
    EXPECT_EQ(begins[0].args[0], 1) << "card number";
    VcReleaseCall(VC_SET_INPUT);
    EXPECT_EQ(FreeCG200(), 1);
}

// While a card is open, a second EasyInit, an HDReset and a save without a
// name are refused quietly: nothing reaches the card, the preview goes on
// with its own settings, and a save then gives its frame.
TEST_F(OpeningTest, CallsThatFindTheCardOpenLeaveItAlone) {
    struct Row {
        const char *name;
        int (*call)();
    } rows[] = {
        {"EasyInit again", [] { return EasyInit(0, 0, 200, 2); }},
        {"HDReset", [] { return HDReset(); }},
        {"EasyCapture without a name", [] { return EasyCapture(nullptr); }},
    };
    for (const Row &row : rows) {
        VcReset();
        ASSERT_TRUE(OpenAndRead(5, 6, 480, 1)) << row.name;
        VcLogClear();
        vt::BoxWatcher catcher(1000);
        EXPECT_EQ(row.call(), 0) << row.name;
        EXPECT_FALSE(catcher.Wait().seen) << row.name;
        // The preview keeps polling and reading; nothing else reached the card.
        const int64_t reads = vt::CardStats().reads;
        EXPECT_TRUE(vt::WaitUntil([reads] { return vt::CardStats().reads > reads + 2; })) << row.name;
        const std::vector<VcLogEntry> log = vt::CardLog();
        EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const VcLogEntry &e) {
                      return e.call != VC_STATUS && e.call != VC_READ;
                  }), 0) << row.name << "\n" << vt::DescribeLog();
        const std::string path = vt::TempPath("after-refused.bmp");
        ASSERT_EQ(EasyCapture(path.c_str()), 1) << row.name;
        const std::vector<uint8_t> file = vt::ReadFileBytes(path);
        EXPECT_TRUE(file.size() == 54 + 360 * 480 * 3 &&
                    std::vector<uint8_t>(file.begin() + 54, file.end()) == vt::LastFrame())
            << row.name << ": the first opening's frame";
    }
}
