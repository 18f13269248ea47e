/* "Save as..." and "Grey...": the file dialogs and the saving behind them,
 * each returning what happened (viewer_dialogs.h). */
#include <windows.h>
#include <commdlg.h>

#include "vorlane.h"
#include "viewer_dialogs.h"

/* The standard dialog; `path` holds the suggestion and gets the choice. */
static int AskPath(HWND owner, char *path, const char *title, int forSaving) {
    OPENFILENAMEA dialog;
    ZeroMemory(&dialog, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
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

/* The outcome; the temporary file goes once the frame has left it for good. */
static void Finish(FrameSave *save, SaveOutcome outcome) {
    save->outcome = outcome;
    if (outcome != SAVE_NOT_WRITTEN && save->held[0]) DeleteFileA(save->held);
}

/* The frame to save->path: captured there, or moved there from the
 * temporary file it was captured to. A failed EasyCapture keeps the frame
 * and the card open, so another path may do. */
static void WriteFrame(FrameSave *save) {
    if (!save->cardClosed) {
        if (!EasyCapture(save->path)) {
            Finish(save, SAVE_NOT_WRITTEN);
            return;
        }
        save->cardClosed = 1;
        if (lstrcmpiA(save->path, save->held) != 0) {
            Finish(save, SAVE_DONE);
            return;
        }
        /* In the temporary file: the card is closed, the dialog may ask. */
        lstrcpynA(save->path, "frame.bmp", MAX_PATH);
        if (!AskPath(save->owner, save->path, "Save the frame as", 1)) {
            Finish(save, SAVE_CANCELLED);
            return;
        }
    }
    Finish(save, MoveFileExA(save->held, save->path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)
                     ? SAVE_DONE
                     : SAVE_NOT_WRITTEN);
}

void BeginFrameSave(FrameSave *save, HWND owner, const char *saveTo) {
    char folder[MAX_PATH];
    DWORD folderLength;
    ZeroMemory(save, sizeof *save);
    save->owner = owner;
    if (saveTo[0]) {
        if (!FullPath(saveTo, save->path)) {
            save->outcome = SAVE_PATH_TOO_LONG;
            return;
        }
    } else if ((folderLength = GetTempPathA(MAX_PATH, folder)) > 0 && folderLength < MAX_PATH &&
               GetTempFileNameA(folder, "vvw", 0, save->held)) {
        lstrcpynA(save->path, save->held, MAX_PATH);
    } else {
        save->outcome = SAVE_NO_TEMPORARY_FILE;
        return;
    }
    WriteFrame(save);
}

void SaveElsewhere(FrameSave *save) {
    if (AskPath(save->owner, save->path, "Could not save there: save the frame as", 1))
        WriteFrame(save);
    else
        Finish(save, SAVE_GAVE_UP);
}

/* FILE.bmp gives FILE-grey.bmp; 0 when that would not fit in MAX_PATH. */
static int GreyName(const char *source, char *grey) {
    int length = lstrlenA(source);
    if (length >= 4 && lstrcmpiA(source + length - 4, ".bmp") == 0) length -= 4;
    if (length + (int)sizeof GREY_SUFFIX > MAX_PATH) return 0;
    lstrcpynA(grey, source, length + 1);
    lstrcatA(grey, GREY_SUFFIX);
    return 1;
}

void MakeGreyCopy(GreyCopy *copy, HWND owner, const char *lastSaved, int saveToGiven) {
    ZeroMemory(copy, sizeof *copy);
    lstrcpynA(copy->source, lastSaved, MAX_PATH);
    if (!copy->source[0] && !AskPath(owner, copy->source, "Grey copy of", 0))
        copy->outcome = GREY_CANCELLED;
    else if (!GreyName(copy->source, copy->grey))
        copy->outcome = GREY_NAME_TOO_LONG;
    else if (!saveToGiven && !AskPath(owner, copy->grey, "Save the grey copy as", 1))
        copy->outcome = GREY_CANCELLED;
    else
        copy->outcome = Color2Gray(copy->source, copy->grey) ? GREY_DONE : GREY_FAILED;
}
