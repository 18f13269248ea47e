// Widening a frame as the card delivered it to 24-bit blue, green, red, the
// layout of the still files: grey bytes become equal channels, 16-bit words
// 0RRRRRGGGGGBBBBB have each 5-bit channel stretched to 8 bits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace widening {

constexpr uint8_t Widen5To8(unsigned c5) { return static_cast<uint8_t>((c5 << 3) | (c5 >> 2)); }

// Widens the first `pixelCount` pixels of a frame in `colorMode` (grey, or one
// of the two 16-bit modes; mode 1 frames are already 24-bit and are not
// passed here) where they lie: `frame` holds 3 * pixelCount bytes, the
// widened frame's room.
void WidenInPlace(uint8_t *frame, size_t pixelCount, int32_t colorMode);
// The same from one buffer into another, one pixel and one channel at a
// time: the reference the fast loop is held to.
void ExpandToBgr24Scalar(const uint8_t *source, uint8_t *destination, size_t pixelCount,
                         int32_t colorMode);

}  // namespace widening
