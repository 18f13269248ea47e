#include "core/picture_decoding.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ascii_names.h"

namespace vcard {

namespace {

struct MemoryFile {
    const uint8_t *bytes;
    size_t size;
};

bool ReadMemory(void *file, uint64_t offset, uint8_t *into, size_t bytes) {
    const MemoryFile &f = *static_cast<const MemoryFile *>(file);
    if (offset > f.size || bytes > f.size - offset) return false;
    std::memcpy(into, f.bytes + offset, bytes);
    return true;
}

}  // namespace

bool CheckBmp24(const uint8_t *head, size_t headBytes, uint64_t fileSize, BmpLayout &layout,
                char *why, size_t whyBytes) {
    auto refuse = [why, whyBytes](const char *format, auto... values) {
        if (why != nullptr && whyBytes > 0) std::snprintf(why, whyBytes, format, values...);
        return false;
    };
    if (head == nullptr || headBytes < kBmpHeadBytes || fileSize < kBmpHeadBytes)
        return refuse("truncated: %llu bytes, fewer than a BMP file's %u header bytes",
                      static_cast<unsigned long long>(fileSize), static_cast<unsigned>(kBmpHeadBytes));
    bmp::FileHeaderFields file;
    bmp::InfoHeaderFields info;
    std::memcpy(&file, head, sizeof file);
    std::memcpy(&info, head + sizeof file, sizeof info);
    if (file.bfType != bmp::kType) return refuse("not a BMP file (it does not start with BM)");
    const uint32_t declaredSize = file.bfSize;
    const uint32_t pixelOffset = file.bfOffBits;
    const uint32_t infoSize = info.biSize;
    const int64_t width = info.biWidth;
    const int64_t height = info.biHeight;
    const unsigned bitCount = info.biBitCount;
    const uint32_t compression = info.biCompression;
    if (infoSize < bmp::kInfoHeaderBytes) return refuse("an info header of %u bytes; only Windows BMP headers (40 bytes or more) are read", infoSize);
    if (bitCount != 24) return refuse("bit depth %u; only 24-bit pictures are played", bitCount);
    if (compression != 0) return refuse("compressed (compression %u); only uncompressed pictures are played", compression);
    const int64_t rows = height < 0 ? -height : height;
    if (width <= 0 || rows == 0)
        return refuse("its header's sizes lie: %lld x %lld pixels", static_cast<long long>(width),
                      static_cast<long long>(height));
    if (width > kMaxPictureSide || rows > kMaxPictureSide)
        return refuse("%lld x %lld pixels, larger than %d x %d", static_cast<long long>(width),
                      static_cast<long long>(rows), kMaxPictureSide, kMaxPictureSide);
    const uint64_t headers = bmp::kFileHeaderBytes + uint64_t{infoSize};
    if (pixelOffset < headers)
        return refuse("its header's sizes lie: the pixels start at byte %u, inside its %llu header bytes",
                      pixelOffset, static_cast<unsigned long long>(headers));
    const uint64_t stride = (static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3};
    // The last row's padding may be left out.
    const uint64_t needed = pixelOffset + stride * static_cast<uint64_t>(rows - 1) + static_cast<uint64_t>(width) * 3;
    if (needed > fileSize) {
        if (declaredSize > fileSize)
            return refuse("truncated: %llu of the %u bytes its header gives",
                          static_cast<unsigned long long>(fileSize), declaredSize);
        return refuse("its header's sizes lie: %lld x %lld pixels from byte %u need %llu bytes, the file has %llu",
                      static_cast<long long>(width), static_cast<long long>(rows), pixelOffset,
                      static_cast<unsigned long long>(needed), static_cast<unsigned long long>(fileSize));
    }
    layout = BmpLayout{static_cast<int>(width), static_cast<int>(rows), height > 0, pixelOffset, stride};
    return true;
}

Window FitInFrame(int width, int height) {
    if (width <= 0 || height <= 0) return Window{0, 0, 0, 0};
    int64_t w = kSceneWidth, h = kSceneHeight;
    // Wider than 4:3 fills the width, narrower the height; rounded to nearest.
    if (int64_t{width} * kSceneHeight >= int64_t{height} * kSceneWidth) {
        h = (2 * int64_t{height} * kSceneWidth + width) / (2 * int64_t{width});
    } else {
        w = (2 * int64_t{width} * kSceneHeight + height) / (2 * int64_t{height});
    }
    if (w < 1) w = 1;
    if (h < 1) h = 1;
    return Window{static_cast<int>((kSceneWidth - w) / 2), static_cast<int>((kSceneHeight - h) / 2),
                  static_cast<int>(w), static_cast<int>(h)};
}

bool DrawFitted(const BmpLayout &layout, ReadAt read, void *file, Picture &out) {
    const Window fit = FitInFrame(layout.width, layout.height);
    int columns[kSceneWidth];
    for (int x = 0; x < fit.width; ++x) columns[x] = SourceIndex(x, fit.width, 0, layout.width) * 3;
    uint8_t row[kMaxPictureSide * 3];
    const size_t rowBytes = static_cast<size_t>(layout.width) * 3;
    int loadedRow = -1;
    std::memset(out.bgr, 0, kSceneBytes);
    for (int i = 0; i < fit.height; ++i) {
        // Bottom-up files hold the bottom row first: draw them from the bottom.
        const int y = layout.bottomUp ? fit.height - 1 - i : i;
        const int fromTop = SourceIndex(y, fit.height, 0, layout.height);
        const int fileRow = layout.bottomUp ? layout.height - 1 - fromTop : fromTop;
        if (fileRow != loadedRow) {
            if (!read(file, layout.pixelOffset + layout.stride * static_cast<uint64_t>(fileRow), row, rowBytes))
                return false;
            loadedRow = fileRow;
        }
        uint8_t *dst = out.bgr + (fit.top + y) * kSceneRowBytes + fit.left * 3;
        for (int x = 0; x < fit.width; ++x, dst += 3) std::memcpy(dst, row + columns[x], 3);
    }
    return true;
}

bool NameBefore(const std::string &a, const std::string &b) {
    auto caselessLess = [](char x, char y) {
        return static_cast<unsigned char>(names::AsciiLower(x)) <
               static_cast<unsigned char>(names::AsciiLower(y));
    };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), caselessLess)) return true;
    const bool caselessAfter =
        std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), caselessLess);
    return !caselessAfter && a < b;
}

bool DecodePicture(const uint8_t *bytes, size_t size, Picture &picture, char *why, size_t whyBytes) {
    BmpLayout layout;
    if (!CheckBmp24(bytes, std::min(size, kBmpHeadBytes), size, layout, why, whyBytes)) return false;
    MemoryFile file{bytes, size};
    if (!DrawFitted(layout, ReadMemory, &file, picture)) {
        if (why != nullptr && whyBytes > 0) std::snprintf(why, whyBytes, "could not be read to its end");
        return false;
    }
    return true;
}

}  // namespace vcard
