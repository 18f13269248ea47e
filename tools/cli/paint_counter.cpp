#include "paint_counter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace cli {

// Positions run to the ends of int: sums are taken in 64 bits.
bool WhollyOnScreen(int x, int y, int width, int height) {
    const int screenLeft = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int screenTop = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return x >= screenLeft && y >= screenTop &&
           int64_t{x} + width <= int64_t{screenLeft} + GetSystemMetrics(SM_CXVIRTUALSCREEN) &&
           int64_t{y} + height <= int64_t{screenTop} + GetSystemMetrics(SM_CYVIRTUALSCREEN);
}

PaintCounter::PaintCounter(int x, int y, int width, int height, ScreenCopy copy) : copy_(copy) {
    const int screenLeft = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int screenTop = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int64_t left = std::max(x, screenLeft);
    const int64_t right = std::min(int64_t{x} + width, int64_t{screenLeft} + GetSystemMetrics(SM_CXVIRTUALSCREEN));
    const int64_t top = std::max(y, screenTop);
    const int64_t bottom = std::min(int64_t{y} + height, int64_t{screenTop} + GetSystemMetrics(SM_CYVIRTUALSCREEN));
    if (right <= left || bottom <= top) return;
    area_ = RECT{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(right), static_cast<LONG>(bottom)};

    screen_ = guards::UniqueScreenDC(GetDC(nullptr));
    if (!screen_) return;
    memory_ = guards::UniqueMemoryDC(CreateCompatibleDC(screen_.get()));
    if (!memory_) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(right - left);
    info.bmiHeader.biHeight = static_cast<LONG>(bottom - top);  // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    bitmap_ = guards::UniqueGdiObject(
        CreateDIBSection(memory_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap_ || !bits) return;
    selected_ = guards::SelectedObject(memory_.get(), bitmap_.get());
    if (!selected_) return;
    bits_ = static_cast<const uint8_t *>(bits);
    watching_ = true;
    Changed();  // what was there before the preview
}

bool PaintCounter::Changed() {
    if (!watching_) return false;
    if (!copy_(memory_.get(), 0, 0, width(), height(), screen_.get(), area_.left, area_.top, SRCCOPY)) {
        ++failedReads_;
        return false;
    }
    GdiFlush();
    // FNV-1a: enough to tell one picture from the next.
    uint64_t hash = 14695981039346656037ull;
    const size_t bytes = static_cast<size_t>(width()) * static_cast<size_t>(height()) * 4;
    for (size_t i = 0; i < bytes; ++i) hash = (hash ^ bits_[i]) * 1099511628211ull;
    const bool changed = hash != lastHash_;
    lastHash_ = hash;
    return changed;
}

}  // namespace cli
