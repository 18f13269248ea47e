/* What the viewer's own files share: its options, its window's state, and
 * the actions behind its buttons. */
#ifndef VIEWER_H
#define VIEWER_H

#include <windows.h>

#include "panel_picture.h"

#define LOWEST_HEIGHT 80
#define HIGHEST_HEIGHT 576
#define HEIGHT_STEP 16
#define MODE_COUNT 4

/* What the command line asks for. */
typedef struct ViewerOptions {
    int height, mode;
    int start;             /* --start: the live picture at once */
    char saveTo[MAX_PATH]; /* --save-to: the path "Save as..." uses without asking */
} ViewerOptions;

/* The options after the program's name; 0 when the line cannot be taken:
 * an unknown word, a value out of range or a path that does not fit. */
int ReadCommandLine(const char *line, ViewerOptions *options);

extern struct Viewer {
    HINSTANCE instance;
    HWND status, heightBox, modeBox;
    PanelPicture picture;
    int virtualCard;          /* the CG400D32.dll loaded is the virtual card */
    char saveTo[MAX_PATH];    /* from --save-to */
    char lastSaved[MAX_PATH]; /* the last frame saved, for "Grey..." */
} viewer;

/* The viewer's window; 0 when it could not be made. */
HWND CreateViewerWindow(const ViewerOptions *options);

/* The status line; " - virtual card" is added on the virtual card. */
void SetStatus(const char *format, ...);

/* FollowPanel, and on a failed opening the buttons and status say so. */
void FollowPicture(void);

/* "Save as..." and "Grey...", with their file dialogs. */
void SaveFrame(void);
void MakeGreyCopy(void);

#endif /* VIEWER_H */
