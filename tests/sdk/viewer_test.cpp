// The sample viewer on the virtual card, used as an operator uses it: its
// WinMain runs in this process on a thread of its own, which is its UI
// thread, so the card it opens is the one this test reads. Buttons are
// clicked through the window's messages; what shows is read back from the
// screen. Chords reach it through its queue with the key state set, or, with
// VORLANE_REAL_KEYS=1, as real input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "host_fixture.h"
#include "reliability_support.h"
#include "viewer_controls.h"

extern "C" int WINAPI RunViewer(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

namespace {

constexpr int kHeight = 240, kWidth = 180;

class Viewer {
public:
    explicit Viewer(std::string commandLine) : commandLine_(std::move(commandLine)) {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, &threadId_);
        vt::WaitUntil([this] {
            window_ = FindWindowA(VIEWER_WINDOW_CLASS, nullptr);
            return window_ && GetWindowThreadProcessId(window_, nullptr) == threadId_ &&
                   IsWindowVisible(window_);
        });
    }
    ~Viewer() {
        if (IsWindow(window_)) PostMessageA(window_, WM_CLOSE, 0, 0);
        WaitForSingleObject(thread_, 30000);
        CloseHandle(thread_);
    }
    Viewer(const Viewer &) = delete;
    Viewer &operator=(const Viewer &) = delete;

    HWND window() const { return window_; }
    DWORD threadId() const { return threadId_; }
    void Click(int id) const {
        PostMessageA(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(window_, id));
    }
    std::string Status() const {
        char text[1024] = {};
        GetDlgItemTextA(window_, ID_STATUS, text, sizeof text);
        return text;
    }
    bool WaitForStatus(const std::string &start) const {
        return vt::WaitUntil([&] { return Status().rfind(start, 0) == 0; }, 20000);
    }
    POINT PanelOrigin() const {
        POINT origin{0, 0};
        ClientToScreen(GetDlgItem(window_, ID_PANEL), &origin);
        return origin;
    }
    // Closes the window as its close box does; the viewer's exit code.
    int Close() {
        PostMessageA(window_, WM_CLOSE, 0, 0);
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(thread_, 30000) == WAIT_OBJECT_0) GetExitCodeThread(thread_, &code);
        return static_cast<int>(code);
    }

private:
    static DWORD WINAPI Run(LPVOID self) {
        Viewer *viewer = static_cast<Viewer *>(self);
        return static_cast<DWORD>(
            RunViewer(GetModuleHandleA(nullptr), nullptr, &viewer->commandLine_[0], SW_SHOWNORMAL));
    }
    std::string commandLine_;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HWND window_ = nullptr;
};

// The card's picture fills the panel at `origin` and nothing around it: the
// panel and a one-pixel ring are covered with the marker colour, then the
// picture must replace the marker inside, with a spread of values a black
// panel does not have, while the ring keeps it. The viewer may still repaint
// its window after a move: the ring is then covered again until the deadline.
::testing::AssertionResult PictureAt(POINT origin) {
    const int x = origin.x - 1, y = origin.y - 1, width = kWidth + 2, height = kHeight + 2;
    vt::FillScreen(x, y, width, height);
    int painted = 0, ring = 0, spread = 0;
    const bool shown = vt::WaitUntil(
        [&] {
            const vt::ScreenPixels screen = vt::ReadScreen(x, y, width, height);
            painted = ring = 0;
            uint32_t lowest = 0xFF, highest = 0;
            for (int row = 0; row < height; ++row)
                for (int column = 0; column < width; ++column) {
                    const uint32_t pixel = screen.at(column, row);
                    const bool inside = row > 0 && row <= kHeight && column > 0 && column <= kWidth;
                    if (!inside) {
                        ring += pixel == vt::kMarkerRgb;
                    } else if (pixel != vt::kMarkerRgb) {
                        ++painted;
                        lowest = std::min(lowest, pixel & 0xFF);
                        highest = std::max(highest, pixel & 0xFF);
                    }
                }
            spread = static_cast<int>(highest) - static_cast<int>(lowest);
            if (ring == 2 * (width + height) - 4) return painted == kWidth * kHeight && spread > 100;
            vt::FillScreen(x, y, width, 1);
            vt::FillScreen(x, y + height - 1, width, 1);
            vt::FillScreen(x, y, 1, height);
            vt::FillScreen(x + width - 1, y, 1, height);
            return false;
        },
        20000);
    if (shown) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "at (" << origin.x << ", " << origin.y << "): " << painted
                                         << " of " << kWidth * kHeight << " pixels painted, " << ring
                                         << " of the ring's pixels untouched, values spread " << spread;
}

bool CardOpen() { return vt::CardStats().open != 0; }

// Ctrl+= pressed in the viewer's window.
void PressCtrlPlus(const Viewer &viewer) {
    const char *real = std::getenv("VORLANE_REAL_KEYS");
    if (real && std::string(real) == "1") {
        SetForegroundWindow(viewer.window());
        INPUT keys[4] = {};
        const WORD order[4] = {VK_CONTROL, VK_OEM_PLUS, VK_OEM_PLUS, VK_CONTROL};
        for (int i = 0; i < 4; ++i) {
            keys[i].type = INPUT_KEYBOARD;
            keys[i].ki.wVk = order[i];
            keys[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
        }
        SendInput(4, keys, sizeof(INPUT));
        return;
    }
    // The viewer's thread shares this thread's key state while attached.
    BYTE held[256] = {};
    held[VK_CONTROL] = held[VK_OEM_PLUS] = 0x80;
    AttachThreadInput(GetCurrentThreadId(), viewer.threadId(), TRUE);
    SetKeyboardState(held);
    PostMessageA(viewer.window(), WM_KEYDOWN, VK_OEM_PLUS, 1);
    vt::WaitUntil([] { return vt::CardStats().adValues[0] != 128; }, 10000);
    const BYTE none[256] = {};
    SetKeyboardState(const_cast<BYTE *>(none));
    AttachThreadInput(GetCurrentThreadId(), viewer.threadId(), FALSE);
}

class ViewerTest : public HostTest {};

TEST_F(ViewerTest, AnOperatorsSession) {
    const std::string folder = vt::TempPath("viewer");
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string frame = folder + "\\frame.bmp";
    DeleteFileA(frame.c_str());
    DeleteFileA((folder + "\\frame-grey.bmp").c_str());
    Viewer viewer("--height 240 --mode 1 --save-to " + frame);
    ASSERT_TRUE(IsWindow(viewer.window()));
    SetWindowPos(viewer.window(), nullptr, 60, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_FALSE(CardOpen()) << "the card opened before Start";

    viewer.Click(ID_START);
    ASSERT_TRUE(viewer.WaitForStatus("live picture at")) << viewer.Status();
    EXPECT_TRUE(PictureAt(viewer.PanelOrigin()));

    PressCtrlPlus(viewer);
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

    viewer.Click(ID_SAVE);
    ASSERT_TRUE(viewer.WaitForStatus("saved ")) << viewer.Status();
    EXPECT_NE(viewer.Status().find(frame), std::string::npos) << viewer.Status();
    EXPECT_EQ(vt::ReadFileBytes(frame).size(), 54u + kWidth * kHeight * 3);
    EXPECT_TRUE(PictureAt(viewer.PanelOrigin())) << "after the save";

    viewer.Click(ID_GREY);
    ASSERT_TRUE(viewer.WaitForStatus("grey copy saved ")) << viewer.Status();
    EXPECT_EQ(vt::ReadFileBytes(folder + "\\frame-grey.bmp").size(), 1078u + kWidth * kHeight);

    viewer.Click(ID_RESET);
    ASSERT_TRUE(viewer.WaitForStatus("A/D adjustments reset")) << viewer.Status();
    EXPECT_EQ(vt::CardStats().adValues[0], 128);
    EXPECT_TRUE(PictureAt(viewer.PanelOrigin())) << "after the reset";

    EXPECT_EQ(viewer.Close(), 0);
    EXPECT_FALSE(CardOpen()) << "closing the window left the card open";
}

HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

// A save that fails keeps the frame and offers another path in the standard
// dialog; a card that fails to open is closed again, so Start works later.
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
    HWND dialog = nullptr;
    ASSERT_TRUE(vt::WaitUntil([&] {
        dialog = FindWindowA("#32770", nullptr);
        return dialog && GetWindowThreadProcessId(dialog, nullptr) == viewer.threadId();
    })) << "no dialog offers another path";
    EXPECT_TRUE(CardOpen()) << "the frame was dropped with the failed save";
    // The file name box: an edit, or a combo box in newer dialogs.
    SetDlgItemTextA(dialog, 0x480, other.c_str());
    SetDlgItemTextA(dialog, 0x47c, other.c_str());
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(viewer.WaitForStatus("saved ")) << viewer.Status();
    EXPECT_EQ(vt::ReadFileBytes(other).size(), 54u + kWidth * kHeight * 3);
    EXPECT_TRUE(vt::WaitUntil(CardOpen)) << "the picture did not start again after the save";
    EXPECT_EQ(viewer.Close(), 0);
    EXPECT_FALSE(CardOpen());
}

}  // namespace
