// The virtual card's scene and footage pictures, decoded from any bytes.
// The headers are read here a second time, by hand, to say which files must
// play: exactly those play; the pixels drawn are the ones the header points
// at, in the orientation it gives; nothing outside the fitted picture shows.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz_checks.h"
#include "core/picture_decoding.h"

namespace {

using fuzzcheck::Expect;
using fuzzcheck::U16;
using fuzzcheck::U32;

// What the file's headers say, independently of the card's reader.
struct Header {
    bool playable;
    int64_t width, rows;
    bool bottomUp;
    uint64_t offset, stride;
};

Header Read(const uint8_t *data, size_t size) {
    Header h{};
    if (size < 54 || U16(data) != 0x4D42) return h;
    const uint32_t infoSize = U32(data + 14);
    const int64_t width = static_cast<int32_t>(U32(data + 18));
    const int64_t height = static_cast<int32_t>(U32(data + 22));
    h.width = width;
    h.rows = height < 0 ? -height : height;
    h.bottomUp = height > 0;
    h.offset = U32(data + 10);
    h.stride = (static_cast<uint64_t>(width < 0 ? 0 : width) * 3 + 3) / 4 * 4;
    const bool sizes = width >= 1 && width <= 4096 && h.rows >= 1 && h.rows <= 4096;
    // Other programs may leave the last row's padding out.
    h.playable = infoSize >= 40 && U16(data + 28) == 24 && U32(data + 30) == 0 && sizes &&
                 h.offset >= 14 + uint64_t{infoSize} &&
                 h.offset + h.stride * static_cast<uint64_t>(h.rows - 1) + static_cast<uint64_t>(width) * 3 <= size;
    return h;
}

vcard::Picture picture;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Exactly `size` bytes, so that the address sanitizer sees a read past them.
    uint8_t *bytes = static_cast<uint8_t *>(std::malloc(size == 0 ? 1 : size));
    if (size > 0) std::memcpy(bytes, data, size);
    const Header header = Read(bytes, size);

    vcard::BmpLayout layout{};
    char why[256] = "";
    const bool checked = vcard::CheckBmp24(bytes, size < vcard::kBmpHeadBytes ? size : vcard::kBmpHeadBytes, size,
                                           layout, why, sizeof why);
    Expect(checked == header.playable, checked ? "a picture played that its header does not allow"
                                               : "a sound picture refused");
    if (!checked) {
        Expect(why[0] != '\0', "a refusal without a reason");
        Expect(!vcard::DecodePicture(bytes, size, picture, why, sizeof why), "decoded what the check refused");
        std::free(bytes);
        return 0;
    }
    Expect(layout.width == header.width && layout.height == header.rows && layout.bottomUp == header.bottomUp &&
               layout.pixelOffset == header.offset && layout.stride == header.stride,
           "a layout other than the header's");
    std::memset(picture.bgr, 0x5A, sizeof picture.bgr);
    Expect(vcard::DecodePicture(bytes, size, picture, why, sizeof why), "a checked picture could not be read");

    const vcard::Window fit = vcard::FitInFrame(layout.width, layout.height);
    Expect(fit.left >= 0 && fit.top >= 0 && fit.width >= 1 && fit.height >= 1 &&
               fit.left + fit.width <= vcard::kSceneWidth && fit.top + fit.height <= vcard::kSceneHeight,
           "the fitted picture leaves the frame");
    Expect(fit.width == vcard::kSceneWidth || fit.height == vcard::kSceneHeight, "the fitted picture fills neither side");
    // A grid over the frame: black around the picture, and inside it the
    // source pixel nearest each position's centre.
    for (int y = 0; y < vcard::kSceneHeight; y += 7) {
        for (int x = 0; x < vcard::kSceneWidth; x += 5) {
            const uint8_t *got = picture.bgr + (static_cast<size_t>(y) * vcard::kSceneWidth + x) * 3;
            const bool inside = x >= fit.left && x < fit.left + fit.width && y >= fit.top && y < fit.top + fit.height;
            if (!inside) {
                Expect(got[0] == 0 && got[1] == 0 && got[2] == 0, "no black bar around the picture");
                continue;
            }
            const int64_t sx = (2 * int64_t{x - fit.left} + 1) * header.width / (2 * int64_t{fit.width});
            const int64_t sy = (2 * int64_t{y - fit.top} + 1) * header.rows / (2 * int64_t{fit.height});
            const int64_t fileRow = header.bottomUp ? header.rows - 1 - sy : sy;
            const uint8_t *want = bytes + header.offset + header.stride * static_cast<uint64_t>(fileRow) +
                                  static_cast<uint64_t>(sx) * 3;
            Expect(std::memcmp(got, want, 3) == 0, "a pixel other than the file's");
        }
    }
    std::free(bytes);
    return 0;
}
