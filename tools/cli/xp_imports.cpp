// The threads library that comes with the C++ runtime asks KERNEL32 for
// GetTickCount64, which Windows XP lacks, and XP's loader would refuse this
// program before main. Its import slot is filled here instead, with a
// monotonic millisecond count that XP can give.
#include <windows.h>

namespace {

ULONGLONG WINAPI MillisecondsSinceStart() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    const ULONGLONG ticks = static_cast<ULONGLONG>(counter.QuadPart);
    const ULONGLONG perSecond = static_cast<ULONGLONG>(frequency.QuadPart);
    return ticks / perSecond * 1000 + ticks % perSecond * 1000 / perSecond;
}

}  // namespace

#ifdef _WIN64
#define TICK_COUNT_64_SLOT "__imp_GetTickCount64"
#else
#define TICK_COUNT_64_SLOT "__imp__GetTickCount64@0"
#endif
extern "C" ULONGLONG(WINAPI *const tickCount64Slot)() __asm__(TICK_COUNT_64_SLOT);
extern "C" ULONGLONG(WINAPI *const tickCount64Slot)() = MillisecondsSinceStart;
