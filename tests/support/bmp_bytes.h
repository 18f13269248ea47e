// BMP files as bytes: made for the tests' inputs and read back by field name,
// with the layout the library itself uses.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bmp_headers.h"

namespace vt {

struct BmpHeaders {
    bmp::FileHeaderFields file;
    bmp::InfoHeaderFields info;
};

// The two headers at the start of `bytes`; what lies past the end reads as 0.
BmpHeaders ReadBmpHeaders(const std::vector<uint8_t> &bytes);
// Writes the headers over the start of `bytes`, as far as `bytes` reaches.
void WriteBmpHeaders(std::vector<uint8_t> &bytes, const BmpHeaders &headers);
// Reads the headers, lets `change` alter them and writes them back.
void EditBmpHeaders(std::vector<uint8_t> &bytes, const std::function<void(BmpHeaders &)> &change);

// A 24-bit BMP file as the still image writer makes it: no palette, `pixels`
// (the file's pixel bytes as given) right after the headers. A negative
// height makes the rows run top-down.
std::vector<uint8_t> MakeBmp24(int32_t width, int32_t height, const std::vector<uint8_t> &pixels);
// The blue, green and red bytes a frame the card delivered in `mode` shows:
// grey, 24-bit as it came, and 16-bit words as 5-5-5 widened to 8 bits.
// Worked out here apart from the library's own code, so that one mistake
// cannot hide in both.
std::vector<uint8_t> FrameAsBgr(const std::vector<uint8_t> &frame, int mode);
// Checks a grey file against its 24-bit source byte by byte.
void ExpectGreyOf(const std::vector<uint8_t> &source, const std::vector<uint8_t> &grey, const std::string &name);

}  // namespace vt
