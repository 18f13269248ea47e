// Saving the frame buffer as an uncompressed 24-bit BMP file.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace stillbmp {

// Widens one frame as the card delivered it in `colorMode` to 24-bit
// blue, green, red: grey bytes become equal channels, 16-bit words
// 0RRRRRGGGGGBBBBB have each 5-bit channel stretched to 8 bits.
// Mode 1 frames are already 24-bit and are not passed here.
void ExpandToBgr24(const BYTE *source, BYTE *destination, size_t pixelCount, int32_t colorMode);

constexpr BYTE Widen5To8(unsigned c5) { return static_cast<BYTE>((c5 << 3) | (c5 >> 2)); }

}  // namespace stillbmp

// Writes one frame of `width` x `height` pixels, as the card delivered it in
// `colorMode`, to `path` as a 24-bit picture. 1 when the whole file was
// written and closed, 0 otherwise; no frame (nullptr) writes nothing.
int WriteStillBmp(const char *path, const BYTE *frame, int32_t width, int32_t height,
                  int32_t colorMode);
