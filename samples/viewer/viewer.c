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
 * and says in its status line when it runs on the virtual card.
 *
 * Where things are: panel_picture.c keeps the picture on the panel (the part
 * to copy), viewer_window.c is the window and its buttons, viewer_dialogs.c
 * saves through the file dialogs and returns what happened to the window,
 * command_line.c reads the options. This file starts the program and runs
 * its message loop. */
#include <windows.h>

#include "command_line.h"
#include "viewer_controls.h"
#include "viewer_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    ViewerOptions options;
    HWND window;
    MSG message;
    (void)previous;
    ZeroMemory(&options, sizeof options);
    options.height = 480;
    options.mode = 1;
    if (!ReadCommandLine(commandLine, &options)) {
        MessageBoxA(NULL,
                    "vorlane-viewer [--height H] [--mode M] [--start] [--save-to FILE.bmp]\n\n"
                    "H: 80 to 576 in steps of 16. M: 0 grey, 1 24-bit, 2 16-bit, 3 15-bit colour.\n"
                    "FILE.bmp: at most 259 characters.",
                    "Vorlane viewer", MB_OK | MB_ICONINFORMATION);
        return 2;
    }

    window = CreateViewerWindow(instance, &options);
    if (!window) return 1;
    ShowWindow(window, show);
    UpdateWindow(window);
    if (options.start) SendMessageA(window, WM_COMMAND, MAKEWPARAM(ID_START, BN_CLICKED), 0);

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
        if (IsDialogMessageA(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}
