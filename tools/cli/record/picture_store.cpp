#include "picture_store.h"

#include <cstring>

#include "bmp_headers.h"
#include "color_modes.h"
#include "widening.h"

namespace recording {

size_t FrameBytes(const FrameFormat &format) {
    return static_cast<size_t>(bmp::DibBytes(format.width, format.height,
                                             static_cast<uint16_t>(colormode::BitCount(format.colorMode))));
}

// Frame sizes keep every row a whole number of 32-bit words, so a frame's
// pixels follow one another without padding in every mode.
void WidenFrame(const FrameFormat &format, const BYTE *frame, std::vector<BYTE> &bgr) {
    const size_t pixels = static_cast<size_t>(format.width) * static_cast<size_t>(format.height);
    bgr.resize(pixels * 3);
    std::memcpy(bgr.data(), frame, FrameBytes(format));
    if (format.colorMode != colormode::kRgb24) widening::WidenInPlace(bgr.data(), pixels, format.colorMode);
}

}  // namespace recording
