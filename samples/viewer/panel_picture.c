#include "panel_picture.h"

#include "vorlane.h"

int FrameWidth(int height) { return height / 4 * 3; }

static POINT PanelOrigin(const PanelPicture *picture) {
    POINT origin = {0, 0};
    ClientToScreen(picture->panel, &origin);
    return origin;
}

void ClosePicture(PanelPicture *picture) {
    if (!picture->open) return;
    FreeCG200();
    picture->open = 0;
    InvalidateRect(picture->panel, NULL, TRUE);
}

/* 0 only when EasyInit failed. */
static int OpenPicture(PanelPicture *picture) {
    const POINT at = PanelOrigin(picture);
    int opened;
    /* EasyInit's error box has no owner, so the window still takes messages
     * while it is up: a drag's end would open again from inside this call,
     * and the failure below would then close that card behind our back. */
    if (picture->opening) return 1;
    picture->opening = 1;
    opened = EasyInit(at.x, at.y, picture->height, picture->mode);
    picture->opening = 0;
    if (!opened) {
        /* A failed EasyInit may leave the card open: close it, or every
         * later EasyInit and HDReset fails too. */
        FreeCG200();
        picture->wanted = 0;
        return 0;
    }
    picture->open = 1;
    picture->shownAt = at;
    picture->shownHeight = picture->height;
    picture->shownMode = picture->mode;
    return 1;
}

/* Reopening at every step of a drag would leave a trail of pictures on the
 * screen and open the card dozens of times a second. */
int FollowPanel(PanelPicture *picture) {
    POINT at;
    if (!picture->wanted || picture->inSizeMove || picture->listOpen || IsIconic(picture->window)) {
        ClosePicture(picture);
        return 1;
    }
    at = PanelOrigin(picture);
    if (picture->open && at.x == picture->shownAt.x && at.y == picture->shownAt.y &&
        picture->shownHeight == picture->height && picture->shownMode == picture->mode)
        return 1;
    ClosePicture(picture);
    return OpenPicture(picture);
}

int PanelSizeMove(PanelPicture *picture, int inSizeMove) {
    picture->inSizeMove = inSizeMove;
    return FollowPanel(picture);
}

int PanelListOpen(PanelPicture *picture, int listOpen) {
    picture->listOpen = listOpen;
    return FollowPanel(picture);
}
