/* Keeping the card's live picture on a panel of a window: the part of the
 * viewer to copy into a host of your own.
 *
 * Vorlane paints at fixed screen coordinates, over whatever is there: it
 * does not know about our window. So whenever the panel may have moved (a
 * drag, a program's SetWindowPos, minimise and restore, a new height or
 * mode), the picture is closed and opened again at the panel's new place.
 * During a drag, and while a drop-down list lies over the panel, it stays
 * closed. Call these on the thread that runs the window's message loop: the
 * A/D chords reach Vorlane there. */
#ifndef PANEL_PICTURE_H
#define PANEL_PICTURE_H

#include <windows.h>

typedef struct PanelPicture {
    HWND window, panel; /* the top-level window and its picture panel */
    int height, mode;   /* what the next opening asks EasyInit for */
    int wanted;         /* the operator started the picture and has not stopped it */
    int open;           /* EasyInit succeeded and nothing has closed the card since */
    int opening;        /* inside EasyInit: its error box still takes our messages */
    int inSizeMove;     /* the operator is dragging or sizing the window */
    int listOpen;       /* a drop-down list is open over the panel */
    POINT shownAt;      /* where the open card paints, with the height and mode below */
    int shownHeight, shownMode;
} PanelPicture;

/* The frame Vorlane paints for a height: upright, 3:4. */
int FrameWidth(int height);

/* Closes the card if the picture is open, and clears the panel. */
void ClosePicture(PanelPicture *picture);

/* Opens, moves or closes the picture so that it lies on the panel when
 * wanted and nothing is in its way. 0 when the card did not open: the
 * picture is then no longer wanted. */
int FollowPanel(PanelPicture *picture);

/* WM_ENTERSIZEMOVE (1) and WM_EXITSIZEMOVE (0). */
int PanelSizeMove(PanelPicture *picture, int inSizeMove);

/* CBN_DROPDOWN (1) and CBN_CLOSEUP (0) of a list that drops over the panel. */
int PanelListOpen(PanelPicture *picture, int listOpen);

#endif /* PANEL_PICTURE_H */
