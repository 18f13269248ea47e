// vorlane-cli's watch loop: the figures it counts, and how Ctrl+C and a
// closing console end it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "paint_counter.h"
#include "report.h"
#include "test_support.h"
#include "watch_loop.h"
#include "win32_guards.h"

namespace {

// A screen that answers each look in turn: b black, w white, x a failed read.
const char *g_looks = "";
BOOL WINAPI ScriptedScreen(HDC destination, int x, int y, int width, int height, HDC, int, int, DWORD) {
    const char look = *g_looks ? *g_looks++ : 'b';
    return look != 'x' && PatBlt(destination, x, y, width, height, look == 'w' ? WHITENESS : BLACKNESS);
}

TEST(RecordFigures, FailedScreenReadsAreCountedAndNeverTakenForPictures) {
    g_looks = "b" "bxxwxwb";  // the look before the watch, then one a turn
    cli::PaintCounter counter(0, 0, 8, 8, ScriptedScreen);
    ASSERT_TRUE(counter.watching());
    int turns = 0;
    cli::WatchHooks hooks;
    hooks.finished = [&turns](double, const cli::WatchCount &) { return turns == 7; };
    hooks.eachTurn = [&turns](double, const cli::WatchCount &) { ++turns; };
    const cli::WatchCount count = cli::Watch(counter, hooks);
    EXPECT_EQ(count.failedReads, 3);
    EXPECT_EQ(count.painted, 2) << "white after black, black after white";
}

// Ending a watch leaves the program's stop set, as it should; clearing it
// after each of these keeps a later watch in this program running.
class RecordEnding : public ::testing::Test {
protected:
    void TearDown() override { cli::CatchCtrlC(); }
};

TEST_F(RecordEnding, CtrlCEndsTheWatchOnlyUntilItHasEnded) {
    cli::CatchCtrlC();
    EXPECT_TRUE(cli::OnConsoleEvent(CTRL_C_EVENT)) << "Ctrl+C while watching";
    cli::PaintCounter counter(0, 0, 8, 8);
    EXPECT_TRUE(cli::Watch(counter, {}).interrupted);
    EXPECT_FALSE(cli::OnConsoleEvent(CTRL_C_EVENT)) << "Ctrl+C after the watch: the program must end";
    EXPECT_FALSE(cli::OnConsoleEvent(CTRL_BREAK_EVENT)) << "Ctrl+Break after the watch";
}

// The console closed while a recording runs. Windows ends the process as
// soon as the handler returns: what the report holds then is what stays,
// read here with the program's thread (the one that writes) stopped.
std::string g_report;
HANDLE g_program;
std::vector<uint8_t> g_left;

DWORD WINAPI CloseTheConsole(void *) {
    const BOOL handled = cli::OnConsoleEvent(CTRL_CLOSE_EVENT);
    SuspendThread(g_program);
    g_left = vt::ReadFileBytes(g_report);
    ResumeThread(g_program);
    return handled;
}

TEST_F(RecordEnding, AClosingConsoleLeavesTheReportWholeWithItsExitStatus) {
    cli::Report report(vt::NewTempFolder("closing") + "\\report.txt");
    report.Set(cli::report_key::kCommand, std::string("record"));
    ASSERT_TRUE(report.Write());
    cli::CatchCtrlC();
    g_report = report.path();
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_program, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    const guards::UniqueKernelHandle program(g_program),
        thread(CreateThread(nullptr, 0, CloseTheConsole, nullptr, 0, nullptr));
    ASSERT_TRUE(thread.valid());
    cli::PaintCounter counter(0, 0, 8, 8);
    EXPECT_TRUE(cli::Watch(counter, {}).interrupted);  // without hooks only a stop ends it
    // A handler that does not wait returns at once; one that waits holds on
    // far longer than this, until the report below is written.
    EXPECT_EQ(WaitForSingleObject(thread.get(), cli::kLongestWaitForWritingMs / 4), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the handler returned before the last report was written: Windows would end the process";
    EXPECT_EQ(cli::WriteLastReport(report, 2), 2);
    DWORD handled = FALSE;
    EXPECT_EQ(WaitForSingleObject(thread.get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(GetExitCodeThread(thread.get(), &handled) && handled) << "the close was not handled";
    EXPECT_EQ(std::string(g_left.begin(), g_left.end()), "command=record\nexit_status=2\n");
}

}  // namespace
