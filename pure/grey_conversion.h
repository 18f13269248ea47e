// Turning a 24-bit BMP file into an 8-bit one with a grey palette: the
// arithmetic, kept apart from the file calls so that it can be tested whole.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "pure/bmp_headers.h"

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

constexpr BYTE TenthOfWeightedSum(unsigned sum) {
    return static_cast<BYTE>((sum * kTenthMultiplier) >> kTenthShift);
}

constexpr unsigned WeightedSum(BYTE blue, BYTE green, BYTE red) {
    return kBlueWeight * blue + kGreenWeight * green + kRedWeight * red;
}

// (3 x blue + 6 x green + red) / 10, truncating.
constexpr BYTE GreyLevel(BYTE blue, BYTE green, BYTE red) {
    return TenthOfWeightedSum(WeightedSum(blue, green, red));
}

// One grey byte for each of `count` 3-byte pixels (blue, green, red).
void ConvertPixels(const BYTE *bgr, BYTE *grey, size_t count);
// The same without vector instructions, for processors that lack them.
void ConvertPixelsScalar(const BYTE *bgr, BYTE *grey, size_t count);

// The pixel bytes a source's file header claims: bfSize - 54, wrapping
// around as an unsigned 32-bit value when bfSize is below 54.
constexpr DWORD PixelBytes(DWORD sourceFileSize) { return sourceFileSize - bmp::kHeadersBytes; }
// Whole 3-byte pixels in those bytes; one or two bytes left over are ignored.
constexpr DWORD PixelCount(DWORD pixelBytes) { return pixelBytes / 3; }

// Whether a source of `fileBytes` bytes really holds the headers and every
// pixel byte its bfSize claims. A bfSize below 54 never qualifies: it claims
// about 4 GB of pixels.
constexpr bool SourceHoldsPixels(DWORD sourceFileSize, uint64_t fileBytes) {
    return sourceFileSize >= bmp::kHeadersBytes && fileBytes >= sourceFileSize;
}

// The source's file header with bfSize and bfOffBits for the grey file;
// bfType and the reserved fields as read.
constexpr BITMAPFILEHEADER GreyFileHeader(BITMAPFILEHEADER header) {
    header.bfSize = PixelCount(PixelBytes(header.bfSize)) + bmp::kGreyPixelOffset;
    header.bfOffBits = bmp::kGreyPixelOffset;
    return header;
}

// The source's info header with 8 bits a pixel; everything else as read.
constexpr BITMAPINFOHEADER GreyInfoHeader(BITMAPINFOHEADER header) {
    header.biBitCount = 8;
    header.biSizeImage /= 3;
    return header;
}

}  // namespace grey
