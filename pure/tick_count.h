// A 64-bit tick count built from Windows XP's 32-bit one.
#pragma once

#include <windows.h>

// The last 32-bit count seen and how often the count has wrapped since.
struct TickCountHistory {
    DWORD last = 0;
    DWORD wraps = 0;
};

// The 64-bit count for a 32-bit reading: a reading below the last one means
// the count wrapped (every 49.7 days).
inline ULONGLONG ExtendTickCount(TickCountHistory &history, DWORD now) {
    if (now < history.last) ++history.wraps;
    history.last = now;
    return (static_cast<ULONGLONG>(history.wraps) << 32) | now;
}
