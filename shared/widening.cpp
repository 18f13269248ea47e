#include "widening.h"

#include <cstring>

#include "color_modes.h"

namespace widening {

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

// Pixel i's source bytes lie at or before its place in the widened frame, so
// widening from the last pixel back never overwrites a source byte still to
// be read. Each pixel but the first is stored as the 4 bytes ending with its
// own, the first of them overwritten by the pixel before it; the first pixel
// as 3, so nothing before the frame is touched.
inline void Store3(uint8_t *destination, uint32_t bgr) {
    const uint8_t bytes[3] = {static_cast<uint8_t>(bgr), static_cast<uint8_t>(bgr >> 8),
                              static_cast<uint8_t>(bgr >> 16)};
    std::memcpy(destination, bytes, 3);
}

inline void StoreAfterByte(uint8_t *destination, uint32_t bgr) {
    const uint32_t shifted = bgr << 8;
    std::memcpy(destination - 1, &shifted, 4);
}

inline uint32_t WidenedWord(const uint8_t *word) { return kTables.low[word[0]] | kTables.high[word[1]]; }

}  // namespace

void WidenInPlace(uint8_t *frame, size_t pixelCount, int32_t colorMode) {
    if (pixelCount == 0) return;
    if (colorMode == colormode::kGrey8) {
        for (size_t i = pixelCount - 1; i > 0; --i) StoreAfterByte(frame + 3 * i, frame[i] * 0x010101u);
        Store3(frame, frame[0] * 0x010101u);
        return;
    }
    for (size_t i = pixelCount - 1; i > 0; --i) StoreAfterByte(frame + 3 * i, WidenedWord(frame + 2 * i));
    Store3(frame, WidenedWord(frame));
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

}  // namespace widening
