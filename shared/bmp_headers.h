// The layout of the BMP files Vorlane writes and reads: a 14-byte file header
// and a 40-byte info header, little-endian and packed. The fields keep the
// names Windows gives them; every writer, reader and the preview's paint take
// their headers from here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bmp {

#pragma pack(push, 2)
struct FileHeaderFields {
    uint16_t bfType;
    uint32_t bfSize;
    uint16_t bfReserved1;
    uint16_t bfReserved2;
    uint32_t bfOffBits;
};
#pragma pack(pop)

struct InfoHeaderFields {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};

// One colour table entry, in the file's order.
struct PaletteEntry {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};

static_assert(sizeof(FileHeaderFields) == 14, "file header must be packed");
static_assert(sizeof(InfoHeaderFields) == 40, "info header must be packed");
static_assert(sizeof(PaletteEntry) == 4, "palette entries are 4 bytes");

constexpr uint16_t kType = 0x4D42;  // "BM"
constexpr uint32_t kUncompressed = 0;  // BI_RGB
constexpr uint32_t kFileHeaderBytes = sizeof(FileHeaderFields);
constexpr uint32_t kInfoHeaderBytes = sizeof(InfoHeaderFields);
constexpr uint32_t kHeadersBytes = kFileHeaderBytes + kInfoHeaderBytes;  // 54
constexpr uint32_t kGreyPaletteEntries = 256;
constexpr uint32_t kGreyPaletteBytes = kGreyPaletteEntries * sizeof(PaletteEntry);  // 1024
constexpr uint32_t kGreyPixelOffset = kHeadersBytes + kGreyPaletteBytes;           // 1078

// Pixel bytes of a 24-bit picture whose rows need no padding.
constexpr size_t Bgr24Bytes(int32_t width, int32_t height) {
    return static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
}

// Pixel bytes of an uncompressed picture: rows padded to 4 bytes.
constexpr uint64_t DibBytes(int32_t width, int32_t height, uint16_t bits) {
    return (static_cast<uint64_t>(width) * bits + 31) / 32 * 4 * static_cast<uint64_t>(height);
}

// An uncompressed header for a bottom-up picture with no colour table.
constexpr InfoHeaderFields InfoHeader(int32_t width, int32_t height, uint16_t bitCount) {
    InfoHeaderFields info{};
    info.biSize = kInfoHeaderBytes;
    info.biWidth = width;
    info.biHeight = height;  // positive: rows run bottom-up
    info.biPlanes = 1;
    info.biBitCount = bitCount;
    info.biCompression = kUncompressed;
    return info;
}

constexpr FileHeaderFields FileHeader(uint32_t pixelOffset, uint32_t pixelBytes) {
    FileHeaderFields file{};
    file.bfType = kType;
    file.bfSize = pixelOffset + pixelBytes;
    file.bfOffBits = pixelOffset;
    return file;
}

// Entry i is blue i, green i, red i.
struct GreyPalette {
    PaletteEntry entries[kGreyPaletteEntries];
};

constexpr GreyPalette MakeGreyPalette() {
    GreyPalette palette{};
    for (uint32_t i = 0; i < kGreyPaletteEntries; ++i) {
        const uint8_t level = static_cast<uint8_t>(i);
        palette.entries[i] = PaletteEntry{level, level, level, 0};
    }
    return palette;
}

}  // namespace bmp
