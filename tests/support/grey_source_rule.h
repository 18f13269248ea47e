// Which 24-bit sources Color2Gray converts: exactly those whose bfSize
// claims at least the headers and no more than the file holds. One table of
// rows, each catching a fault of its own, that the pure plan's test and the
// host's test both run; the fuzz checks judge random sources by the rule.
#pragma once

#include <cstdint>

namespace vt {

constexpr bool GreySourceConverts(uint64_t bfSize, uint64_t fileBytes) {
    return bfSize >= 54 && bfSize <= fileBytes;
}

struct GreySourceRow {
    const char *name;
    uint32_t bfSize;
    uint64_t fileBytes;
    bool converts;
};

inline constexpr GreySourceRow kGreySourceRows[] = {
    {"exact", 1000, 1000, true},
    {"longer than claimed", 1000, 5000, true},
    {"one byte short", 1000, 999, false},
    {"headers only", 54, 54, true},
    {"bfSize 53 wraps", 53, 1000, false},
    {"bfSize 0 wraps", 0, 1000, false},
    {"bfSize 0 wraps, in a 5 GB file", 0, uint64_t{5} << 30, false},
    {"largest bfSize, large enough file", 0xFFFFFFFFu, 0xFFFFFFFFu, true},
    {"largest bfSize, small file", 0xFFFFFFFFu, 100, false},
};

}  // namespace vt
