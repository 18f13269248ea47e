// A 64-bit tick count built from Windows XP's 32-bit one.
#pragma once

#include <cstdint>

// The last 32-bit count seen and how often the count has wrapped since.
struct TickCountHistory {
    uint32_t last = 0;
    uint32_t wraps = 0;
};

// The 64-bit count for a 32-bit reading: a reading below the last one means
// the count wrapped (every 49.7 days).
inline uint64_t ExtendTickCount(TickCountHistory &history, uint32_t now) {
    if (now < history.last) ++history.wraps;
    history.last = now;
    return (static_cast<uint64_t>(history.wraps) << 32) | now;
}
