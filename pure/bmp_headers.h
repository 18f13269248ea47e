// The layout of the BMP files Vorlane writes: a 14-byte file header and a
// 40-byte info header, little-endian and packed, as Windows declares them.
// Both writers and the preview's paint take their headers from here.
#pragma once

#include <windows.h>

#include <cstdint>

namespace bmp {

static_assert(sizeof(BITMAPFILEHEADER) == 14, "file header must be packed");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "info header must be packed");

constexpr WORD kType = 0x4D42;  // "BM"
constexpr DWORD kFileHeaderBytes = sizeof(BITMAPFILEHEADER);
constexpr DWORD kInfoHeaderBytes = sizeof(BITMAPINFOHEADER);
constexpr DWORD kHeadersBytes = kFileHeaderBytes + kInfoHeaderBytes;  // 54
constexpr DWORD kGreyPaletteEntries = 256;
constexpr DWORD kGreyPaletteBytes = kGreyPaletteEntries * sizeof(RGBQUAD);  // 1024
constexpr DWORD kGreyPixelOffset = kHeadersBytes + kGreyPaletteBytes;      // 1078

// Pixel bytes of a 24-bit picture whose rows need no padding.
constexpr SIZE_T Bgr24Bytes(int32_t width, int32_t height) {
    return static_cast<SIZE_T>(width) * static_cast<SIZE_T>(height) * 3;
}

// An uncompressed header for a bottom-up picture with no colour table.
constexpr BITMAPINFOHEADER InfoHeader(int32_t width, int32_t height, WORD bitCount) {
    BITMAPINFOHEADER info{};
    info.biSize = kInfoHeaderBytes;
    info.biWidth = width;
    info.biHeight = height;  // positive: rows run bottom-up
    info.biPlanes = 1;
    info.biBitCount = bitCount;
    info.biCompression = BI_RGB;
    return info;
}

constexpr BITMAPFILEHEADER FileHeader(DWORD pixelOffset, DWORD pixelBytes) {
    BITMAPFILEHEADER file{};
    file.bfType = kType;
    file.bfSize = pixelOffset + pixelBytes;
    file.bfOffBits = pixelOffset;
    return file;
}

// Entry i is blue i, green i, red i.
struct GreyPalette {
    RGBQUAD entries[kGreyPaletteEntries];
};

constexpr GreyPalette MakeGreyPalette() {
    GreyPalette palette{};
    for (DWORD i = 0; i < kGreyPaletteEntries; ++i) {
        const BYTE level = static_cast<BYTE>(i);
        palette.entries[i] = RGBQUAD{level, level, level, 0};
    }
    return palette;
}

}  // namespace bmp
