/* A C host built against the installed SDK: it links Vorlane.dll through the
 * import library and the header alone, and runs on the virtual card copied
 * beside it. Prints one line per failed check and exits with their count. */
#include <windows.h>

#include <stdio.h>

#include "vorlane.h"

static int failures;

static void Check(const char *row, int good, const char *detail) {
    if (!good) {
        printf("FAIL %s: %s\n", row, detail);
        ++failures;
    }
}

static long FileSize(const char *path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return -1;
    return (long)data.nFileSizeLow;
}

static void CheckExportsByOrdinal(void) {
    typedef void (*AnyFunction)(void);
    const struct {
        WORD ordinal;
        const char *name;
        AnyFunction linked;
    } rows[] = {
        {102, "FreeCG200", (AnyFunction)FreeCG200},  {106, "EasyInit", (AnyFunction)EasyInit},
        {107, "EasyCapture", (AnyFunction)EasyCapture}, {108, "Color2Gray", (AnyFunction)Color2Gray},
        {109, "HDReset", (AnyFunction)HDReset},
    };
    HMODULE dll = GetModuleHandleA("Vorlane.dll");
    char row[64];
    size_t i;
    Check("Vorlane.dll loaded", dll != NULL, "not in the process");
    if (!dll) return;
    for (i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        AnyFunction byOrdinal = (AnyFunction)GetProcAddress(dll, MAKEINTRESOURCEA(rows[i].ordinal));
        AnyFunction byName = (AnyFunction)GetProcAddress(dll, rows[i].name);
        sprintf(row, "export %s", rows[i].name);
        Check(row, byOrdinal == rows[i].linked, "its ordinal finds another function");
        Check(row, byName == rows[i].linked, "its plain name finds another function");
    }
}

int main(void) {
    CheckExportsByOrdinal();
    Check("FreeCG200 with no card open", FreeCG200() == 0, "returned 1");
    Check("EasyInit colour mode 4", EasyInit(0, 0, 96, 4) == 0, "accepted");
    Check("HDReset", HDReset() == 1, "returned 0");
    /* A whole cycle; saved at once, the frame may still be black. */
    Check("EasyInit 72 x 96", EasyInit(0, 0, 96, 1) == 1, "returned 0");
    Check("EasyCapture", EasyCapture("frame.bmp") == 1, "returned 0");
    Check("EasyCapture file size", FileSize("frame.bmp") == 54 + 72 * 96 * 3, "not 54 + 72 x 96 x 3 bytes");
    Check("Color2Gray", Color2Gray("frame.bmp", "grey.bmp") == 1, "returned 0");
    Check("Color2Gray file size", FileSize("grey.bmp") == 1078 + 72 * 96, "not 1078 + 72 x 96 bytes");
    printf("%s: %d failed\n", failures ? "FAILED" : "passed", failures);
    return failures;
}
