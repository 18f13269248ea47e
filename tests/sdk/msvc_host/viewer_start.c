/* For the viewer built with Microsoft's tools but without their C runtime:
 * what that runtime's start-up does before WinMain, as far as the viewer
 * needs it (the command line after the program's name), and memset, which
 * the compiler calls for ZeroMemory. */
#include <windows.h>

void *__cdecl memset(void *target, int value, size_t count) {
    volatile unsigned char *byte = (volatile unsigned char *)target;
    while (count--) *byte++ = (unsigned char)value;
    return target;
}

void ViewerStart(void) {
    const char *line = GetCommandLineA();
    int quoted = 0;
    for (; *line && (quoted || (*line != ' ' && *line != '\t')); ++line)
        if (*line == '"') quoted = !quoted;
    while (*line == ' ' || *line == '\t') ++line;
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, (LPSTR)line, SW_SHOWDEFAULT));
}
