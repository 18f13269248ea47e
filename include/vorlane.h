/*
 * Vorlane: frame-grabber capture for PAL 768 x 576 cards.
 *
 * Five plain functions, exported by name and by ordinal from Vorlane.dll.
 * All use the __stdcall (WINAPI) calling convention, take 32-bit integers
 * and narrow (ANSI code page) file names, and return a 32-bit integer:
 * 1 for success, 0 for failure.
 *
 * Call them from one thread, one at a time. Close an open card (EasyCapture
 * or FreeCG200) before unloading the library or exiting: that is still best.
 * A host may free the library at any time, though, also while the preview
 * runs: while a card is open the library keeps its own code loaded, so its
 * preview and key hook run on. Loading it again gives back the same open
 * card, which EasyCapture or FreeCG200 then closes (returning 1); once the
 * card is closed and the host has freed it, the library leaves the process.
 */
#ifndef VORLANE_H
#define VORLANE_H

#ifdef __cplusplus
extern "C" {
#endif

#define VORLANE_CALL __stdcall

/* Each export's ordinal, for hosts that import or look up by number. The
 * table's base is 102; 103 to 105 are not assigned. */
#define VORLANE_ORDINAL_FreeCG200 102
#define VORLANE_ORDINAL_EasyInit 106
#define VORLANE_ORDINAL_EasyCapture 107
#define VORLANE_ORDINAL_Color2Gray 108
#define VORLANE_ORDINAL_HDReset 109

#ifdef VORLANE_BUILDING_DLL
#define VORLANE_API
#else
#define VORLANE_API __declspec(dllimport)
#endif

/* Ordinal 106. Opens the card and starts the live preview painted on the
 * screen at (x, y). height is clamped to 80..576 and rounded down to a
 * multiple of 16; the width is height / 4 * 3. colorMode: 0 = 8-bit grey,
 * 1 = 24-bit colour, 2 = 16-bit colour, 3 = 15-bit colour.
 * Returns 1 once the preview thread is started (it returns at once),
 * 0 on failure. Returns 0 without doing anything while a card is open.
 * After it returns 0, call FreeCG200: a failed EasyInit may leave the card
 * open (after its memory message, or when its thread cannot start), and
 * FreeCG200 returns 0 and does nothing when no card is open. */
VORLANE_API int VORLANE_CALL EasyInit(int x, int y, int height, int colorMode);

/* How long EasyCapture waits, at most, for the preview's first frame. */
#define VORLANE_FIRST_FRAME_WAIT_MS 500

/* Ordinal 107. Stops the preview, saves the frame last painted as an
 * uncompressed 24-bit BMP file and closes the card. Returns 1 when the file
 * was written and the card closed; 0 otherwise, keeping the frame so that a
 * retry with another path can still save it.
 * Called before the preview has painted its first frame (right after
 * EasyInit), it first waits for that frame, at most
 * VORLANE_FIRST_FRAME_WAIT_MS (a PAL frame takes 40 ms). When none comes in
 * that time, or the preview ended early because the card refused its
 * picture size, colour mode or capture memory, it saves the black frame the
 * buffer held from the start and still returns 1. A host can tell: no
 * picture appeared at (x, y), and every pixel byte of the file is 0. */
VORLANE_API int VORLANE_CALL EasyCapture(const char *path);

/* Ordinal 102. Stops the preview and closes the card without saving.
 * Returns 1 when it closed the card, 0 when no card was open or the card
 * refused to close. */
VORLANE_API int VORLANE_CALL FreeCG200(void);

/* Ordinal 109. Opens the card, sets its three A/D adjustments to 128 and
 * closes it again. Returns 1 on success, 0 on failure; 0 at once while a
 * card is open. */
VORLANE_API int VORLANE_CALL HDReset(void);

/* Ordinal 108. Converts a 24-bit BMP file into an 8-bit BMP file with a grey
 * palette. Returns 1 on success, 0 on failure. Never overwrites its source. */
VORLANE_API int VORLANE_CALL Color2Gray(const char *source, const char *destination);

#ifdef __cplusplus
}
#endif

#endif /* VORLANE_H */
