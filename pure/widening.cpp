#include "pure/widening.h"

#include <cstring>

#include "pure/color_modes.h"

namespace stillbmp {

namespace {

// A 16-bit word's low byte holds blue and green's low 3 bits, its high byte
// green's top 2 bits and red. Widen5To8(g) = (g << 3) | (g >> 2) takes
// disjoint bits from each part of green, so the widened pixel is the OR of
// one entry from each table: blue, green, red in bytes 0, 1, 2.
struct ByteTables {
    uint32_t low[256];
    uint32_t high[256];
};

constexpr ByteTables MakeTables() {
    ByteTables t{};
    for (unsigned b = 0; b < 256; ++b) {
        const unsigned greenLow = b >> 5, greenHigh = b & 3;
        const unsigned greenFromLow = (greenLow << 3) | (greenLow >> 2);
        const unsigned greenFromHigh = (greenHigh << 6) | (greenHigh << 1);
        t.low[b] = Widen5To8(b & 0x1F) | greenFromLow << 8;
        t.high[b] = greenFromHigh << 8 | static_cast<unsigned>(Widen5To8((b >> 2) & 0x1F)) << 16;
    }
    return t;
}

constexpr ByteTables kTables = MakeTables();

// Every pixel but the last is stored as 4 bytes, the fourth overwritten by
// the next pixel; the last one as 3, so nothing past the end is touched.
inline void Store3(uint8_t *destination, uint32_t bgr) {
    const uint8_t bytes[3] = {static_cast<uint8_t>(bgr), static_cast<uint8_t>(bgr >> 8),
                              static_cast<uint8_t>(bgr >> 16)};
    std::memcpy(destination, bytes, 3);
}

}  // namespace

void ExpandToBgr24(const uint8_t *source, uint8_t *destination, size_t pixelCount, int32_t colorMode) {
    if (pixelCount == 0) return;
    const size_t last = pixelCount - 1;
    if (colorMode == colormode::kGrey8) {
        for (size_t i = 0; i < last; ++i, destination += 3) {
            const uint32_t bgr = source[i] * 0x010101u;
            std::memcpy(destination, &bgr, 4);
        }
        Store3(destination, source[last] * 0x010101u);
        return;
    }
    for (size_t i = 0; i < last; ++i, source += 2, destination += 3) {
        const uint32_t bgr = kTables.low[source[0]] | kTables.high[source[1]];
        std::memcpy(destination, &bgr, 4);
    }
    Store3(destination, kTables.low[source[0]] | kTables.high[source[1]]);
}

void ExpandToBgr24Scalar(const uint8_t *source, uint8_t *destination, size_t pixelCount,
                         int32_t colorMode) {
    if (colorMode == colormode::kGrey8) {
        for (size_t i = 0; i < pixelCount; ++i, destination += 3)
            destination[0] = destination[1] = destination[2] = source[i];
        return;
    }
    for (size_t i = 0; i < pixelCount; ++i, source += 2, destination += 3) {
        const unsigned word = static_cast<unsigned>(source[0]) | (static_cast<unsigned>(source[1]) << 8);
        destination[0] = Widen5To8(word & 0x1F);
        destination[1] = Widen5To8((word >> 5) & 0x1F);
        destination[2] = Widen5To8((word >> 10) & 0x1F);
    }
}

}  // namespace stillbmp
