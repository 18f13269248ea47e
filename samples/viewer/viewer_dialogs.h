/* "Save as..." and "Grey...": the file dialogs and the saving behind them.
 * They change nothing on the window: each returns what happened, and the
 * window says so in its status line and puts the picture back. */
#ifndef VIEWER_DIALOGS_H
#define VIEWER_DIALOGS_H

#include <windows.h>

#define GREY_SUFFIX "-grey.bmp"

typedef enum SaveOutcome {
    SAVE_DONE,              /* the frame is at `path` */
    SAVE_NOT_WRITTEN,       /* `path` could not be written: SaveElsewhere asks for another */
    SAVE_CANCELLED,         /* no path chosen in the dialog */
    SAVE_GAVE_UP,           /* no other path chosen after `path` could not be written */
    SAVE_PATH_TOO_LONG,     /* the full path of --save-to does not fit in MAX_PATH */
    SAVE_NO_TEMPORARY_FILE  /* nowhere to hold the frame while the dialog is open */
} SaveOutcome;

typedef struct FrameSave {
    SaveOutcome outcome;
    char path[MAX_PATH]; /* where the frame went, or was to go */
    int cardClosed;      /* EasyCapture saved the frame, which also closed the card */
    HWND owner;          /* the dialogs' owner */
    char held[MAX_PATH]; /* the temporary file the frame waits in for the dialog's path, or "" */
} FrameSave;

/* Saves the frame on the screen through EasyCapture: to --save-to's path
 * when given (saveTo, else ""), or else to a temporary file first and then
 * to the path chosen in the dialog (the live picture would be painted over
 * the dialog). */
void BeginFrameSave(FrameSave *save, HWND owner, const char *saveTo);

/* After SAVE_NOT_WRITTEN: asks for another path and tries that. */
void SaveElsewhere(FrameSave *save);

typedef enum GreyOutcome {
    GREY_DONE,          /* `grey` is the grey copy of `source` */
    GREY_FAILED,        /* Color2Gray could not make it */
    GREY_NAME_TOO_LONG, /* `source` with GREY_SUFFIX does not fit in MAX_PATH */
    GREY_CANCELLED      /* a dialog was cancelled */
} GreyOutcome;

typedef struct GreyCopy {
    GreyOutcome outcome;
    char source[MAX_PATH], grey[MAX_PATH];
} GreyCopy;

/* A grey copy of lastSaved (when "", the dialog asks for the source), as
 * FILE-grey.bmp beside it; without --save-to (saveToGiven 0) the dialog asks
 * where. */
void MakeGreyCopy(GreyCopy *copy, HWND owner, const char *lastSaved, int saveToGiven);

#endif /* VIEWER_DIALOGS_H */
