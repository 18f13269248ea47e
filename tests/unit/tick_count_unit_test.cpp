// The 64-bit tick count the C++ programs use on Windows XP: the wraps of the
// 32-bit count are carried into the high half.
#include <gtest/gtest.h>

#include "tick_count.h"

TEST(TickCount, WrapsOfTheShortCountAreCarried) {
    struct Row {
        const char *name;
        uint32_t reading;
        uint64_t expected;
    } rows[] = {
        {"first reading", 1000, 1000},
        {"later, no wrap", 0xFFFFFFF0u, 0xFFFFFFF0ull},
        {"the same again", 0xFFFFFFF0u, 0xFFFFFFF0ull},
        {"wrapped", 5, 0x100000005ull},
        {"after the wrap", 0x80000000u, 0x180000000ull},
        {"wrapped twice", 0, 0x200000000ull},
    };
    TickCountHistory history;
    for (const Row &row : rows) EXPECT_EQ(ExtendTickCount(history, row.reading), row.expected) << row.name;
}
