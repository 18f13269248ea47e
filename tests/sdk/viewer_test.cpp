// The sample viewer on the virtual card, used as an operator uses it, in this
// process (viewer_driver.h): buttons clicked, what shows read back from the
// screen. Chords reach it through its queue with the key state set, or, with
// VORLANE_REAL_KEYS=1, as real input.
#include <gtest/gtest.h>

#include <string>

#include "host_fixture.h"
#include "reliability_support.h"
#include "viewer_driver.h"

namespace {

constexpr int kHeight = 240, kWidth = 180;
using vt::Viewer;

::testing::AssertionResult PictureAt(POINT origin) {
    const std::string missing = vt::PictureMissingAt(origin, kWidth, kHeight);
    if (missing.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << missing;
}

bool CardOpen() { return vt::CardStats().open != 0; }

class ViewerTest : public HostTest {};

TEST_F(ViewerTest, AnOperatorsSession) {
    const std::string folder = vt::TempPath("viewer");
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string frame = folder + "\\frame.bmp";
    DeleteFileA(frame.c_str());
    DeleteFileA((folder + "\\frame-grey.bmp").c_str());
    Viewer viewer("--height 240 --mode 1");
    ASSERT_TRUE(IsWindow(viewer.window()));
    SetWindowPos(viewer.window(), nullptr, 60, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_FALSE(CardOpen()) << "the card opened before Start";

    viewer.Click(ID_START);
    ASSERT_TRUE(viewer.WaitForStatus("live picture at")) << viewer.Status();
    EXPECT_TRUE(PictureAt(viewer.PanelOrigin()));

    viewer.PressCtrlPlus();
    EXPECT_TRUE(vt::WaitUntil([] { return vt::CardStats().adValues[0] == 136; }))
        << "A/D 1 is " << vt::CardStats().adValues[0] << " after Ctrl+=";

    // Each way the panel can move; the picture must follow it.
    struct Move {
        const char *name;
        int x, y;
        bool dragged;
        bool minimised;
    };
    const Move moves[] = {
        {"moved by a program", 300, 140, false, false},
        {"dragged by the operator", 500, 300, true, false},
        {"minimised and restored", 500, 300, false, true},
    };
    for (const Move &move : moves) {
        if (move.dragged) {
            SendMessageA(viewer.window(), WM_ENTERSIZEMOVE, 0, 0);
            EXPECT_FALSE(CardOpen()) << move.name << ": the picture stays open during the drag";
        }
        if (move.minimised) {
            ShowWindow(viewer.window(), SW_MINIMIZE);
            EXPECT_TRUE(vt::WaitUntil([] { return !CardOpen(); })) << move.name << ": open while minimised";
            ShowWindow(viewer.window(), SW_RESTORE);
        }
        SetWindowPos(viewer.window(), nullptr, move.x, move.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        if (move.dragged) SendMessageA(viewer.window(), WM_EXITSIZEMOVE, 0, 0);
        RedrawWindow(viewer.window(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        EXPECT_TRUE(PictureAt(viewer.PanelOrigin())) << move.name;
    }

    // The dialog asks with the picture stopped: Vorlane would paint over it.
    viewer.Click(ID_SAVE);
    ASSERT_TRUE(vt::WaitUntil([] { return !CardOpen(); })) << "the picture runs on under the dialog";
    ASSERT_TRUE(viewer.AnswerSaveDialog(frame)) << "no dialog, or it did not take the path";
    ASSERT_TRUE(viewer.WaitForStatus("saved ")) << viewer.Status();
    EXPECT_NE(viewer.Status().find(frame), std::string::npos) << viewer.Status();
    EXPECT_EQ(vt::ReadFileBytes(frame).size(), 54u + kWidth * kHeight * 3);
    EXPECT_TRUE(PictureAt(viewer.PanelOrigin())) << "after the save";

    viewer.Click(ID_GREY);
    ASSERT_TRUE(viewer.AnswerSaveDialog(folder + "\\frame-grey.bmp")) << "no dialog for the grey copy";
    ASSERT_TRUE(viewer.WaitForStatus("grey copy saved ")) << viewer.Status();
    EXPECT_EQ(vt::ReadFileBytes(folder + "\\frame-grey.bmp").size(), 1078u + kWidth * kHeight);

    viewer.Click(ID_RESET);
    ASSERT_TRUE(viewer.WaitForStatus("A/D adjustments reset")) << viewer.Status();
    EXPECT_EQ(vt::CardStats().adValues[0], 128);
    EXPECT_TRUE(PictureAt(viewer.PanelOrigin())) << "after the reset";

    // A new height: the panel and the picture take the new frame size.
    HWND heights = GetDlgItem(viewer.window(), ID_HEIGHT);
    SendMessageA(heights, CB_SETCURSEL, (160 - 80) / 16, 0);
    PostMessageA(viewer.window(), WM_COMMAND, MAKEWPARAM(ID_HEIGHT, CBN_SELCHANGE), (LPARAM)heights);
    ASSERT_TRUE(viewer.WaitForStatus("live picture at")) << viewer.Status();
    EXPECT_NE(viewer.Status().find("120 x 160"), std::string::npos) << viewer.Status();
    EXPECT_EQ(vt::PictureMissingAt(viewer.PanelOrigin(), 120, 160), "");

    EXPECT_EQ(viewer.Close(), 0);
    EXPECT_FALSE(CardOpen()) << "closing the window left the card open";
}

HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

// A card that fails to open is closed again, so Start works later; a save to
// the path given by --save-to that fails keeps the frame and offers another
// path in the standard dialog.
TEST_F(ViewerTest, FailuresLeaveNoCardOpen) {
    const std::string folder = vt::TempPath("viewer-failures");
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string other = folder + "\\other.bmp";
    DeleteFileA(other.c_str());
    Viewer viewer("--height 240 --save-to " + folder + "\\missing\\frame.bmp");

    {
        // EasyInit returns 0 with the card open when its thread cannot start.
        rely::ImportPatch noThread("KERNEL32.dll", "CreateThread", reinterpret_cast<void *>(NoThread));
        ASSERT_TRUE(noThread);
        viewer.Click(ID_START);
        EXPECT_TRUE(viewer.WaitForStatus("the card did not open")) << viewer.Status();
    }
    EXPECT_FALSE(CardOpen()) << "a failed opening left the card open";
    viewer.Click(ID_START);
    ASSERT_TRUE(viewer.WaitForStatus("live picture at")) << viewer.Status();

    viewer.Click(ID_SAVE);
    ASSERT_TRUE(viewer.WaitForStatus("could not save ")) << viewer.Status();
    ASSERT_TRUE(viewer.AnswerSaveDialog(other)) << "no dialog offers another path, or it did not take it";
    ASSERT_TRUE(viewer.WaitForStatus("saved ")) << viewer.Status();
    EXPECT_EQ(vt::ReadFileBytes(other).size(), 54u + kWidth * kHeight * 3);
    EXPECT_TRUE(vt::WaitUntil(CardOpen)) << "the picture did not start again after the save";
    EXPECT_EQ(viewer.Close(), 0);
    EXPECT_FALSE(CardOpen());
}

}  // namespace
