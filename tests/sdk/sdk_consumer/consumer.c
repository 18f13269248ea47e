/* A C host built against the installed SDK: it links Vorlane.dll through the
 * import library and the header alone, and runs on the virtual card copied
 * beside it. Prints one line per failed check and exits with their count. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

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

/* A 12 x 1 picture, 24-bit, pixels in B, G, R order. */
static int WriteColourBmp(const char *path, const unsigned char pixels[12][3]) {
    unsigned char file[54 + 36];
    unsigned int size = sizeof file;
    memset(file, 0, sizeof file);
    file[0] = 'B';
    file[1] = 'M';
    memcpy(file + 2, &size, 4);
    file[10] = 54;
    file[14] = 40;
    file[18] = 12; /* width */
    file[22] = 1;  /* height */
    file[26] = 1;  /* planes */
    file[28] = 24; /* bits a pixel */
    memcpy(file + 54, pixels, 36);
    HANDLE out = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written = 0;
    if (out == INVALID_HANDLE_VALUE) return 0;
    WriteFile(out, file, sizeof file, &written, NULL);
    CloseHandle(out);
    return written == sizeof file;
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

static void CheckGrey(void) {
    static const unsigned char pixels[12][3] = {
        {255, 0, 0}, {0, 0, 255}, {255, 255, 255}, {0, 255, 0},
    };
    static const unsigned char expected[4] = {76, 25, 255, 153};
    unsigned char grey[1078 + 12];
    DWORD got = 0;
    HANDLE in;
    int i;
    Check("grey: source written", WriteColourBmp("colour.bmp", pixels), "could not write colour.bmp");
    Check("grey: Color2Gray", Color2Gray("colour.bmp", "grey.bmp") == 1, "returned 0");
    Check("grey: file size", FileSize("grey.bmp") == 1078 + 12, "not 1078 + 12 bytes");
    in = CreateFileA("grey.bmp", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (in == INVALID_HANDLE_VALUE) return;
    ReadFile(in, grey, sizeof grey, &got, NULL);
    CloseHandle(in);
    for (i = 0; i < 4 && got == sizeof grey; ++i) {
        char row[32], detail[64];
        sprintf(row, "grey: pixel %d", i);
        sprintf(detail, "grey %u, expected %u", grey[1078 + i], expected[i]);
        Check(row, grey[1078 + i] == expected[i], detail);
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
    CheckGrey();
    printf("%s: %d failed\n", failures ? "FAILED" : "passed", failures);
    return failures;
}
