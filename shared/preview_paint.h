// How a frame is described to GDI for painting.
#pragma once

#include <windows.h>

#include <cstddef>

#include "color_modes.h"
#include "frame_geometry.h"
#include "bmp_headers.h"

namespace preview {

// The header, followed by a grey colour table that only 8-bit frames use:
// without one an 8-bit frame has no defined colours on the screen.
struct DisplayInfo {
    bmp::InfoHeaderFields header;
    bmp::PaletteEntry colors[bmp::kGreyPaletteEntries];
    const BITMAPINFO *get() const { return reinterpret_cast<const BITMAPINFO *>(this); }
};
static_assert(sizeof(bmp::InfoHeaderFields) == sizeof(BITMAPINFOHEADER) &&
                  sizeof(bmp::PaletteEntry) == sizeof(RGBQUAD) &&
                  offsetof(DisplayInfo, colors) == offsetof(BITMAPINFO, bmiColors),
              "the display header is laid out as GDI's BITMAPINFO");

inline DisplayInfo DisplayInfoFor(geometry::FrameSize frame, int32_t colorMode) {
    DisplayInfo display{};
    const uint16_t bitCount = static_cast<uint16_t>(colormode::BitCount(colorMode));
    display.header = bmp::InfoHeader(frame.width, frame.height, bitCount);
    if (colorMode == colormode::kGrey8) {
        const bmp::GreyPalette grey = bmp::MakeGreyPalette();
        for (uint32_t i = 0; i < bmp::kGreyPaletteEntries; ++i) display.colors[i] = grey.entries[i];
    }
    return display;
}

}  // namespace preview
