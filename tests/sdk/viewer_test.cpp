// The sample viewer on the virtual card, used as an operator uses it, in this
// process (viewer_driver.h): buttons clicked, what shows read back from the
// screen. Chords reach it through its queue with the key state set, or, with
// VORLANE_REAL_KEYS=1, as real input.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>

#include "host_fixture.h"
#include "reliability_support.h"
#include "viewer_driver.h"

namespace {

constexpr int kHeight = 240, kWidth = 180;
constexpr size_t kFrameBytes = 54u + kWidth * kHeight * 3;
using vt::Viewer;

::testing::AssertionResult PictureAt(POINT origin, int width = kWidth, int height = kHeight) {
    const std::string missing = vt::PictureMissingAt(origin, width, height);
    if (missing.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << missing;
}

bool CardOpen() { return vt::CardStats().open != 0; }

HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

class ViewerTest : public HostTest {};

// A card that fails to open is closed again, so that Start works later.
TEST_F(ViewerTest, AnOperatorsSession) {
    const std::string folder = vt::TempPath("viewer");
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string frame = folder + "\\frame.bmp", grey = folder + "\\frame-grey.bmp";
    DeleteFileA(frame.c_str());
    DeleteFileA(grey.c_str());
    Viewer viewer("--height 240 --mode 1");
    ASSERT_TRUE(IsWindow(viewer.window()));
    SetWindowPos(viewer.window(), nullptr, 60, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_FALSE(CardOpen()) << "the card opened before Start";
    EXPECT_NE(viewer.Status().find("virtual card"), std::string::npos) << viewer.Status();
    {
        // EasyInit returns 0 with the card open when its thread cannot start.
        const rely::ImportPatches noThread{{"KERNEL32.dll", "CreateThread", NoThread}};
        ASSERT_TRUE(noThread);
        viewer.Click(ID_START);
        EXPECT_TRUE(viewer.WaitForStatus("the card did not open")) << viewer.Status();
    }
    EXPECT_FALSE(CardOpen()) << "a failed opening left the card open";
    {
        // The card refuses and the operator drags the window while the box
        // says so; by the drag's end the card would open. No second opening
        // may start inside the first, which would close it again as it fails.
        VcSetBeginResult(0);
        viewer.Click(ID_START);
        HWND box = nullptr;
        ASSERT_TRUE(vt::WaitUntil([&] { return (box = viewer.Dialog()) != nullptr; })) << "no box for the refusal";
        VcSetBeginResult(VC_DEFAULT_HANDLE);
        SendMessageA(viewer.window(), WM_ENTERSIZEMOVE, 0, 0);
        SendMessageA(viewer.window(), WM_EXITSIZEMOVE, 0, 0);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(viewer.WaitForStatus("the card did not open")) << viewer.Status();
        EXPECT_FALSE(CardOpen()) << "a drag during the box left the card open";
    }

    viewer.Click(ID_START);
    ASSERT_TRUE(viewer.WaitForStatus("live picture at")) << viewer.Status();
    EXPECT_TRUE(CardOpen()) << "a live picture reported with no card open";
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
    ASSERT_TRUE(viewer.WaitForStatus("saved " + frame)) << viewer.Status();
    EXPECT_EQ(vt::ReadFileBytes(frame).size(), kFrameBytes);
    EXPECT_TRUE(PictureAt(viewer.PanelOrigin())) << "after the save";

    viewer.Click(ID_GREY);
    ASSERT_TRUE(viewer.AnswerSaveDialog(grey)) << "no dialog for the grey copy";
    ASSERT_TRUE(viewer.WaitForStatus("grey copy saved ")) << viewer.Status();
    EXPECT_EQ(vt::ReadFileBytes(grey).size(), 1078u + kWidth * kHeight);

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
    EXPECT_TRUE(PictureAt(viewer.PanelOrigin(), 120, 160));

    EXPECT_EQ(viewer.Close(), 0);
    EXPECT_FALSE(CardOpen()) << "closing the window left the card open";
}

// A save to the path of --save-to that fails keeps the frame and offers
// another path in the standard dialog, and the picture comes back; a grey
// copy whose name would not fit is refused, not cut short.
TEST_F(ViewerTest, FailedSavesAndLongNames) {
    const std::string other = vt::TempPath("viewer-other.bmp");
    std::string folder = vt::TempPath("long");
    CreateDirectoryA(folder.c_str(), nullptr);
    while (folder.size() < 230) {
        folder += "\\" + std::string(std::min<size_t>(60, 236 - folder.size()), 'd');
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    const std::string frame = folder + "\\" + std::string(MAX_PATH - 3 - folder.size() - 5, 'f') + ".bmp";
    ASSERT_EQ(frame.size(), size_t{MAX_PATH - 3});
    // The last folder is made once the first save has failed for want of it.
    DeleteFileA(frame.c_str());
    DeleteFileA(other.c_str());
    ASSERT_TRUE(RemoveDirectoryA(folder.c_str())) << folder;
    Viewer viewer("--height 240 --start --save-to \"" + frame + "\"");
    ASSERT_TRUE(viewer.WaitForStatus("live picture at")) << viewer.Status();

    viewer.Click(ID_SAVE);
    ASSERT_TRUE(viewer.WaitForStatus("could not save ")) << viewer.Status();
    ASSERT_TRUE(viewer.AnswerSaveDialog(other)) << "no dialog offers another path, or it did not take it";
    ASSERT_TRUE(viewer.WaitForStatus("saved " + other)) << viewer.Status();
    EXPECT_EQ(vt::ReadFileBytes(other).size(), kFrameBytes);
    EXPECT_TRUE(vt::WaitUntil(CardOpen)) << "the picture did not start again after the save";

    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
    viewer.Click(ID_SAVE);
    ASSERT_TRUE(viewer.WaitForStatus("saved " + frame)) << viewer.Status();
    EXPECT_EQ(vt::ReadFileBytes(frame).size(), kFrameBytes);
    viewer.Click(ID_GREY);
    EXPECT_TRUE(viewer.WaitForStatus("no grey copy of " + frame)) << viewer.Status();
    EXPECT_EQ(viewer.Close(), 0);
    EXPECT_FALSE(CardOpen());
    DeleteFileA(frame.c_str());
}

// An open drop-down list lies over the panel: the picture stops while it is
// open, so the list shows, and comes back when it closes.
TEST_F(ViewerTest, OpenListsAreNotPaintedOver) {
    constexpr int width = 360, height = 480;
    Viewer viewer("--height 480 --start");
    SetWindowPos(viewer.window(), nullptr, 40, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ASSERT_TRUE(viewer.WaitForStatus("live picture at")) << viewer.Status();
    const COLORREF windowColour = GetSysColor(COLOR_WINDOW);
    const uint32_t listRgb = GetRValue(windowColour) << 16 | GetGValue(windowColour) << 8 | GetBValue(windowColour);
    for (const int id : {ID_HEIGHT, ID_MODE}) {
        const std::string name = id == ID_HEIGHT ? "height list" : "colour list";
        HWND box = GetDlgItem(viewer.window(), id);
        SendMessageA(box, CB_SHOWDROPDOWN, TRUE, 0);
        EXPECT_TRUE(vt::WaitUntil([] { return !CardOpen(); })) << name << ": the picture runs on";

        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        ASSERT_TRUE(GetComboBoxInfo(box, &info)) << name;
        RECT list{}, overlap{};
        GetWindowRect(info.hwndList, &list);
        const POINT panel = viewer.PanelOrigin();
        const RECT panelRect{panel.x, panel.y, panel.x + width, panel.y + height};
        ASSERT_TRUE(IntersectRect(&overlap, &list, &panelRect)) << name << ": the list does not cover the panel";
        int shown = 0;
        const int area = (overlap.right - overlap.left) * (overlap.bottom - overlap.top);
        EXPECT_TRUE(vt::WaitUntil([&] {
            const vt::ScreenPixels pixels = vt::ReadScreen(overlap.left, overlap.top, overlap.right - overlap.left,
                                                           overlap.bottom - overlap.top);
            shown = 0;
            for (uint32_t pixel : pixels.rgb) shown += pixel == listRgb;
            return shown > area / 2;
        })) << name << ": " << shown << " of " << area << " pixels show the list";

        SendMessageA(box, CB_SHOWDROPDOWN, FALSE, 0);
        ASSERT_TRUE(viewer.WaitForStatus("live picture at")) << name << ": " << viewer.Status();
        EXPECT_TRUE(PictureAt(viewer.PanelOrigin(), width, height)) << name;
    }
}

// What the viewer's thread takes from its queue, seen by a hook on it.
std::atomic<int> sysChars{0}, markers{0};
constexpr UINT kMarker = WM_APP + 0x2A;

LRESULT CALLBACK CountTaken(int code, WPARAM removed, LPARAM message) {
    const MSG *taken = reinterpret_cast<const MSG *>(message);
    if (code == HC_ACTION && removed == PM_REMOVE) {
        sysChars += taken->message == WM_SYSCHAR;
        markers += taken->message == kMarker;
    }
    return CallNextHookEx(nullptr, code, removed, message);
}

// Everything posted to the viewer so far has been taken, and what handling
// it posted in turn too.
void Drain(const Viewer &viewer) {
    for (int round = 0; round < 2; ++round) {
        const int seen = markers;
        PostMessageA(viewer.window(), kMarker, 0, 0);
        vt::WaitUntil([seen] { return markers > seen; });
    }
}

HWND Focused(const Viewer &viewer) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(viewer.threadId(), &info);
    return info.hwndFocus;
}

// Tab walks the controls as in a dialog; Alt with = steps A/D 2 and looks for
// no menu (the search is what beeps).
TEST_F(ViewerTest, TheKeyboardWorksAsInADialog) {
    Viewer viewer("--height 240");
    HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, CountTaken, nullptr, viewer.threadId());
    ASSERT_TRUE(hook);

    std::set<int> visited;
    for (int press = 0; press < 8; ++press) {
        HWND before = Focused(viewer);
        PostMessageA(before ? before : viewer.window(), WM_KEYDOWN, VK_TAB, 1);
        Drain(viewer);
        EXPECT_NE(Focused(viewer), before) << "Tab " << press << " left the focus on " << GetDlgCtrlID(before);
        visited.insert(GetDlgCtrlID(Focused(viewer)));
    }
    // Stop is disabled until Start.
    EXPECT_EQ(visited, (std::set<int>{ID_START, ID_SAVE, ID_GREY, ID_RESET, ID_HEIGHT, ID_MODE}));

    viewer.Click(ID_START);
    ASSERT_TRUE(viewer.WaitForStatus("live picture at")) << viewer.Status();
    // The preview takes keys once its loop runs, as the operator sees the
    // picture; a chord before that finds no queue to go to.
    ASSERT_TRUE(vt::WaitUntil([] { return vt::CardStats().reads > 0; })) << "no frame read";
    BYTE held[256] = {};
    held[VK_MENU] = held[VK_OEM_PLUS] = 0x80;
    AttachThreadInput(GetCurrentThreadId(), viewer.threadId(), TRUE);
    SetKeyboardState(held);
    PostMessageA(viewer.window(), WM_SYSKEYDOWN, VK_OEM_PLUS, 1 | KF_ALTDOWN << 16);
    EXPECT_TRUE(vt::WaitUntil([] { return vt::CardStats().adValues[1] == 136; }))
        << "A/D 2 is " << vt::CardStats().adValues[1] << " after Alt+=";
    Drain(viewer);
    BYTE none[256] = {};
    SetKeyboardState(none);
    AttachThreadInput(GetCurrentThreadId(), viewer.threadId(), FALSE);
    EXPECT_EQ(sysChars, 0) << "Alt+= was translated into a menu key";
    UnhookWindowsHookEx(hook);
}

}  // namespace
