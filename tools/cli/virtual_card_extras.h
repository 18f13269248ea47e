// The virtual card's own calls, looked up at run time in the CG400D32.dll
// that Vorlane.dll loaded: present only when that is the virtual card, so
// the same program runs on the card maker's driver.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "station.h"
#include "vcard_control.h"

namespace cli {

template <typename Function>
Function VirtualCardFunction(const char *name) {
    const HMODULE card = GetModuleHandleA(kDriverName);
    return card ? reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(card, name)))
                : nullptr;
}

using GetStatsFunction = void(__stdcall *)(VcStats *);
using SetScenePictureFunction = int32_t(__stdcall *)(const char *);
using PlayFolderFunction = int32_t(__stdcall *)(const char *, char *, int32_t);
using PlayFileFunction = int32_t(__stdcall *)(const char *, char *, int32_t);

// The virtual card's own figures; all zero on another driver.
inline VcStats CardStats(GetStatsFunction getStats) {
    VcStats stats{};
    if (getStats) getStats(&stats);
    return stats;
}

inline bool SameAdValues(const VcStats &a, const VcStats &b) {
    return std::equal(a.adValues, a.adValues + 3, b.adValues);
}

}  // namespace cli
