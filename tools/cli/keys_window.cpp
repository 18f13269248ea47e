#include "keys_window.h"

#include <string>

#include "win32_guards.h"
#include "watch_loop.h"

namespace cli {
namespace {

const char kKeysText[] =
    "Keys for the card's A/D adjustments,\n"
    "while this window has the focus:\n"
    "\n"
    "A/D 1 up\tCtrl+=  or  Ctrl+0\n"
    "A/D 1 down\tCtrl+-  or  Ctrl+9\n"
    "A/D 2 up\tAlt+=  or  Ctrl+8\n"
    "A/D 2 down\tAlt+-  or  Ctrl+7\n"
    "A/D 4 up\tCtrl+6\n"
    "A/D 4 down\tCtrl+5\n"
    "\n"
    "Each press steps by 8, within 0 to 255.\n"
    "Closing this window ends the preview.";
const char kVirtualCardText[] =
    "\n\nOn the virtual card A/D 1 is brightness,\n"
    "2 contrast and 4 saturation.";
constexpr int kMargin = 12;

void DrawKeysText(HDC dc, bool virtualCard, RECT &area, UINT extraFormat) {
    const HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    // One tab stop past the longest adjustment's name, in average character widths.
    DRAWTEXTPARAMS tabs{};
    tabs.cbSize = sizeof tabs;
    tabs.iTabLength = 12;
    std::string text = std::string(kKeysText) + (virtualCard ? kVirtualCardText : "");
    DrawTextExA(dc, text.data(), -1, &area,
                DT_LEFT | DT_NOPREFIX | DT_EXPANDTABS | DT_TABSTOP | extraFormat, &tabs);
    SelectObject(dc, oldFont);
}

LRESULT CALLBACK KeysWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(window, &paint);
        RECT area;
        GetClientRect(window, &area);
        InflateRect(&area, -kMargin, -kMargin);
        const bool virtualCard = GetWindowLongPtrA(window, GWLP_USERDATA) != 0;
        DrawKeysText(dc, virtualCard, area, 0);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_SYSCHAR:
        return 0;  // Alt+= and Alt+- are chords, not menu keys: no beep
    case WM_SYSCOMMAND:
        // Alt alone would open the window menu, whose loop holds up ours.
        if ((wParam & 0xFFF0) == SC_KEYMENU) return 0;
        break;
    case WM_CLOSE:
        RequestStop();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Where a window of this size lies beside the picture without covering it:
// right of it, else left, above or below, within the work area of the
// picture's monitor; else the work area's top-right corner.
POINT KeysWindowPlace(const RECT &picture, SIZE size) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromRect(&picture, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT work = monitor.rcWork;
    constexpr int gap = 16;
    const POINT candidates[] = {
        {picture.right + gap, picture.top},
        {picture.left - gap - size.cx, picture.top},
        {picture.left, picture.top - gap - size.cy},
        {picture.left, picture.bottom + gap},
    };
    for (const POINT &at : candidates) {
        if (at.x >= work.left && at.y >= work.top && at.x + size.cx <= work.right &&
            at.y + size.cy <= work.bottom)
            return at;
    }
    return POINT{work.right - size.cx, work.top};
}

}  // namespace

// The window is left to go with the process: under Wine, hiding or
// destroying it waits two seconds for a window manager that a bare X screen
// lacks.
bool ShowKeysWindow(const RECT &picture, bool virtualCard) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = KeysWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    windowClass.lpszClassName = "VorlaneCliKeys";
    RegisterClassA(&windowClass);

    // Sized to the text.
    RECT frame{0, 0, 0, 0};
    {
        const guards::UniqueScreenDC screen(GetDC(nullptr));
        DrawKeysText(screen.get(), virtualCard, frame, DT_CALCRECT);
    }
    frame.right += 2 * kMargin;
    frame.bottom += 2 * kMargin;
    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRect(&frame, style, FALSE);
    const SIZE size{frame.right - frame.left, frame.bottom - frame.top};
    const POINT at = KeysWindowPlace(picture, size);

    const HWND window = CreateWindowExA(0, windowClass.lpszClassName, kKeysWindowTitle, style, at.x,
                                        at.y, size.cx, size.cy, nullptr, nullptr, instance, nullptr);
    if (!window) return false;
    SetWindowLongPtrA(window, GWLP_USERDATA, virtualCard);
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    SetFocus(window);
    return true;
}

}  // namespace cli
