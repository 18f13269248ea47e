/* The viewer's window: its controls and their layout, the status line, and
 * what each button and box does. */
#include <stdarg.h>
#include <windows.h>

#include "vorlane.h"
#include "panel_picture.h"
#include "viewer_controls.h"
#include "viewer_dialogs.h"
#include "viewer_window.h"

#define MARGIN 8
#define BUTTON_WIDTH 76
#define ROW_HEIGHT 24
#define STATUS_HEIGHT 20
#define PANEL_TOP (MARGIN + ROW_HEIGHT + MARGIN + ROW_HEIGHT + MARGIN)
#define TOOLBAR_WIDTH (MARGIN + 5 * (BUTTON_WIDTH + MARGIN))

static const char *const kModeNames[MODE_COUNT] = {"8-bit grey", "24-bit colour", "16-bit colour",
                                                   "15-bit colour"};

static struct Viewer {
    HINSTANCE instance;
    HWND status, heightBox, modeBox;
    PanelPicture picture;
    int virtualCard;          /* the CG400D32.dll loaded is the virtual card */
    char saveTo[MAX_PATH];    /* from --save-to */
    char lastSaved[MAX_PATH]; /* the last frame saved, for "Grey..." */
} viewer;

#define VIRTUAL_CARD_NOTE " - virtual card"

/* wvsprintfA writes at most 1024 bytes; paths are at most MAX_PATH. */
/* The status line; " - virtual card" is added on the virtual card. */
static void SetStatus(const char *format, ...) {
    char text[1024 + sizeof VIRTUAL_CARD_NOTE];
    va_list args;
    va_start(args, format);
    wvsprintfA(text, format, args);
    va_end(args);
    if (viewer.virtualCard) lstrcatA(text, VIRTUAL_CARD_NOTE);
    SetWindowTextA(viewer.status, text);
}

/* The virtual card has control calls of its own; the card maker's driver
 * does not. Vorlane.dll loaded the driver when this program started. */
static int RunsOnVirtualCard(void) {
    const HMODULE driver = GetModuleHandleA("CG400D32.dll");
    return driver && GetProcAddress(driver, "VcGetStats") != NULL;
}

static void UpdateButtons(void) {
    EnableWindow(GetDlgItem(viewer.picture.window, ID_START), !viewer.picture.wanted);
    EnableWindow(GetDlgItem(viewer.picture.window, ID_STOP), viewer.picture.wanted);
}

static void AfterFollowing(int opened) {
    if (opened) return;
    UpdateButtons();
    SetStatus("the card did not open");
}

/* FollowPanel, and on a failed opening the buttons and status say so. */
static void FollowPicture(void) { AfterFollowing(FollowPanel(&viewer.picture)); }

/* The window's size follows the frame's: the panel is exactly the picture. */
static void LayOut(void) {
    const int height = viewer.picture.height, width = FrameWidth(height);
    const int clientWidth = width + 2 * MARGIN > TOOLBAR_WIDTH ? width + 2 * MARGIN : TOOLBAR_WIDTH;
    const int clientHeight = PANEL_TOP + height + MARGIN + STATUS_HEIGHT;
    RECT frame = {0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&frame, (DWORD)GetWindowLongA(viewer.picture.window, GWL_STYLE), FALSE);
    MoveWindow(viewer.picture.panel, MARGIN, PANEL_TOP, width, height, TRUE);
    MoveWindow(viewer.status, 0, clientHeight - STATUS_HEIGHT, clientWidth, STATUS_HEIGHT, TRUE);
    SetWindowPos(viewer.picture.window, NULL, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

/* HDReset opens the card itself, so the picture closes for a moment. */
static void ResetAdjustments(void) {
    ClosePicture(&viewer.picture);
    if (HDReset())
        SetStatus("A/D adjustments reset to 128");
    else
        SetStatus("the card did not reset");
    FollowPicture();
}

/* Vorlane saves only through EasyCapture, which also closes the card; the
 * picture is opened again afterwards if it was running. */
static void SaveFrame(void) {
    FrameSave save;
    if (!viewer.picture.open) {
        SetStatus("nothing to save: click Start first");
        return;
    }
    BeginFrameSave(&save, viewer.picture.window, viewer.saveTo);
    while (save.outcome == SAVE_NOT_WRITTEN) {
        SetStatus("could not save %s: choose another path", save.path);
        SaveElsewhere(&save);
    }
    switch (save.outcome) {
    case SAVE_PATH_TOO_LONG:
        SetStatus("not saved: the full path of %s is longer than %d characters", viewer.saveTo, MAX_PATH - 1);
        return;
    case SAVE_NO_TEMPORARY_FILE:
        SetStatus("not saved: no temporary file for the frame");
        return;
    case SAVE_DONE:
        lstrcpynA(viewer.lastSaved, save.path, MAX_PATH);
        SetStatus("saved %s", save.path);
        break;
    case SAVE_CANCELLED:
        SetStatus("not saved");
        break;
    case SAVE_GAVE_UP:
    case SAVE_NOT_WRITTEN:
        SetStatus("not saved: %s could not be written", save.path);
        break;
    }
    /* A frame given up before EasyCapture saved it leaves the card open. */
    if (save.cardClosed)
        viewer.picture.open = 0;
    else
        ClosePicture(&viewer.picture);
    InvalidateRect(viewer.picture.panel, NULL, TRUE);
    FollowPicture();
}

/* A dialog would lie over the panel: the picture stops while one is open. */
static void SaveGreyCopy(void) {
    GreyCopy copy;
    if (!viewer.saveTo[0] || !viewer.lastSaved[0]) ClosePicture(&viewer.picture);
    MakeGreyCopy(&copy, viewer.picture.window, viewer.lastSaved, viewer.saveTo[0] != 0);
    switch (copy.outcome) {
    case GREY_DONE:
        SetStatus("grey copy saved %s", copy.grey);
        break;
    case GREY_FAILED:
        SetStatus("could not make a grey copy of %s as %s", copy.source, copy.grey);
        break;
    case GREY_NAME_TOO_LONG:
        SetStatus("no grey copy of %s: its name with " GREY_SUFFIX " would be longer than %d characters",
                  copy.source, MAX_PATH - 1);
        break;
    case GREY_CANCELLED:
        break;
    }
    FollowPicture();
}

static void ReadChoices(void) {
    viewer.picture.height =
        LOWEST_HEIGHT + HEIGHT_STEP * (int)SendMessageA(viewer.heightBox, CB_GETCURSEL, 0, 0);
    viewer.picture.mode = (int)SendMessageA(viewer.modeBox, CB_GETCURSEL, 0, 0);
}

static void ReportPicture(void) {
    const PanelPicture *picture = &viewer.picture;
    if (picture->open)
        SetStatus("live picture at (%d, %d), %d x %d, %s", picture->shownAt.x, picture->shownAt.y,
                  FrameWidth(picture->height), picture->height, kModeNames[picture->mode]);
}

static void Command(int id, int notice) {
    switch (id) {
    case ID_START:
        viewer.picture.wanted = 1;
        UpdateButtons();
        FollowPicture();
        ReportPicture();
        break;
    case ID_STOP:
        viewer.picture.wanted = 0;
        UpdateButtons();
        ClosePicture(&viewer.picture);
        SetStatus("stopped");
        break;
    case ID_SAVE: SaveFrame(); break;
    case ID_GREY: SaveGreyCopy(); break;
    case ID_RESET: ResetAdjustments(); break;
    case ID_HEIGHT:
    case ID_MODE:
        /* An open list lies over the panel: the picture stops until it
         * closes, or it would be painted over the list. */
        if (notice == CBN_DROPDOWN) {
            AfterFollowing(PanelListOpen(&viewer.picture, 1));
        } else if (notice == CBN_CLOSEUP) {
            AfterFollowing(PanelListOpen(&viewer.picture, 0));
            ReportPicture();
        } else if (notice == CBN_SELCHANGE) {
            ReadChoices();
            ClosePicture(&viewer.picture);
            LayOut();
            FollowPicture();
            ReportPicture();
        }
        break;
    }
}

static HWND AddControl(const char *kind, const char *text, DWORD style, int x, int y, int width,
                       int height, int id) {
    HWND control = CreateWindowExA(0, kind, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                                   viewer.picture.window, (HMENU)(INT_PTR)id, viewer.instance, NULL);
    SendMessageA(control, WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), FALSE);
    return control;
}

static void AddControls(void) {
    static const char *const buttons[] = {"Start", "Stop", "Save as...", "Grey...", "Reset A/D"};
    const int secondRow = MARGIN + ROW_HEIGHT + MARGIN;
    char text[16];
    int i;
    for (i = 0; i < 5; ++i)
        AddControl("BUTTON", buttons[i], WS_TABSTOP | BS_PUSHBUTTON, MARGIN + i * (BUTTON_WIDTH + MARGIN),
                   MARGIN, BUTTON_WIDTH, ROW_HEIGHT, ID_START + i);
    AddControl("STATIC", "Height", SS_LEFT, MARGIN, secondRow + 4, 40, 16, -1);
    viewer.heightBox = AddControl("COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
                                  MARGIN + 44, secondRow, 80, 300, ID_HEIGHT);
    for (i = LOWEST_HEIGHT; i <= HIGHEST_HEIGHT; i += HEIGHT_STEP) {
        wsprintfA(text, "%d", i);
        SendMessageA(viewer.heightBox, CB_ADDSTRING, 0, (LPARAM)text);
    }
    SendMessageA(viewer.heightBox, CB_SETCURSEL,
                 (WPARAM)((viewer.picture.height - LOWEST_HEIGHT) / HEIGHT_STEP), 0);
    AddControl("STATIC", "Colour", SS_LEFT, MARGIN + 136, secondRow + 4, 40, 16, -1);
    viewer.modeBox = AddControl("COMBOBOX", "", WS_TABSTOP | CBS_DROPDOWNLIST, MARGIN + 180, secondRow,
                                120, 200, ID_MODE);
    for (i = 0; i < MODE_COUNT; ++i) SendMessageA(viewer.modeBox, CB_ADDSTRING, 0, (LPARAM)kModeNames[i]);
    SendMessageA(viewer.modeBox, CB_SETCURSEL, (WPARAM)viewer.picture.mode, 0);
    viewer.picture.panel = AddControl("STATIC", "", SS_BLACKRECT, MARGIN, PANEL_TOP, 0, 0, ID_PANEL);
    viewer.status = AddControl("STATIC", "", SS_SUNKEN | SS_LEFTNOWORDWRAP | SS_NOPREFIX,
                               0, 0, 0, 0, ID_STATUS);
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        viewer.picture.window = window;
        AddControls();
        LayOut();
        UpdateButtons();
        SetStatus("ready: click Start");
        return 0;
    case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_ENTERSIZEMOVE:
        AfterFollowing(PanelSizeMove(&viewer.picture, 1));
        return 0;
    case WM_EXITSIZEMOVE:
        AfterFollowing(PanelSizeMove(&viewer.picture, 0));
        return 0;
    case WM_MOVE:  /* also a move by a program, outside a drag */
    case WM_SIZE:  /* also minimise and restore */
        FollowPicture();
        return 0;
    case WM_DESTROY:
        /* Closing the window closes the card. */
        viewer.picture.wanted = 0;
        ClosePicture(&viewer.picture);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateViewerWindow(HINSTANCE instance, const ViewerOptions *options) {
    WNDCLASSA windowClass;
    ZeroMemory(&viewer, sizeof viewer);
    viewer.instance = instance;
    viewer.picture.height = options->height;
    viewer.picture.mode = options->mode;
    lstrcpynA(viewer.saveTo, options->saveTo, MAX_PATH);
    viewer.virtualCard = RunsOnVirtualCard();

    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = viewer.instance;
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.hIcon = LoadIcon(NULL, IDI_APPLICATION);
    windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = VIEWER_WINDOW_CLASS;
    if (!RegisterClassA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return NULL;
    /* A fixed size: the panel is the frame, and the frame's size is chosen
     * in the height box. */
    return CreateWindowExA(0, VIEWER_WINDOW_CLASS, "Vorlane viewer",
                           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                           CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, NULL, NULL, viewer.instance, NULL);
}
