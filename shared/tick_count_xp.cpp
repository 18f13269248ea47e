// For programs built with the C++ runtime (vorlane-cli, the virtual card):
// the threads library under that runtime imports GetTickCount64, which
// Windows XP lacks, so the program would not start there. This defines the
// import's slot here, pointing at a count built from GetTickCount, so the
// linker takes it instead of kernel32's. The library only measures time-outs
// with it.
#include <windows.h>

#include "tick_count.h"

namespace {

ULONGLONG WINAPI TickCount64() {
    static volatile LONG busy = 0;
    static TickCountHistory history;
    // Sleep(1), not Sleep(0): on XP Sleep(0) gives way only to threads of the
    // same priority, so a waiter of higher priority would spin on one core
    // while a lower-priority holder never ran to let go.
    while (InterlockedExchange(&busy, 1) != 0) Sleep(1);
    const ULONGLONG ticks = ExtendTickCount(history, GetTickCount());
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
