/* A host that loads Vorlane.dll at run time and frees it when it likes: the
 * library must stay while a card is open, even once its preview has ended,
 * and while the host's own reference holds it; and leave once nothing does.
 * Prints one line per failed check and exits with their count. */
#include <windows.h>

#include <stdio.h>

#include "vorlane.h"  /* the calling convention only: nothing here is linked */

typedef int(VORLANE_CALL *InitCall)(int x, int y, int height, int colorMode);
typedef int(VORLANE_CALL *SaveCall)(const char *path);
typedef int(VORLANE_CALL *PlainCall)(void);

static const char kLibrary[] = "Vorlane.dll";
static int failures;

static void Check(const char *row, const char *what, int good) {
    if (!good) {
        printf("FAIL %s: %s\n", row, what);
        ++failures;
    }
}

/* Polled: a thread may still be on its way out. */
static int LeavesTheProcess(void) {
    const DWORD start = GetTickCount();
    while (GetModuleHandleA(kLibrary)) {
        if (GetTickCount() - start > 30000) return 0;
        Sleep(10);
    }
    return 1;
}

/* What the host does before its FreeLibrary, and how the card is closed. */
enum Before { kNothing, kFailedSave, kClose };

int main(void) {
    static const struct {
        const char *name;
        enum Before before;
    } rows[] = {
        {"freed after the close", kClose},
        {"freed after a failed save", kFailedSave},
        {"freed while the preview runs", kNothing},
    };
    size_t i;
    for (i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        const char *row = rows[i].name;
        HMODULE dll = LoadLibraryA(kLibrary);
        InitCall easyInit;
        SaveCall easyCapture;
        PlainCall freeCG200, hdReset;
        Check(row, "loaded", dll != NULL);
        if (!dll) break;
        easyInit = (InitCall)(void (*)(void))GetProcAddress(dll, "EasyInit");
        easyCapture = (SaveCall)(void (*)(void))GetProcAddress(dll, "EasyCapture");
        freeCG200 = (PlainCall)(void (*)(void))GetProcAddress(dll, "FreeCG200");
        hdReset = (PlainCall)(void (*)(void))GetProcAddress(dll, "HDReset");
        Check(row, "EasyInit", easyInit(0, 0, 96, 1) == 1);
        if (rows[i].before == kFailedSave)  /* ends the preview, keeps the card */
            Check(row, "EasyCapture to no folder", easyCapture("no-such-folder\\x.bmp") == 0);
        if (rows[i].before == kClose) Check(row, "FreeCG200", freeCG200() == 1);
        /* No thread of the library runs here but a preview not stopped. */
        Check(row, "loaded before the host frees it", GetModuleHandleA(kLibrary) != NULL);
        if (!GetModuleHandleA(kLibrary)) break; /* its code is gone */
        if (rows[i].before == kClose) Check(row, "HDReset on the host's reference", hdReset() == 1);
        FreeLibrary(dll);
        if (rows[i].before != kClose) {
            /* Closing drops the card's reference: the host must hold its
             * own across the call, so it loads the library again. */
            Check(row, "stays while the card is open", GetModuleHandleA(kLibrary) != NULL);
            if (!GetModuleHandleA(kLibrary)) break;
            Check(row, "loaded again where it was", LoadLibraryA(kLibrary) == dll);
            if (GetModuleHandleA(kLibrary) != dll) break;
            if (rows[i].before == kNothing)
                Check(row, "FreeCG200 once loaded again", freeCG200() == 1);
            else
                Check(row, "EasyCapture once loaded again", easyCapture("loader.bmp") == 1);
            FreeLibrary(dll);
        }
        Check(row, "leaves once nothing holds it", LeavesTheProcess());
    }
    printf("%s: %d failed\n", failures ? "FAILED" : "passed", failures);
    return failures;
}
