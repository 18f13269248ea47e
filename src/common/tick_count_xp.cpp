// For programs built with the C++ runtime (vorlane-cli, the virtual card):
// the threads library under that runtime imports GetTickCount64, which
// Windows XP lacks, so the program would not start there. This defines the
// import's slot here, pointing at a count built from GetTickCount, so the
// linker takes it instead of kernel32's. The library only measures time-outs
// with it; the wraps of the 32-bit count are carried into the high half.
#include <windows.h>

namespace {

ULONGLONG WINAPI TickCount64() {
    static volatile LONG busy = 0;
    static DWORD last = 0, wraps = 0;
    while (InterlockedExchange(&busy, 1) != 0) Sleep(0);
    const DWORD now = GetTickCount();
    if (now < last) ++wraps;
    last = now;
    const ULONGLONG ticks = (static_cast<ULONGLONG>(wraps) << 32) | now;
    InterlockedExchange(&busy, 0);
    return ticks;
}

}  // namespace

#if defined(_WIN64)
extern "C" ULONGLONG(WINAPI *const kTickCount64Import)() __asm__("__imp_GetTickCount64");
#else
extern "C" ULONGLONG(WINAPI *const kTickCount64Import)() __asm__("__imp__GetTickCount64@0");
#endif
extern "C" ULONGLONG(WINAPI *const kTickCount64Import)() = TickCount64;
