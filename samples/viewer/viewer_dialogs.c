/* "Save as..." and "Grey...": the file dialogs and the saving behind them.
 * The live picture would be painted over a dialog, so it stops while one is
 * open. */
#include <windows.h>
#include <commdlg.h>

#include "vorlane.h"
#include "viewer.h"

/* The standard dialog; `path` holds the suggestion and gets the choice. */
static int AskPath(char *path, const char *title, int forSaving) {
    OPENFILENAMEA dialog;
    ZeroMemory(&dialog, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = viewer.picture.window;
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
            ClosePicture(&viewer.picture);
            SetStatus("not saved: %s could not be written", path);
            return 0;
        }
    }
    viewer.picture.open = 0;
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
void SaveFrame(void) {
    char path[MAX_PATH], folder[MAX_PATH], held[MAX_PATH] = "";
    DWORD folderLength;
    int saved;
    if (!viewer.picture.open) {
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
    InvalidateRect(viewer.picture.panel, NULL, TRUE);
    FollowPicture();
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

void MakeGreyCopy(void) {
    char source[MAX_PATH], grey[MAX_PATH];
    const int asks = !viewer.saveTo[0] || !viewer.lastSaved[0];
    if (asks) ClosePicture(&viewer.picture);
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
    FollowPicture();
}
