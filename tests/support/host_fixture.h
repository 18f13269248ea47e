// A test that uses Vorlane.dll as a host does: the virtual card starts from
// its defaults and any card a failed test left open is closed.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "vorlane.h"

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        TearDown();
        VcReset();
    }
    void TearDown() override {
        for (int call = VC_BEGIN; call < VC_CALL_COUNT; ++call) VcReleaseCall(call);
        // Close before resetting the card: a reset while a preview still
        // reads would hand it frames of the card's default size.
        FreeCG200();
        VcReset();
        FreeCG200();
    }
};

// Opens the card, with a frame finished at every poll, and waits until the
// preview has read `reads` more frames.
inline bool OpenAndRead(int x, int y, int height, int mode, int64_t reads = 2) {
    const int64_t before = vt::CardStats().reads;
    VcSetStatusMode(VC_STATUS_EVERY_POLL);
    if (EasyInit(x, y, height, mode) != 1) return false;
    return vt::WaitUntil([before, reads] { return vt::CardStats().reads >= before + reads; });
}

// With no card open, a save writes nothing, a close finds nothing, and
// neither reaches the card.
inline void ExpectNothingOpen(const std::string &name) {
    const std::string path = vt::TempPath("nothing-open.bmp");
    DeleteFileA(path.c_str());
    VcLogClear();
    EXPECT_EQ(EasyCapture(path.c_str()), 0) << name;
    EXPECT_FALSE(vt::FileExists(path)) << name;
    EXPECT_EQ(FreeCG200(), 0) << name;
    EXPECT_EQ(VcLogCount(), 0) << name << "\n" << vt::DescribeLog();
}
