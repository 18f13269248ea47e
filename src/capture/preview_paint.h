// How a frame is described to GDI for painting.
#pragma once

#include <windows.h>

#include "pure/color_modes.h"
#include "pure/frame_geometry.h"
#include "pure/bmp_headers.h"

namespace preview {

// The header, followed by a grey colour table that only 8-bit frames use:
// without one an 8-bit frame has no defined colours on the screen.
struct DisplayInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colors[bmp::kGreyPaletteEntries];
    const BITMAPINFO *get() const { return reinterpret_cast<const BITMAPINFO *>(this); }
};

inline DisplayInfo DisplayInfoFor(geometry::FrameSize frame, int32_t colorMode) {
    DisplayInfo display{};
    const WORD bitCount = static_cast<WORD>(colormode::BitCount(colorMode));
    display.header = bmp::InfoHeader(frame.width, frame.height, bitCount);
    if (colorMode == colormode::kGrey8) {
        const bmp::GreyPalette grey = bmp::MakeGreyPalette();
        for (DWORD i = 0; i < bmp::kGreyPaletteEntries; ++i) display.colors[i] = grey.entries[i];
    }
    return display;
}

}  // namespace preview
