// Decoding 24-bit BMP pictures for the virtual card's scene and footage:
// the header checks and the fitting into the frame, over bytes, never files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "bmp_headers.h"
#include "core/scene.h"

namespace vcard {

// The largest picture the card takes, as wide as it is high.
constexpr int kMaxPictureSide = 4096;
// Enough of a file's start for every header check.
constexpr size_t kBmpHeadBytes = bmp::kHeadersBytes;  // the file and info headers

// Where the pixels of a checked 24-bit BMP file lie.
struct BmpLayout {
    int width;
    int height;
    bool bottomUp;
    uint64_t pixelOffset;
    uint64_t stride;  // rows are padded to 4 bytes
};

// Checks the headers of an uncompressed 24-bit BMP file of `fileSize` bytes
// whose first bytes are `head` (kBmpHeadBytes of them, or the whole file if
// shorter): up to kMaxPictureSide on each side, every pixel inside the file.
// On failure writes why into `why` (a sentence without the file's name).
bool CheckBmp24(const uint8_t *head, size_t headBytes, uint64_t fileSize, BmpLayout &layout,
                char *why, size_t whyBytes);

// Where a width x height picture lands in the 768 x 576 frame, the way a
// PAL source shows it: scaled to fit, proportions kept, centred.
Window FitInFrame(int width, int height);

// Reads `bytes` bytes at `offset` of a picture file; false when it cannot.
using ReadAt = bool (*)(void *file, uint64_t offset, uint8_t *into, size_t bytes);

// Draws a checked picture fitted into `out` with black bars around it,
// asking for the file's rows in the order they lie in the file. False when
// a read fails; `out` is then partly drawn.
bool DrawFitted(const BmpLayout &layout, ReadAt read, void *file, Picture &out);

// "a.bmp" before "B.bmp" before "b10.bmp": letters compared without case,
// then byte by byte so that the order is total.
bool NameBefore(const std::string &a, const std::string &b);

// Decodes a whole picture file held in memory (`size` bytes), fitted into
// `picture` as DrawFitted does; false, with `why`, when it cannot be played.
bool DecodePicture(const uint8_t *bytes, size_t size, Picture &picture, char *why, size_t whyBytes);

}  // namespace vcard
