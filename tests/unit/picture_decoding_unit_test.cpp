// The virtual card's picture decoding over whole files held in memory: each
// input exactly as long as its bytes, so that a read past the end is caught
// by the address sanitizer natively.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bmp_bytes.h"
#include "core/picture_decoding.h"

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

// Decodes from a block of exactly the file's size, never a larger one.
bool Decode(const Bytes &bytes, vcard::Picture &picture, char (&why)[256]) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
    if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
    return vcard::DecodePicture(exact.get(), bytes.size(), picture, why, sizeof why);
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
        char why[256] = "";
        EXPECT_EQ(Decode(row.bytes, *picture, why), row.reason == nullptr) << row.name << ": " << why;
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

// Each shape fitted whole into the frame and centred, black around it.
TEST(PictureDecoding, FitsEveryShapeCentredOnBlack) {
    struct Row {
        int32_t width, height;
        vcard::Window box;
    } rows[] = {{768, 576, {0, 0, 768, 576}}, {40, 30, {0, 0, 768, 576}},   {10, 40, {312, 0, 144, 576}},
                {16, 9, {0, 72, 768, 432}},    {1, 1, {96, 0, 576, 576}},    {4096, 1, {0, 287, 768, 1}},
                {1, 4096, {383, 0, 1, 576}},   {4096, 3, {0, 287, 768, 1}}};
    auto picture = std::make_unique<vcard::Picture>();
    for (const Row &row : rows) {
        const std::string name = std::to_string(row.width) + " x " + std::to_string(row.height);
        char why[256] = "";
        ASSERT_TRUE(Decode(Uniform(row.width, row.height), *picture, why)) << name << ": " << why;
        int left = vcard::kSceneWidth, top = vcard::kSceneHeight, right = -1, bottom = -1;
        for (int y = 0; y < vcard::kSceneHeight; ++y)
            for (int x = 0; x < vcard::kSceneWidth; ++x) {
                const uint8_t *p = picture->bgr + y * vcard::kSceneRowBytes + x * 3;
                if (p[0] == 0 && p[1] == 0 && p[2] == 0) continue;
                ASSERT_TRUE(p[0] == 10 && p[1] == 20 && p[2] == 30) << name << ": x " << x << ", y " << y;
                left = std::min(left, x), top = std::min(top, y), right = std::max(right, x), bottom = std::max(bottom, y);
            }
        const vcard::Window got{left, top, right - left + 1, bottom - top + 1}, &want = row.box;
        EXPECT_EQ((std::vector<int>{got.left, got.top, got.width, got.height}),
                  (std::vector<int>{want.left, want.top, want.width, want.height}))
            << name << ": left, top, width, height";
    }
}
