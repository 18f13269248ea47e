// Color2Gray's work on a whole source file's bytes, as it comes: which
// sources convert, and what the grey file then holds: exactly 1078 + N
// bytes, the headers as read with the grey fields set, the grey palette,
// and one byte per source pixel of (3 x blue + 6 x green + red) / 10.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_checks.h"
#include "bmp_headers.h"
#include "core/grey_plan.h"
#include "grey_source_rule.h"

namespace {

using fuzzcheck::Expect;
using fuzzcheck::U16;
using fuzzcheck::U32;

template <typename T>
void Append(std::vector<uint8_t> &file, const T &part) {
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&part);
    file.insert(file.end(), bytes, bytes + sizeof part);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const size_t headBytes = size < bmp::kHeadersBytes ? size : bmp::kHeadersBytes;
    const grey::GreyPlan plan = grey::PlanGreyFile(data, headBytes, size);
    // Converts when the headers are there, say BM, 24 bits a pixel and
    // uncompressed, and bfSize claims the headers and no more than is there.
    const uint32_t claimed = size >= 54 ? U32(data + 2) : 0;
    const bool bgr24 = size >= 54 && U16(data) == 0x4D42 && U16(data + 28) == 24 && U32(data + 30) == 0;
    Expect(plan.convertible == (bgr24 && vt::GreySourceConverts(claimed, size)),
           plan.convertible ? "converts a source that lacks what its header claims" : "refuses a sound source");
    if (!plan.convertible) return 0;
    const uint32_t pixelBytes = claimed - 54, pixelCount = pixelBytes / 3;
    Expect(plan.pixelBytes == pixelBytes && plan.pixelCount == pixelCount, "pixel counts other than bfSize's");

    // The source's pixels in a block of exactly their size, as Color2Gray
    // reads them, so that the address sanitizer sees a read past them.
    uint8_t *colour = static_cast<uint8_t *>(std::malloc(pixelBytes == 0 ? 1 : pixelBytes));
    uint8_t *greys = static_cast<uint8_t *>(std::malloc(pixelCount == 0 ? 1 : pixelCount));
    std::memcpy(colour, data + 54, pixelBytes);
    grey::ConvertPixels(colour, greys, pixelCount);

    // The grey file in the order Color2Gray writes it.
    static constexpr bmp::GreyPalette kPalette = bmp::MakeGreyPalette();
    std::vector<uint8_t> file;
    Append(file, plan.fileHeader);
    Append(file, plan.infoHeader);
    Append(file, kPalette);
    file.insert(file.end(), greys, greys + pixelCount);

    // What it must hold, written out from the source's bytes field by field.
    const uint32_t greySize = 1078 + pixelCount;
    std::vector<uint8_t> expected;
    const auto keep = [&](size_t from, size_t count) {
        expected.insert(expected.end(), data + from, data + from + count);
    };
    const auto put32 = [&](uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) expected.push_back(static_cast<uint8_t>(value >> shift));
    };
    keep(0, 2);                     // bfType
    put32(greySize);                // bfSize
    keep(6, 4);                     // bfReserved1, bfReserved2
    put32(1078);                    // bfOffBits: the pixels follow the palette
    keep(14, 14);                   // biSize, biWidth, biHeight, biPlanes
    expected.push_back(8);          // biBitCount
    expected.push_back(0);
    keep(30, 4);                    // biCompression
    put32(U32(data + 34) / 3);      // biSizeImage: a third of the source's
    keep(38, 16);                   // resolutions, colours used and important
    for (uint32_t i = 0; i < 256; ++i) {
        const uint8_t entry[4] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0};
        expected.insert(expected.end(), entry, entry + 4);
    }
    for (uint32_t k = 0; k < pixelCount; ++k) {
        const uint8_t *p = data + 54 + 3 * k;
        expected.push_back(static_cast<uint8_t>((3 * p[0] + 6 * p[1] + p[2]) / 10));
    }
    Expect(file.size() == expected.size(), "a grey file of other than 1078 + N bytes");
    Expect(std::memcmp(file.data(), expected.data(), 54) == 0,
           "a grey header other than the source's with the grey fields set");
    Expect(std::memcmp(file.data() + 54, expected.data() + 54, 1024) == 0, "a palette entry other than (i, i, i, 0)");
    Expect(std::memcmp(file.data() + 1078, expected.data() + 1078, pixelCount) == 0,
           "a grey level other than (3 b + 6 g + r) / 10");
    std::free(colour);
    std::free(greys);
    return 0;
}
