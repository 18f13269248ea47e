#include "process_resources.h"

#include <psapi.h>

namespace vt {

// Wine's GetProcessHandleCount does not follow the handle table, so the
// handles are counted by asking about each possible value.
static DWORD CountOpenHandles() {
    DWORD count = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    }
    return count;
}

// Nor does its GetGuiResources; its GDI table takes a slot number alone.
static DWORD CountGdiObjects() {
    if (const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return counted;
    DWORD live = 0;
    for (ULONG_PTR slot = 1; slot < 0x10000; ++slot)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0) ++live;
    return live;
}

ResourceCounts CurrentResources() {
    ResourceCounts counts{};
    counts.handles = CountOpenHandles();
    counts.gdiObjects = CountGdiObjects();
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&memory),
                         sizeof memory);
    // Wine leaves PrivateUsage at 0; the page-file figure is the same
    // committed private memory.
    counts.privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    return counts;
}

}  // namespace vt
