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
    // uncompressed, and every pixel byte bfSize claims is there.
    const uint32_t claimed = size >= 54 ? U32(data + 2) : 0;
    const bool bgr24 = size >= 54 && U16(data) == 0x4D42 && U16(data + 28) == 24 && U32(data + 30) == 0;
    Expect(plan.convertible == (bgr24 && claimed >= 54 && claimed <= size),
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

    Expect(file.size() == 1078 + uint64_t{pixelCount}, "a grey file of other than 1078 + N bytes");
    Expect(U32(&file[2]) == file.size(), "a bfSize other than the grey file's size");
    Expect(U32(&file[10]) == 1078, "pixels that do not follow the palette");
    Expect(U16(&file[28]) == 8, "not 8 bits a pixel");
    Expect(U32(&file[34]) == U32(data + 34) / 3, "biSizeImage not a third of the source's");
    // Every other header field as read.
    Expect(std::memcmp(&file[0], data, 2) == 0 && std::memcmp(&file[6], data + 6, 4) == 0 &&
               std::memcmp(&file[14], data + 14, 14) == 0 && std::memcmp(&file[30], data + 30, 4) == 0 &&
               std::memcmp(&file[38], data + 38, 16) == 0,
           "a header field changed that the grey file keeps");
    for (uint32_t i = 0; i < 256; ++i)
        Expect(file[54 + 4 * i] == i && file[55 + 4 * i] == i && file[56 + 4 * i] == i && file[57 + 4 * i] == 0,
               "a palette entry other than (i, i, i, 0)");
    for (uint32_t k = 0; k < pixelCount; ++k) {
        const uint8_t *p = colour + 3 * k;
        Expect(greys[k] == (3 * p[0] + 6 * p[1] + p[2]) / 10, "a grey level other than (3 b + 6 g + r) / 10");
    }
    std::free(colour);
    std::free(greys);
    return 0;
}
