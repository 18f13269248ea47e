// The virtual card's picture decoding over whole files held in memory: each
// input exactly as long as its bytes, so that a read past the end is caught
// by the address sanitizer natively.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "bmp_bytes.h"
#include "pure/picture_decoding.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A uniform picture: every pixel blue 10, green 20, red 30; rows padded.
Bytes Uniform(int32_t width, int32_t height) {
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    Bytes pixels(stride * static_cast<size_t>(height < 0 ? -height : height));
    for (size_t i = 0; i < pixels.size(); ++i)
        if (i % stride < static_cast<size_t>(width) * 3) pixels[i] = static_cast<uint8_t>(10 * (i % stride % 3 + 1));
    return vt::MakeBmp24(width, height, pixels);
}

Bytes Edited(Bytes bytes, void (*change)(vt::BmpHeaders &)) {
    vt::EditBmpHeaders(bytes, change);
    return bytes;
}

}  // namespace

TEST(PictureDecoding, PlaysGoodPicturesAndRefusesDamagedOnesWithAReason) {
    const Bytes good = Uniform(8, 4), odd = Uniform(5, 7);
    struct Row {
        const char *name;
        Bytes bytes;
        const char *reason;  // nullptr: decodes
    } rows[] = {
        {"bottom-up, wider than 4:3", good, nullptr},
        {"top-down", Uniform(3, -4), nullptr},
        {"odd width, padded rows", odd, nullptr},
        {"last row's padding left out", Bytes(odd.begin(), odd.end() - 1), nullptr},
        {"odd width, cut into the last row", Bytes(odd.begin(), odd.end() - 2), "truncated"},
        {"empty", Bytes{}, "truncated"},
        {"53 bytes", Bytes(good.begin(), good.begin() + 53), "truncated"},
        {"pixels cut short by one byte", Bytes(good.begin(), good.end() - 1), "truncated"},
        {"not BM", Edited(good, [](vt::BmpHeaders &h) { h.file.bfType = 0x4D43; }), "not a BMP"},
        {"32 bits a pixel", Edited(good, [](vt::BmpHeaders &h) { h.info.biBitCount = 32; }), "bit depth"},
        {"compressed", Edited(good, [](vt::BmpHeaders &h) { h.info.biCompression = 1; }), "compressed"},
        {"OS/2 info header", Edited(good, [](vt::BmpHeaders &h) { h.info.biSize = 12; }), "info header"},
        {"width 0", Edited(good, [](vt::BmpHeaders &h) { h.info.biWidth = 0; }), "lie"},
        {"negative width", Edited(good, [](vt::BmpHeaders &h) { h.info.biWidth = -8; }), "lie"},
        {"height 0", Edited(good, [](vt::BmpHeaders &h) { h.info.biHeight = 0; }), "lie"},
        {"4097 wide", Edited(good, [](vt::BmpHeaders &h) { h.info.biWidth = 4097; }), "larger than"},
        {"most negative height", Edited(good, [](vt::BmpHeaders &h) { h.info.biHeight = INT32_MIN; }), "larger than"},
        {"pixels inside the headers", Edited(good, [](vt::BmpHeaders &h) { h.file.bfOffBits = 40; }), "inside"},
        {"pixels past the end", Edited(good, [](vt::BmpHeaders &h) { h.file.bfOffBits = 0xFFFFFFF0u; }), "lie"},
        {"info header larger than the file", Edited(good, [](vt::BmpHeaders &h) { h.info.biSize = 0xFFFFFFF0u; }), "lie"},
    };
    auto picture = std::make_unique<vcard::Picture>();
    for (const Row &row : rows) {
        // A block of exactly the file's size, never a larger one.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[row.bytes.size() + (row.bytes.empty() ? 1 : 0)]);
        if (!row.bytes.empty()) std::memcpy(exact.get(), row.bytes.data(), row.bytes.size());
        char why[256] = "";
        const bool decoded = vcard::DecodePicture(exact.get(), row.bytes.size(), *picture, why, sizeof why);
        EXPECT_EQ(decoded, row.reason == nullptr) << row.name << ": " << why;
        if (row.reason != nullptr) {
            EXPECT_NE(std::strstr(why, row.reason), nullptr) << row.name << ": " << why;
            continue;
        }
        // The picture's colour in the middle of the frame.
        const uint8_t *middle = picture->bgr + (vcard::kSceneHeight / 2) * vcard::kSceneRowBytes +
                                (vcard::kSceneWidth / 2) * 3;
        EXPECT_EQ(middle[0], 10) << row.name;
        EXPECT_EQ(middle[1], 20) << row.name;
        EXPECT_EQ(middle[2], 30) << row.name;
    }
}
