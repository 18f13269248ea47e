// Watches the preview's area on the screen and tells when it changes. It
// needs nothing from the card, so it counts on the real driver as well.
#pragma once

#include <windows.h>

#include <cstdint>

#include "win32_guards.h"

namespace cli {

// True when all of the area lies on the screen.
bool WhollyOnScreen(int x, int y, int width, int height);

class PaintCounter {
public:
    // How the area is read from the screen: BitBlt's signature.
    using ScreenCopy = BOOL(WINAPI *)(HDC, int, int, int, int, HDC, int, int, DWORD);
    // Only the part of the area that lies on the screen is watched.
    PaintCounter(int x, int y, int width, int height, ScreenCopy copy = BitBlt);
    PaintCounter(const PaintCounter &) = delete;
    PaintCounter &operator=(const PaintCounter &) = delete;

    bool watching() const { return watching_; }

    // Reads the area and returns true when it differs from the last look.
    // The area is read in one piece: pieces read one after another could
    // straddle a paint and count it twice, and a part of it may stay still.
    bool Changed();

    // What the last look read: 32-bit pixels, rows bottom-up, of the part
    // watched (width() x height()).
    const uint8_t *pixels() const { return bits_; }
    int width() const { return area_.right - area_.left; }
    int height() const { return area_.bottom - area_.top; }
    // Looks at the screen that failed (on a locked or secure desktop, say).
    long long failedReads() const { return failedReads_; }

private:
    ScreenCopy copy_;
    bool watching_ = false;
    RECT area_{};
    guards::UniqueScreenDC screen_;
    guards::UniqueMemoryDC memory_;
    guards::UniqueGdiObject bitmap_;
    guards::SelectedObject selected_;  // last: the bitmap is put back out before it goes
    const uint8_t *bits_ = nullptr;
    uint64_t lastHash_ = 0;
    long long failedReads_ = 0;
};

}  // namespace cli
