// Turning a 24-bit BMP file into an 8-bit one with a grey palette: the
// arithmetic, kept apart from the file calls so that it can be tested whole.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bmp_headers.h"

namespace grey {

// Blue weighs 3 and red 1, the reverse of the usual luminance weights: this
// is the grey our hosts' files are made with, not a slip.
constexpr unsigned kBlueWeight = 3;
constexpr unsigned kGreenWeight = 6;
constexpr unsigned kRedWeight = 1;
constexpr unsigned kMaxWeightedSum = 255 * (kBlueWeight + kGreenWeight + kRedWeight);  // 2550

// sum / 10 as (sum * 6554) >> 16: one 16-bit high multiply per pixel, which
// the vector loop does eight at a time. Exact, truncating, for every sum up
// to kMaxWeightedSum (the error sum * 4 / 655360 stays below 1/10).
constexpr unsigned kTenthMultiplier = 6554;
constexpr unsigned kTenthShift = 16;

constexpr uint8_t TenthOfWeightedSum(unsigned sum) {
    return static_cast<uint8_t>((sum * kTenthMultiplier) >> kTenthShift);
}

constexpr unsigned WeightedSum(uint8_t blue, uint8_t green, uint8_t red) {
    return kBlueWeight * blue + kGreenWeight * green + kRedWeight * red;
}

// (3 x blue + 6 x green + red) / 10, truncating.
constexpr uint8_t GreyLevel(uint8_t blue, uint8_t green, uint8_t red) {
    return TenthOfWeightedSum(WeightedSum(blue, green, red));
}

// One grey byte for each of `count` 3-byte pixels (blue, green, red).
void ConvertPixels(const uint8_t *bgr, uint8_t *grey, size_t count);
// The same without vector instructions, for processors that lack them.
void ConvertPixelsScalar(const uint8_t *bgr, uint8_t *grey, size_t count);

// The pixel bytes a source's file header claims: bfSize - 54, wrapping
// around as an unsigned 32-bit value when bfSize is below 54.
constexpr uint32_t PixelBytes(uint32_t sourceFileSize) { return sourceFileSize - bmp::kHeadersBytes; }
// Whole 3-byte pixels in those bytes; one or two bytes left over are ignored.
constexpr uint32_t PixelCount(uint32_t pixelBytes) { return pixelBytes / 3; }

// Whether a source of `fileBytes` bytes really holds the headers and every
// pixel byte its bfSize claims. A bfSize below 54 never qualifies: it claims
// about 4 GB of pixels.
constexpr bool SourceHoldsPixels(uint32_t sourceFileSize, uint64_t fileBytes) {
    return sourceFileSize >= bmp::kHeadersBytes && fileBytes >= sourceFileSize;
}

// The source's file header with bfSize and bfOffBits for the grey file;
// bfType and the reserved fields as read.
constexpr bmp::FileHeaderFields GreyFileHeader(bmp::FileHeaderFields header) {
    header.bfSize = PixelCount(PixelBytes(header.bfSize)) + bmp::kGreyPixelOffset;
    header.bfOffBits = bmp::kGreyPixelOffset;
    return header;
}

// The source's info header with 8 bits a pixel; everything else as read.
constexpr bmp::InfoHeaderFields GreyInfoHeader(bmp::InfoHeaderFields header) {
    header.biBitCount = 8;
    header.biSizeImage /= 3;
    return header;
}

// Whether the headers are those of an uncompressed 24-bit BMP, the only
// kind whose bytes after the headers are 3-byte pixels.
constexpr bool IsBgr24Source(const bmp::FileHeaderFields &file, const bmp::InfoHeaderFields &info) {
    return file.bfType == bmp::kType && info.biBitCount == 24 && info.biCompression == bmp::kUncompressed;
}

// What a grey file made from a source is, decided from the source's first
// bytes before anything is written.
struct GreyPlan {
    bool convertible;  // complete 24-bit headers, and every pixel byte bfSize claims
    bmp::FileHeaderFields fileHeader;  // the grey file's, when convertible
    bmp::InfoHeaderFields infoHeader;
    uint32_t pixelBytes;  // source bytes that follow the headers and are read
    uint32_t pixelCount;  // grey bytes written after the palette
};

// `head` holds the source's first `headBytes` bytes (all of them, or at
// least its 54 header bytes); the whole source is `fileBytes` long. Only an
// uncompressed 24-bit BMP converts. The pixels are taken to follow the
// headers directly; the source's own bfOffBits is not consulted.
GreyPlan PlanGreyFile(const uint8_t *head, size_t headBytes, uint64_t fileBytes);

}  // namespace grey
