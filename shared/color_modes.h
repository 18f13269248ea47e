// The four colour modes a host asks EasyInit for, and how wide their pixels
// are. Shared by the capture side and the still image writer.
#pragma once

#include <cstdint>

namespace colormode {

constexpr int32_t kGrey8 = 0;
constexpr int32_t kRgb24 = 1;
constexpr int32_t kRgb16 = 2;
constexpr int32_t kRgb15 = 3;

constexpr bool IsValid(int32_t colorMode) { return colorMode >= kGrey8 && colorMode <= kRgb15; }

// Bits of colour per pixel that the card delivers in each mode.
constexpr int32_t BitDepth(int32_t colorMode) {
    switch (colorMode) {
    case kGrey8: return 8;
    case kRgb24: return 24;
    case kRgb16: return 16;
    default: return 15;
    }
}

// Bits per pixel in memory: 15-bit colour occupies 16-bit words.
constexpr int32_t BitCount(int32_t colorMode) { return (BitDepth(colorMode) + 1) / 8 * 8; }

}  // namespace colormode
