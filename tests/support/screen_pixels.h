// Pixels read back from the screen, and a marker painted onto it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace vt {

// Screen pixels as 0x00RRGGBB, rows top-down.
struct ScreenPixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;
    uint32_t at(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};
ScreenPixels ReadScreen(int x, int y, int width, int height);
// A colour the test pictures never have, painted straight onto the screen.
constexpr uint32_t kMarkerRgb = 0xE010C0;
void FillScreen(int x, int y, int width, int height);

}  // namespace vt
