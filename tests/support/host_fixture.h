// A test that uses Vorlane.dll as a host does: the virtual card starts from
// its defaults and any card a failed test left open is closed.
#pragma once

#include <gtest/gtest.h>

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
