/* A host as Microsoft's tools build one: plain C, vorlane.h first (it stands
 * on its own), no C runtime, its own entry point, linked with Vorlane.lib.
 * Prints one line per check and exits with the number that failed. */
#include "vorlane.h"

#include <windows.h>

static unsigned failures;

static void Print(const char *text) {
    DWORD length = 0, written = 0;
    while (text[length]) ++length;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, length, &written, 0);
}

static void Check(const char *name, int passed) {
    Print(passed ? "ok   " : "FAIL ");
    Print(name);
    Print("\r\n");
    if (!passed) ++failures;
}

static DWORD FileSize(const char *name) {
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    DWORD size;
    if (file == INVALID_HANDLE_VALUE) return 0;
    size = GetFileSize(file, 0);
    CloseHandle(file);
    return size;
}

void HostMain(void) {
    /* 480 lines give a 360 x 480 frame. */
    const DWORD pixels = 360ul * 480ul;
    DeleteFileA("msvc-host.bmp");
    DeleteFileA("msvc-host-grey.bmp");

    Check("HDReset", HDReset() == 1);
    Check("EasyInit", EasyInit(10, 10, 480, 1) == 1);
    Check("EasyCapture", EasyCapture("msvc-host.bmp") == 1);
    Check("the still file's size", FileSize("msvc-host.bmp") == 54 + pixels * 3);
    Check("Color2Gray", Color2Gray("msvc-host.bmp", "msvc-host-grey.bmp") == 1);
    Check("the grey file's size", FileSize("msvc-host-grey.bmp") == 1078 + pixels);
    Check("EasyInit again", EasyInit(10, 10, 480, 1) == 1);
    Check("FreeCG200", FreeCG200() == 1);
    Check("FreeCG200 with nothing open", FreeCG200() == 0);
    Print(failures ? "failed\r\n" : "passed\r\n");
    ExitProcess(failures);
}
