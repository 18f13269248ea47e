/* vorlane-viewer: a small Win32 host for Vorlane.dll, to copy from.
 *
 * A window with a picture panel of the frame's size, buttons to start and
 * stop the live picture, save a frame, make a grey copy and reset the card's
 * A/D adjustments, two boxes for the height and the colour mode, and a status
 * line saying what happened. Plain C with Win32 calls only (wsprintfA and the
 * lstr functions in place of the C library's), so it builds alike with MinGW
 * and with Microsoft's tools.
 *
 *   vorlane-viewer [--height H] [--mode M] [--start] [--save-to FILE.bmp]
 *
 * --start starts the live picture at once. --save-to makes "Save as..." write
 * FILE.bmp and "Grey..." write FILE-grey.bmp without asking, for scripts and
 * tests; when that file cannot be written, the dialog asks for another path
 * as usual.
 *
 * Vorlane paints the live picture straight onto the screen, over anything
 * there: the viewer stops it while a drop-down list or a dialog is open,
 * and says in its status line when it runs on the virtual card. */
#include <stdarg.h>
#include <windows.h>
#include <commdlg.h>

#include "vorlane.h"
#include "viewer_controls.h"

#define MARGIN 8
#define BUTTON_WIDTH 76
#define ROW_HEIGHT 24
#define STATUS_HEIGHT 20
#define PANEL_TOP (MARGIN + ROW_HEIGHT + MARGIN + ROW_HEIGHT + MARGIN)
#define TOOLBAR_WIDTH (MARGIN + 5 * (BUTTON_WIDTH + MARGIN))

#define LOWEST_HEIGHT 80
#define HIGHEST_HEIGHT 576
#define HEIGHT_STEP 16

static const char *const kModeNames[] = {"8-bit grey", "24-bit colour", "16-bit colour",
                                         "15-bit colour"};
#define MODE_COUNT 4

static struct {
    HINSTANCE instance;
    HWND window, panel, status, heightBox, modeBox;
    int height, mode;
    int wanted;      /* the operator started the picture and has not stopped it */
    int open;        /* EasyInit succeeded and nothing has closed the card since */
    int opening;     /* inside OpenPreview: EasyInit's error box still takes our messages */
    int inSizeMove;  /* the operator is dragging or sizing the window */
    int listOpen;    /* a drop-down list is open over the panel */
    int virtualCard; /* the CG400D32.dll loaded is the virtual card */
    POINT shownAt;   /* where the open card paints, with the height and mode below */
    int shownHeight, shownMode;
    char saveTo[MAX_PATH];     /* --save-to: the path "Save as..." uses without asking */
    char lastSaved[MAX_PATH];  /* the last frame saved, for "Grey..." */
} viewer;

/* The frame Vorlane paints for a height the boxes offer: upright, 3:4. */
static int FrameWidth(int height) { return height / 4 * 3; }

#define VIRTUAL_CARD_NOTE " - virtual card"

/* wvsprintfA writes at most 1024 bytes; paths are at most MAX_PATH. */
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
    EnableWindow(GetDlgItem(viewer.window, ID_START), !viewer.wanted);
    EnableWindow(GetDlgItem(viewer.window, ID_STOP), viewer.wanted);
}

static POINT PanelOrigin(void) {
    POINT origin = {0, 0};
    ClientToScreen(viewer.panel, &origin);
    return origin;
}

static void ClosePreview(void) {
    if (!viewer.open) return;
    FreeCG200();
    viewer.open = 0;
    InvalidateRect(viewer.panel, NULL, TRUE);
}

static void OpenPreview(void) {
    const POINT at = PanelOrigin();
    int opened;
    /* EasyInit's error box has no owner, so this window still takes messages
     * while it is up: a drag's end would open again from inside this call,
     * and the failure below would then close that card behind our back. */
    if (viewer.opening) return;
    viewer.opening = 1;
    opened = EasyInit(at.x, at.y, viewer.height, viewer.mode);
    viewer.opening = 0;
    if (!opened) {
        /* A failed EasyInit may leave the card open: close it, or every
         * later EasyInit and HDReset fails too. */
        FreeCG200();
        viewer.wanted = 0;
        UpdateButtons();
        SetStatus("the card did not open");
        return;
    }
    viewer.open = 1;
    viewer.shownAt = at;
    viewer.shownHeight = viewer.height;
    viewer.shownMode = viewer.mode;
}

/* Vorlane paints at fixed screen coordinates, over whatever is there: it does
 * not know about our window. So whenever the panel may have moved (a drag,
 * a program's SetWindowPos, minimise and restore, a new height or mode), the
 * picture is closed and opened again at the panel's new place. During a drag
 * it stays closed: reopening at every step would leave a trail of pictures
 * on the screen and open the card dozens of times a second. */
static void FollowPanel(void) {
    POINT at;
    if (!viewer.wanted || viewer.inSizeMove || viewer.listOpen || IsIconic(viewer.window)) {
        ClosePreview();
        return;
    }
    at = PanelOrigin();
    if (viewer.open && at.x == viewer.shownAt.x && at.y == viewer.shownAt.y &&
        viewer.shownHeight == viewer.height && viewer.shownMode == viewer.mode)
        return;
    ClosePreview();
    OpenPreview();
}

/* The window's size follows the frame's: the panel is exactly the picture. */
static void LayOut(void) {
    const int width = FrameWidth(viewer.height);
    const int clientWidth = width + 2 * MARGIN > TOOLBAR_WIDTH ? width + 2 * MARGIN : TOOLBAR_WIDTH;
    const int clientHeight = PANEL_TOP + viewer.height + MARGIN + STATUS_HEIGHT;
    RECT frame = {0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&frame, (DWORD)GetWindowLongA(viewer.window, GWL_STYLE), FALSE);
    MoveWindow(viewer.panel, MARGIN, PANEL_TOP, width, viewer.height, TRUE);
    MoveWindow(viewer.status, 0, clientHeight - STATUS_HEIGHT, clientWidth, STATUS_HEIGHT, TRUE);
    SetWindowPos(viewer.window, NULL, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

/* The standard dialog; `path` holds the suggestion and gets the choice. */
static int AskPath(char *path, const char *title, int forSaving) {
    OPENFILENAMEA dialog;
    ZeroMemory(&dialog, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = viewer.window;
    dialog.lpstrFilter = "BMP pictures (*.bmp)\0*.bmp\0All files\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrTitle = title;
    dialog.lpstrDefExt = "bmp";
    if (!forSaving) {
        dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
        return GetOpenFileNameA(&dialog);
    }
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    return GetSaveFileNameA(&dialog);
}

/* 0 when the full path does not fit in MAX_PATH: never cut it short. */
static int FullPath(const char *name, char *full) {
    char *filePart;
    const DWORD length = GetFullPathNameA(name, MAX_PATH, full, &filePart);
    return length > 0 && length < MAX_PATH;
}

/* EasyCapture until it succeeds or the operator gives up: a failed save
 * keeps the frame and the card open, so another path may do. 1 when saved. */
static int CaptureTo(char *path) {
    while (!EasyCapture(path)) {
        SetStatus("could not save %s: choose another path", path);
        if (!AskPath(path, "Could not save there: save the frame as", 1)) {
            ClosePreview();
            SetStatus("not saved: %s could not be written", path);
            return 0;
        }
    }
    viewer.open = 0;
    return 1;
}

/* Moves the frame held in a temporary file to the path the operator picks. */
static int MoveToChosenPath(const char *held, char *path) {
    lstrcpynA(path, "frame.bmp", MAX_PATH);
    if (!AskPath(path, "Save the frame as", 1)) {
        SetStatus("not saved");
        return 0;
    }
    while (!MoveFileExA(held, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        SetStatus("could not save %s: choose another path", path);
        if (!AskPath(path, "Could not save there: save the frame as", 1)) {
            SetStatus("not saved: %s could not be written", path);
            return 0;
        }
    }
    return 1;
}

/* Vorlane saves only through EasyCapture, which also stops the picture and
 * closes the card; the picture is opened again afterwards if it was running.
 * Without --save-to the frame is saved to a temporary file first, and moved
 * to the path chosen in the dialog afterwards: the live picture would be
 * painted over the dialog, and the frame saved is the one on the screen when
 * the button was pressed. */
static void SaveFrame(void) {
    char path[MAX_PATH], folder[MAX_PATH], held[MAX_PATH] = "";
    DWORD folderLength;
    int saved;
    if (!viewer.open) {
        SetStatus("nothing to save: click Start first");
        return;
    }
    if (viewer.saveTo[0]) {
        if (!FullPath(viewer.saveTo, path)) {
            SetStatus("not saved: the full path of %s is longer than %d characters", viewer.saveTo,
                      MAX_PATH - 1);
            return;
        }
    } else if ((folderLength = GetTempPathA(MAX_PATH, folder)) > 0 && folderLength < MAX_PATH &&
               GetTempFileNameA(folder, "vvw", 0, held)) {
        lstrcpynA(path, held, MAX_PATH);
    } else {
        SetStatus("not saved: no temporary file for the frame");
        return;
    }
    saved = CaptureTo(path);
    /* Held in the temporary file, unless a failed capture led to the dialog. */
    if (saved && held[0] && lstrcmpiA(path, held) == 0) saved = MoveToChosenPath(held, path);
    if (held[0]) DeleteFileA(held);
    if (saved) {
        lstrcpynA(viewer.lastSaved, path, MAX_PATH);
        SetStatus("saved %s", path);
    }
    InvalidateRect(viewer.panel, NULL, TRUE);
    FollowPanel();
}

#define GREY_SUFFIX "-grey.bmp"

/* FILE.bmp gives FILE-grey.bmp; 0 when that would not fit in MAX_PATH. */
static int GreyName(const char *source, char *grey) {
    int length = lstrlenA(source);
    if (length >= 4 && lstrcmpiA(source + length - 4, ".bmp") == 0) length -= 4;
    if (length + (int)sizeof GREY_SUFFIX > MAX_PATH) return 0;
    lstrcpynA(grey, source, length + 1);
    lstrcatA(grey, GREY_SUFFIX);
    return 1;
}

static void MakeGreyCopy(void) {
    char source[MAX_PATH], grey[MAX_PATH];
    const int asks = !viewer.saveTo[0] || !viewer.lastSaved[0];
    /* The live picture would be painted over the dialogs. */
    if (asks) ClosePreview();
    lstrcpynA(source, viewer.lastSaved, MAX_PATH);
    if (source[0] || AskPath(source, "Grey copy of", 0)) {
        if (!GreyName(source, grey))
            SetStatus("no grey copy of %s: its name with " GREY_SUFFIX " would be longer than %d characters",
                      source, MAX_PATH - 1);
        else if (viewer.saveTo[0] || AskPath(grey, "Save the grey copy as", 1)) {
            if (Color2Gray(source, grey))
                SetStatus("grey copy saved %s", grey);
            else
                SetStatus("could not make a grey copy of %s as %s", source, grey);
        }
    }
    FollowPanel();
}

/* HDReset opens the card itself, so the picture closes for a moment. */
static void ResetAdjustments(void) {
    ClosePreview();
    if (HDReset())
        SetStatus("A/D adjustments reset to 128");
    else
        SetStatus("the card did not reset");
    FollowPanel();
}

static void ReadChoices(void) {
    viewer.height = LOWEST_HEIGHT + HEIGHT_STEP * (int)SendMessageA(viewer.heightBox, CB_GETCURSEL, 0, 0);
    viewer.mode = (int)SendMessageA(viewer.modeBox, CB_GETCURSEL, 0, 0);
}

static void ReportPicture(void) {
    if (viewer.open)
        SetStatus("live picture at (%d, %d), %d x %d, %s", viewer.shownAt.x, viewer.shownAt.y,
                  FrameWidth(viewer.height), viewer.height, kModeNames[viewer.mode]);
}

static void Command(int id, int notice) {
    switch (id) {
    case ID_START:
        viewer.wanted = 1;
        UpdateButtons();
        FollowPanel();
        ReportPicture();
        break;
    case ID_STOP:
        viewer.wanted = 0;
        UpdateButtons();
        ClosePreview();
        SetStatus("stopped");
        break;
    case ID_SAVE: SaveFrame(); break;
    case ID_GREY: MakeGreyCopy(); break;
    case ID_RESET: ResetAdjustments(); break;
    case ID_HEIGHT:
    case ID_MODE:
        /* An open list lies over the panel: the picture stops until it
         * closes, or it would be painted over the list. */
        if (notice == CBN_DROPDOWN) {
            viewer.listOpen = 1;
            ClosePreview();
        } else if (notice == CBN_CLOSEUP) {
            viewer.listOpen = 0;
            FollowPanel();
            ReportPicture();
        } else if (notice == CBN_SELCHANGE) {
            ReadChoices();
            ClosePreview();
            LayOut();
            FollowPanel();
            ReportPicture();
        }
        break;
    }
}

static HWND AddControl(const char *kind, const char *text, DWORD style, int x, int y, int width,
                       int height, int id) {
    HWND control = CreateWindowExA(0, kind, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                                   viewer.window, (HMENU)(INT_PTR)id, viewer.instance, NULL);
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
    SendMessageA(viewer.heightBox, CB_SETCURSEL, (WPARAM)((viewer.height - LOWEST_HEIGHT) / HEIGHT_STEP), 0);
    AddControl("STATIC", "Colour", SS_LEFT, MARGIN + 136, secondRow + 4, 40, 16, -1);
    viewer.modeBox = AddControl("COMBOBOX", "", WS_TABSTOP | CBS_DROPDOWNLIST, MARGIN + 180, secondRow,
                                120, 200, ID_MODE);
    for (i = 0; i < MODE_COUNT; ++i) SendMessageA(viewer.modeBox, CB_ADDSTRING, 0, (LPARAM)kModeNames[i]);
    SendMessageA(viewer.modeBox, CB_SETCURSEL, (WPARAM)viewer.mode, 0);
    viewer.panel = AddControl("STATIC", "", SS_BLACKRECT, MARGIN, PANEL_TOP, 0, 0, ID_PANEL);
    viewer.status = AddControl("STATIC", "", SS_SUNKEN | SS_LEFTNOWORDWRAP | SS_NOPREFIX,
                               0, 0, 0, 0, ID_STATUS);
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        viewer.window = window;
        AddControls();
        LayOut();
        UpdateButtons();
        SetStatus("ready: click Start");
        return 0;
    case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_ENTERSIZEMOVE:
        viewer.inSizeMove = 1;
        ClosePreview();
        return 0;
    case WM_EXITSIZEMOVE:
        viewer.inSizeMove = 0;
        FollowPanel();
        return 0;
    case WM_MOVE:  /* also a move by a program, outside a drag */
    case WM_SIZE:  /* also minimise and restore */
        FollowPanel();
        return 0;
    case WM_DESTROY:
        /* Closing the window closes the card. */
        viewer.wanted = 0;
        ClosePreview();
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

/* The next word of the command line, quotes removed: 1, or 0 at its end,
 * or -1 when it does not fit in `size` (never cut short). */
static int NextWord(const char **line, char *word, int size) {
    const char *p = *line;
    int length = 0, quoted = 0;
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) return 0;
    for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p) {
        if (*p == '"')
            quoted = !quoted;
        else if (length < size - 1)
            word[length++] = *p;
        else
            return -1;
    }
    word[length] = 0;
    *line = p;
    return 1;
}

static int ReadNumber(const char *text, int *value) {
    int result = 0;
    if (!*text) return 0;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9' || result > 100000) return 0;
        result = result * 10 + (*text - '0');
    }
    *value = result;
    return 1;
}

static int ReadCommandLine(const char *line, int *start) {
    char word[MAX_PATH], value[MAX_PATH];
    int read;
    while ((read = NextWord(&line, word, sizeof word)) != 0) {
        if (read < 0) return 0;
        if (lstrcmpA(word, "--start") == 0) {
            *start = 1;
            continue;
        }
        if (NextWord(&line, value, sizeof value) != 1) return 0;
        if (lstrcmpA(word, "--save-to") == 0) {
            lstrcpynA(viewer.saveTo, value, MAX_PATH);
        } else if (lstrcmpA(word, "--height") == 0) {
            if (!ReadNumber(value, &viewer.height) || viewer.height < LOWEST_HEIGHT ||
                viewer.height > HIGHEST_HEIGHT || viewer.height % HEIGHT_STEP)
                return 0;
        } else if (lstrcmpA(word, "--mode") == 0) {
            if (!ReadNumber(value, &viewer.mode) || viewer.mode >= MODE_COUNT) return 0;
        } else {
            return 0;
        }
    }
    return 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    WNDCLASSA windowClass;
    MSG message;
    int start = 0;
    (void)previous;
    ZeroMemory(&viewer, sizeof viewer);
    viewer.instance = instance;
    viewer.height = 480;
    viewer.mode = 1;
    viewer.virtualCard = RunsOnVirtualCard();
    if (!ReadCommandLine(commandLine, &start)) {
        MessageBoxA(NULL,
                    "vorlane-viewer [--height H] [--mode M] [--start] [--save-to FILE.bmp]\n\n"
                    "H: 80 to 576 in steps of 16. M: 0 grey, 1 24-bit, 2 16-bit, 3 15-bit colour.\n"
                    "FILE.bmp: at most 259 characters.",
                    "Vorlane viewer", MB_OK | MB_ICONINFORMATION);
        return 2;
    }

    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.hIcon = LoadIcon(NULL, IDI_APPLICATION);
    windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = VIEWER_WINDOW_CLASS;
    if (!RegisterClassA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return 1;
    /* A fixed size: the panel is the frame, and the frame's size is chosen
     * in the height box. */
    if (!CreateWindowExA(0, VIEWER_WINDOW_CLASS, "Vorlane viewer",
                         WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                         CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, NULL, NULL, instance, NULL))
        return 1;
    ShowWindow(viewer.window, show);
    UpdateWindow(viewer.window);
    if (start) Command(ID_START, BN_CLICKED);

    /* The A/D chords reach Vorlane through this loop: EasyInit was called on
     * this thread, so the keys pressed in its windows are seen. */
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        /* Alt with = or - is a chord: left untranslated, it looks for no
         * menu, so nothing beeps. */
        if (message.message == WM_SYSKEYDOWN && (message.wParam == VK_OEM_PLUS || message.wParam == VK_OEM_MINUS)) {
            DispatchMessageA(&message);
            continue;
        }
        /* Tab and Shift+Tab move between the controls, as in a dialog. */
        if (IsDialogMessageA(viewer.window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}
