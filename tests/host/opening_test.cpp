// Opening the card through EasyInit, as a host does.
#include <gtest/gtest.h>

#include <climits>

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
    // A refused mode opens nothing, so there is nothing to close.
    EXPECT_EQ(FreeCG200(), 0);
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

TEST_F(OpeningTest, OpeningTwiceLeavesTheFirstCardAlone) {
    ASSERT_EQ(OpenHeld(5, 6, 480, 1), 1);
    VcLogClear();
    vt::BoxWatcher catcher(1000);
    EXPECT_EQ(EasyInit(0, 0, 200, 2), 0);
    EXPECT_FALSE(catcher.Wait().seen);
    EXPECT_EQ(VcLogCount(), 0) << vt::DescribeLog();
    VcReleaseCall(VC_SET_INPUT);
    // The first preview goes on with its own settings.
    ASSERT_TRUE(vt::WaitUntil([] { return !vt::CardCalls(VC_SET_COLOR).empty(); }));
    EXPECT_EQ(vt::CardCalls(VC_SET_COLOR).at(0).args[1], 1);
    EXPECT_EQ(vt::CardCalls(VC_SET_DISPLAY).at(0).args[3], 360);
    EXPECT_EQ(FreeCG200(), 1);
}
