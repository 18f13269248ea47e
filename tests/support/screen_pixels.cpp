#include "screen_pixels.h"

namespace vt {

ScreenPixels ReadScreen(int x, int y, int width, int height) {
    ScreenPixels pixels;
    pixels.width = width;
    pixels.height = height;
    pixels.rgb.assign(static_cast<size_t>(width) * height, 0);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, section);
    BitBlt(memory, 0, 0, width, height, screen, x, y, SRCCOPY);
    GdiFlush();
    const auto *source = static_cast<const uint32_t *>(bits);
    for (size_t i = 0; i < pixels.rgb.size(); ++i) pixels.rgb[i] = source[i] & 0xFFFFFFu;
    SelectObject(memory, old);
    DeleteObject(section);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

void FillScreen(int x, int y, int width, int height) {
    HDC screen = GetDC(nullptr);
    HBRUSH brush = CreateSolidBrush(RGB(kMarkerRgb >> 16, kMarkerRgb >> 8 & 0xFF, kMarkerRgb & 0xFF));
    RECT area{x, y, x + width, y + height};
    FillRect(screen, &area, brush);
    DeleteObject(brush);
    GdiFlush();
    ReleaseDC(nullptr, screen);
}

}  // namespace vt
