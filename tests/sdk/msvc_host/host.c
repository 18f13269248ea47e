/* A host as Microsoft's tools build one: plain C against vorlane.h alone,
 * no C runtime, its own entry point, linked with Vorlane.lib. Prints one line
 * per check and exits with the number that failed. */
#include "vorlane.h"

typedef unsigned long DWORD;
typedef int BOOL;
typedef void *HANDLE;

/* The few kernel32 calls it needs; their import library is made from a .def. */
__declspec(dllimport) HANDLE __stdcall GetStdHandle(DWORD which);
__declspec(dllimport) BOOL __stdcall WriteFile(HANDLE file, const void *bytes, DWORD count,
                                               DWORD *written, void *overlapped);
__declspec(dllimport) HANDLE __stdcall CreateFileA(const char *name, DWORD access, DWORD share,
                                                   void *security, DWORD creation, DWORD flags,
                                                   HANDLE templateFile);
__declspec(dllimport) DWORD __stdcall GetFileSize(HANDLE file, DWORD *high);
__declspec(dllimport) BOOL __stdcall CloseHandle(HANDLE handle);
__declspec(dllimport) BOOL __stdcall DeleteFileA(const char *name);
__declspec(dllimport) void __stdcall ExitProcess(unsigned code);

#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define GENERIC_READ 0x80000000ul
#define OPEN_EXISTING 3
#define INVALID_HANDLE ((HANDLE)(long long)-1)

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
    HANDLE file = CreateFileA(name, GENERIC_READ, 1, 0, OPEN_EXISTING, 0, 0);
    DWORD size;
    if (file == INVALID_HANDLE) return 0;
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
