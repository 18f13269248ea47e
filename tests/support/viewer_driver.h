// The sample viewer driven from a test: its WinMain (built into the test as
// RunViewer) runs on a thread of its own, which is its UI thread, so the card
// it opens is the one the test reads. Controls are found by id and clicked
// through the window's messages.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

#include "test_support.h"
#include "viewer_controls.h"

extern "C" int WINAPI RunViewer(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

namespace vt {

class Viewer {
public:
    explicit Viewer(std::string commandLine) : commandLine_(std::move(commandLine)) {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, &threadId_);
        WaitUntil([this] {
            window_ = FindWindowA(VIEWER_WINDOW_CLASS, nullptr);
            return window_ && GetWindowThreadProcessId(window_, nullptr) == threadId_ &&
                   IsWindowVisible(window_);
        });
    }
    // A dialog a failed test left open is cancelled, so that the viewer's
    // thread ends before the process does.
    ~Viewer() {
        WaitUntil([this] {
            EnumThreadWindows(threadId_, CancelDialog, 0);
            if (IsWindow(window_)) PostMessageA(window_, WM_CLOSE, 0, 0);
            return WaitForSingleObject(thread_, 100) == WAIT_OBJECT_0;
        }, 30000);
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
        return WaitUntil([&] { return Status().rfind(start, 0) == 0; }, 20000);
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

    // The standard dialog the viewer shows, once it is up; nullptr if none.
    HWND Dialog() const {
        HWND found = nullptr;
        EnumThreadWindows(threadId_, FindDialog, reinterpret_cast<LPARAM>(&found));
        return found;
    }

    // Ctrl+= pressed in the viewer's window: as real input with
    // VORLANE_REAL_KEYS=1, else through its queue with the key state set (the
    // viewer's thread shares this one's while attached).
    void PressCtrlPlus() const {
        const char *real = std::getenv("VORLANE_REAL_KEYS");
        if (real && std::string(real) == "1") {
            SetForegroundWindow(window_);
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
        // Held until the card's A/D 1 has moved, or for 10 s at most.
        const int32_t before = CardStats().adValues[0];
        BYTE held[256] = {};
        held[VK_CONTROL] = held[VK_OEM_PLUS] = 0x80;
        AttachThreadInput(GetCurrentThreadId(), threadId_, TRUE);
        SetKeyboardState(held);
        PostMessageA(window_, WM_KEYDOWN, VK_OEM_PLUS, 1);
        WaitUntil([before] { return CardStats().adValues[0] != before; }, 10000);
        BYTE none[256] = {};
        SetKeyboardState(none);
        AttachThreadInput(GetCurrentThreadId(), threadId_, FALSE);
    }

    // Types `path` into the viewer's save dialog, once it is up, and presses
    // Save; true when the dialog took it and closed.
    bool AnswerSaveDialog(const std::string &path) const {
        HWND dialog = nullptr;
        if (!WaitUntil([&] { return (dialog = Dialog()) != nullptr; })) return false;
        // The file name box: an edit, or a combo box in newer dialogs.
        const int box = GetDlgItem(dialog, 0x47c) ? 0x47c : 0x480;
        char typed[MAX_PATH] = {};
        WaitUntil([&] {
            SetDlgItemTextA(dialog, box, path.c_str());
            GetDlgItemTextA(dialog, box, typed, sizeof typed);
            return path == typed;
        });
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        return WaitUntil([&] { return !IsWindow(dialog); });
    }

private:
    static bool IsDialog(HWND window) {
        char kind[16] = {};
        GetClassNameA(window, kind, sizeof kind);
        return lstrcmpA(kind, "#32770") == 0;
    }
    static BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
        if (!IsDialog(window) || !IsWindowVisible(window)) return TRUE;
        *reinterpret_cast<HWND *>(found) = window;
        return FALSE;
    }
    static BOOL CALLBACK CancelDialog(HWND window, LPARAM) {
        if (IsDialog(window)) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
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

// A picture fills the panel of `frameWidth` x `frameHeight` at `origin`
// and nothing around it: the panel and a one-pixel ring are covered with the
// marker colour, then the picture must replace the marker inside, with a
// spread of values a black panel does not have, while the ring keeps it. The
// viewer may still repaint its window after a move: the ring is then covered
// again until the deadline. Empty when shown, else what was seen.
inline std::string PictureMissingAt(POINT origin, int frameWidth, int frameHeight) {
    const int x = origin.x - 1, y = origin.y - 1, width = frameWidth + 2, height = frameHeight + 2;
    FillScreen(x, y, width, height);
    int painted = 0, ring = 0, spread = 0;
    const bool shown = WaitUntil(
        [&] {
            const ScreenPixels screen = ReadScreen(x, y, width, height);
            painted = ring = 0;
            uint32_t lowest = 0xFF, highest = 0;
            for (int row = 0; row < height; ++row)
                for (int column = 0; column < width; ++column) {
                    const uint32_t pixel = screen.at(column, row);
                    const bool inside = row > 0 && row <= frameHeight && column > 0 && column <= frameWidth;
                    if (!inside) {
                        ring += pixel == kMarkerRgb;
                    } else if (pixel != kMarkerRgb) {
                        ++painted;
                        lowest = std::min(lowest, pixel & 0xFF);
                        highest = std::max(highest, pixel & 0xFF);
                    }
                }
            spread = static_cast<int>(highest) - static_cast<int>(lowest);
            if (ring == 2 * (width + height) - 4) return painted == frameWidth * frameHeight && spread > 100;
            FillScreen(x, y, width, 1);
            FillScreen(x, y + height - 1, width, 1);
            FillScreen(x, y, 1, height);
            FillScreen(x + width - 1, y, 1, height);
            return false;
        },
        20000);
    if (shown) return "";
    return "at (" + std::to_string(origin.x) + ", " + std::to_string(origin.y) + "): " + std::to_string(painted) +
           " of " + std::to_string(frameWidth * frameHeight) + " pixels painted, " + std::to_string(ring) +
           " of the ring's pixels untouched, values spread " + std::to_string(spread);
}

}  // namespace vt
