// Faults at every card call: each is met at the point where it can happen,
// the result, message and state that follow are checked, and then a plain
// open, preview, save and close must work again.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "host_fixture.h"
#include "fault_recovery.h"

using FaultTest = HostTest;

namespace {

using Bytes = std::vector<uint8_t>;
using rely::ExitCode;
using rely::ExpectNormalCycle;
using rely::ExpectSavedFrame;
using rely::kHeight;
using rely::kWidth;

}  // namespace

// BeginCG400's four failure values, met by both calls that open the card
// (HDReset's messages are checked with its other results).
TEST_F(FaultTest, AfterEachOpeningFailureTheNextCycleWorks) {
    for (const bool reset : {false, true}) {
        for (int32_t failure : reset ? std::vector<int32_t>{0, -1} : std::vector<int32_t>{0, 1, 2, -1}) {
            const std::string name = std::string(reset ? "HDReset" : "EasyInit") + ", BeginCG400 = " + std::to_string(failure);
            VcReset();
            VcSetBeginResult(failure);
            vt::BoxWatcher catcher;
            EXPECT_EQ(reset ? HDReset() : EasyInit(0, 0, 384, 1), 0) << name;
            vt::ExpectBox(catcher.Wait(), vt::kCardInitFailedText, vt::kDefaultErrorCaption, name);
            ExpectNothingOpen(name);
            ExpectNormalCycle(name);
        }
    }
}

// Every fault the preview can meet in the card, each ended in every way the
// host can end a preview, with and without the card refusing to close.
TEST_F(FaultTest, EveryPreviewFaultWithEveryWayOfEndingIt) {
    struct Meeting {
        const char *name;
        std::function<void()> inject;
        VcCall refused;        // a set-up call refused: the thread's last, and it ends early with 0
        const wchar_t *text;   // the message it shows, if any
        int64_t reads;         // exact reads while it runs; -1: they go on
    } meetings[] = {
        {"no fault", [] {}, VcCall{}, nullptr, -1},
        {"display window refused", [] {}, VC_SET_DISPLAY, nullptr, 0},
        {"colour space refused", [] {}, VC_SET_COLOR, nullptr, 0},
        {"capture memory refused", [] {}, VC_STATIC_MEM, vt::kOutOfMemoryText, 0},
        {"status never stored", [] { VcSetStatusMode(VC_STATUS_NONE); }, VcCall{}, nullptr, 0},
        {"status stuck at 2", [] { const uint32_t s[] = {2}; VcScriptStatus(s, 1); }, VcCall{}, nullptr, 1},
        {"status stuck at 0", [] { const uint32_t s[] = {0}; VcScriptStatus(s, 1); }, VcCall{}, nullptr, 0},
        {"statuses other than 0 and 2",
         [] { const uint32_t s[] = {1, 3, 0xFFFFFFFFu, 0x80000002u, 4, 7}; VcScriptStatus(s, 6); }, VcCall{},
         nullptr, 0},
        {"reads deliver nothing", [] { VcSetReadLimit(0); }, VcCall{}, nullptr, -1},
        {"reads deliver 1001 bytes", [] { VcSetReadLimit(1001); }, VcCall{}, nullptr, -1},
    };
    enum class End { Save, SaveEndFails, SaveUnwritable, Free, FreeEndFails };
    struct Ending {
        const char *name;
        End how;
    } endings[] = {
        {"EasyCapture", End::Save},
        {"EasyCapture, EndCG400 fails, then FreeCG200", End::SaveEndFails},
        {"EasyCapture to a missing folder, then FreeCG200", End::SaveUnwritable},
        {"FreeCG200", End::Free},
        {"FreeCG200, EndCG400 fails, then FreeCG200", End::FreeEndFails},
    };
    const std::string path = vt::TempPath("fault.bmp");
    const std::string unwritable = vt::TempPath("no such folder\\fault.bmp");
    const Bytes kept(1000, 0x33);
    vt::BoxWatcher boxes;

    for (const Meeting &meeting : meetings) {
        for (const Ending &ending : endings) {
            const std::string name = std::string(meeting.name) + " / " + ending.name;
            VcReset();
            VcSetStatusMode(VC_STATUS_EVERY_POLL);
            meeting.inject();
            if (meeting.refused) VcSetFailure(meeting.refused, 1);
            DeleteFileA(path.c_str());
            // Clear of the middle of the screen, where the message box shows.
            vt::FillScreen(10, 10, kWidth, kHeight);

            const int boxesBefore = boxes.seen();
            ASSERT_EQ(EasyInit(10, 10, 384, 1), 1) << name;
            HANDLE thread = vt::OpenPreviewThread();
            ASSERT_NE(thread, nullptr) << name;
            if (meeting.refused) {
                ASSERT_EQ(WaitForSingleObject(thread, 15000), WAIT_OBJECT_0) << name;
                EXPECT_EQ(ExitCode(thread), 0u) << name;
                EXPECT_EQ(vt::CardStats().polls, 0) << name;
                EXPECT_EQ(vt::CardLog().back().call, meeting.refused) << name << "\n" << vt::DescribeLog();
                const vt::ScreenPixels screen = vt::ReadScreen(10, 10, kWidth, kHeight);
                EXPECT_EQ(std::count(screen.rgb.begin(), screen.rgb.end(), vt::kMarkerRgb),
                          static_cast<ptrdiff_t>(screen.rgb.size())) << name << ": something was painted";
            } else if (meeting.reads < 0) {
                ASSERT_TRUE(vt::WaitUntil([] { return vt::CardStats().reads >= 2; })) << name;
            } else {
                ASSERT_TRUE(vt::WaitUntil([] { return vt::CardStats().polls >= 50; })) << name;
                EXPECT_EQ(vt::CardStats().reads, meeting.reads) << name;
            }
            // The thread that shows a box ends only once it is dismissed.
            const int expectedBoxes = meeting.text ? 1 : 0;
            vt::WaitUntil([&] { return boxes.seen() - boxesBefore >= expectedBoxes; }, 15000);
            EXPECT_EQ(boxes.seen() - boxesBefore, expectedBoxes) << name;
            if (meeting.text) vt::ExpectBox(boxes.last(), meeting.text, vt::kNoticeCaption, name);
            EXPECT_EQ(vt::CardStats().open, 1) << name << ": a refused set-up leaves the card open";

            switch (ending.how) {
            case End::Save:
                EXPECT_EQ(EasyCapture(path.c_str()), 1) << name;
                ExpectSavedFrame(path, name);
                break;
            case End::SaveEndFails:
                VcSetFailure(VC_END, 1);
                EXPECT_EQ(EasyCapture(path.c_str()), 0) << name;
                EXPECT_EQ(vt::CardStats().open, 1) << name;
                ExpectSavedFrame(path, name);
                VcSetFailure(VC_END, 0);
                EXPECT_EQ(FreeCG200(), 1) << name;
                break;
            case End::SaveUnwritable:
                EXPECT_EQ(EasyCapture(unwritable.c_str()), 0) << name;
                EXPECT_EQ(vt::CardStats().open, 1) << name;
                EXPECT_EQ(vt::CountCalls(VC_END), 0) << name;
                EXPECT_EQ(FreeCG200(), 1) << name;
                break;
            case End::Free:
                EXPECT_EQ(FreeCG200(), 1) << name;
                EXPECT_EQ(vt::CountCalls(VC_END), 1) << name;
                break;
            case End::FreeEndFails:
                VcSetFailure(VC_END, 1);
                EXPECT_EQ(FreeCG200(), 0) << name;
                EXPECT_EQ(vt::CardStats().open, 1) << name;
                // The frame is gone with the failed close: a save finds
                // nothing and touches neither the card nor an existing file.
                VcSetFailure(VC_END, 0);
                vt::WriteBytes(path, kept);
                EXPECT_EQ(EasyCapture(path.c_str()), 0) << name;
                EXPECT_EQ(vt::ReadFileBytes(path), kept) << name;
                EXPECT_EQ(vt::CountCalls(VC_END), 1) << name << ": only the failed close reached the card";
                EXPECT_EQ(FreeCG200(), 1) << name;
                break;
            }
            // Closed for good, the thread gone before the card was, and a
            // second close finds nothing.
            EXPECT_EQ(vt::CardStats().open, 0) << name;
            EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << name;
            EXPECT_EQ(ExitCode(thread), meeting.refused ? 0u : 1u) << name;
            const DWORD threadId = GetThreadId(thread);
            CloseHandle(thread);
            // With every handle to it closed, the ended thread is gone.
            HANDLE again = OpenThread(SYNCHRONIZE, FALSE, threadId);
            EXPECT_EQ(again, nullptr) << name << ": Vorlane kept the thread's handle";
            if (again) CloseHandle(again);
            const std::vector<VcLogEntry> log = vt::CardLog();
            ASSERT_FALSE(log.empty()) << name;
            EXPECT_EQ(log.back().call, VC_END) << name << "\n" << vt::DescribeLog();
            EXPECT_EQ(log.back().args[0], VC_DEFAULT_HANDLE) << name;
            ExpectNothingOpen(name);
            ExpectNormalCycle(name);
            EXPECT_EQ(boxes.seen() - boxesBefore, expectedBoxes) << name << ": boxes in all";
            if (HasFatalFailure()) return;
        }
    }
}

// A card call that hangs holds up only the host call waiting for it; once
// the card lets go, that call finishes with 1.
TEST_F(FaultTest, ACallHeldInsideTheCardDelaysButDoesNotBreakTheHost) {
    enum class Before { Nothing, Preview, SetUp };  // what runs when the call is held
    const auto save = [] { return EasyCapture(vt::TempPath("held.bmp").c_str()); };
    const auto free = [] { return FreeCG200(); };
    const auto reset = [] { return HDReset(); };
    struct Row {
        const char *name;
        VcCall held;
        Before before;
        std::function<int()> call;
    } rows[] = {
        // The only row that leaves the card open.
        {"BeginCG400 in EasyInit", VC_BEGIN, Before::Nothing, [] { return EasyInit(0, 0, 384, 1); }},
        {"BeginCG400 in HDReset", VC_BEGIN, Before::Nothing, reset},
        {"CG400SetADParam in HDReset", VC_SET_AD, Before::Nothing, reset},
        {"status poll, FreeCG200", VC_STATUS, Before::Preview, free},
        {"read, EasyCapture", VC_READ, Before::Preview, save},
        {"EndCG400 in EasyCapture", VC_END, Before::Preview, save},
        {"EndCG400 in FreeCG200", VC_END, Before::Preview, free},
        // A stop during the set-up lets it finish, then ends without a pass of
        // the loop; EasyCapture first waits for a frame.
        {"input window in the set-up, FreeCG200", VC_SET_INPUT, Before::SetUp, free},
        {"display window in the set-up, FreeCG200", VC_SET_DISPLAY, Before::SetUp, free},
        {"colour space in the set-up, FreeCG200", VC_SET_COLOR, Before::SetUp, free},
        {"capture memory in the set-up, FreeCG200", VC_STATIC_MEM, Before::SetUp, free},
        {"snap in the set-up, EasyCapture", VC_SNAP, Before::SetUp, save},
    };
    for (const Row &row : rows) {
        VcReset();
        VcSetStatusMode(VC_STATUS_EVERY_POLL);
        if (row.before == Before::Preview) { ASSERT_TRUE(OpenAndRead(0, 0, 384, 1)) << row.name; }
        VcBlockCall(row.held);
        if (row.before == Before::SetUp) { ASSERT_EQ(EasyInit(0, 0, 384, 1), 1) << row.name; }
        // A call the running preview makes must be held before the host asks
        // the preview to stop; otherwise the stop may win and it never comes.
        if (row.before != Before::Nothing && row.held != VC_END) {
            ASSERT_EQ(VcWaitBlocked(row.held, 15000), 1) << row.name;
        }
        {
            vt::HostCall host(row.call);
            ASSERT_EQ(VcWaitBlocked(row.held, 15000), 1) << row.name;
            // Whatever the host call waits for is still inside the card.
            EXPECT_FALSE(host.Finished(200)) << row.name << ": returned while the card held a call";
            if (row.before != Before::Nothing) { EXPECT_EQ(vt::CardStats().open, 1) << row.name; }
            VcReleaseCall(row.held);
            ASSERT_TRUE(host.Finished(15000)) << row.name << ": still waiting after the release";
            EXPECT_EQ(host.result, 1) << row.name;
        }
        if (row.before == Before::SetUp && row.held == VC_SNAP) {
            // EasyCapture first waits, bounded, for the first frame: the file
            // holds the frame the card delivered, or black if none came in time.
            ExpectSavedFrame(vt::TempPath("held.bmp"), row.name);
        } else if (row.before == Before::SetUp) {
            EXPECT_EQ(vt::CardStats().polls, 0) << row.name;
            EXPECT_EQ(vt::CardStats().reads, 0) << row.name;
            const std::vector<VcLogEntry> log = vt::CardLog();
            ASSERT_GE(log.size(), 2u) << row.name;
            EXPECT_EQ(log[log.size() - 2].call, VC_SNAP) << row.name << ": the set-up's end\n" << vt::DescribeLog();
            EXPECT_EQ(log.back().call, VC_END) << row.name << "\n" << vt::DescribeLog();
        }
        if (&row == &rows[0]) { EXPECT_EQ(FreeCG200(), 1) << row.name; }
        EXPECT_EQ(vt::CardStats().open, 0) << row.name;
        ExpectNormalCycle(row.name);
    }
}
