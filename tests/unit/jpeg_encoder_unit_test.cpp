// vorlane-cli's JPEG encoder, read back by GDI+: a decoder that is not ours.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "jpeg_encoder.h"
#include "core/scene.h"

namespace {

struct Picture {
    int width;
    int height;
    int bitsPerPixel;
    int stride;
    std::vector<uint8_t> bottomUp;
};

// The virtual card's test picture, its left part, with even noise of -7..7
// levels when asked; `grey` as colour mode 0 stores it.
Picture TestPicture(int width, int height, bool grey, bool noisy) {
    static vcard::Picture source;
    vcard::DrawTestPicture(source);
    Picture p{width, height, grey ? 8 : 24, 0, {}};
    p.stride = (width * p.bitsPerPixel / 8 + 3) & ~3;
    p.bottomUp.assign(static_cast<size_t>(p.stride) * height, 0);
    uint32_t seed = 7;
    for (int y = 0; y < height; ++y) {
        // Rows from across the whole picture, so that every band is in.
        const uint8_t *in = source.bgr + static_cast<size_t>(y * vcard::kSceneHeight / height) * vcard::kSceneRowBytes;
        uint8_t *out = p.bottomUp.data() + static_cast<size_t>(height - 1 - y) * p.stride;
        for (int x = 0; x < width; ++x) {
            uint8_t pixel[3];
            for (int k = 0; k < 3; ++k) {
                seed = seed * 1664525u + 1013904223u;
                const int level = in[x * 3 + k] + (noisy ? static_cast<int>(seed >> 29) * 2 - 7 : 0);  // -7..7
                pixel[k] = static_cast<uint8_t>(level < 0 ? 0 : level > 255 ? 255 : level);
            }
            if (grey)
                out[x] = vcard::GreyOf(pixel[0], pixel[1], pixel[2]);
            else
                std::memcpy(out + x * 3, pixel, 3);
        }
    }
    return p;
}

// Colour components in the picture's frame header; 0 when there is none.
int Components(const std::vector<uint8_t> &jpeg) {
    for (size_t at = 2; at + 9 < jpeg.size(); ++at)
        if (jpeg[at] == 0xFF && (jpeg[at + 1] == 0xC0 || jpeg[at + 1] == 0xC1)) return jpeg[at + 9];
    return 0;
}

// PSNR of the decoded picture against the original, over B, G, R; a reason
// instead when GDI+ cannot read it.
double DecodedPsnr(const std::vector<uint8_t> &jpeg, const Picture &original, std::string &problem) {
    using namespace Gdiplus::DllExports;
    IStream *stream = nullptr;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, jpeg.size() + 1);
    if (memory == nullptr || CreateStreamOnHGlobal(memory, TRUE, &stream) != S_OK) {
        problem = "no stream";
        return 0;
    }
    std::memcpy(GlobalLock(memory), jpeg.data(), jpeg.size());
    GlobalUnlock(memory);
    ULARGE_INTEGER size;
    size.QuadPart = jpeg.size();
    stream->SetSize(size);
    Gdiplus::GpBitmap *bitmap = nullptr;
    UINT width = 0, height = 0;
    double psnr = 0;
    Gdiplus::BitmapData data{};
    Gdiplus::Rect all(0, 0, original.width, original.height);
    if (GdipCreateBitmapFromStream(stream, &bitmap) != Gdiplus::Ok) {
        problem = "GDI+ does not read it";
    } else if (GdipGetImageWidth(bitmap, &width) != Gdiplus::Ok || GdipGetImageHeight(bitmap, &height) != Gdiplus::Ok ||
               static_cast<int>(width) != original.width || static_cast<int>(height) != original.height) {
        problem = "decoded as " + std::to_string(width) + " x " + std::to_string(height);
    } else if (GdipBitmapLockBits(bitmap, &all, Gdiplus::ImageLockModeRead, PixelFormat24bppRGB, &data) != Gdiplus::Ok) {
        problem = "its pixels cannot be read";
    } else {
        double squares = 0;
        for (int y = 0; y < original.height; ++y) {
            const uint8_t *decoded = static_cast<const uint8_t *>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
            const uint8_t *want = original.bottomUp.data() + static_cast<size_t>(original.height - 1 - y) * original.stride;
            for (int x = 0; x < original.width; ++x)
                for (int k = 0; k < 3; ++k) {
                    const double d = decoded[x * 3 + k] - (original.bitsPerPixel == 8 ? want[x] : want[x * 3 + k]);
                    squares += d * d;
                }
        }
        GdipBitmapUnlockBits(bitmap, &data);
        const double mse = squares / (3.0 * original.width * original.height);
        psnr = mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
    }
    if (bitmap != nullptr) GdipDisposeImage(bitmap);
    stream->Release();
    return psnr;
}

class JpegEncoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &input, nullptr), Gdiplus::Ok);
    }
    void TearDown() override { Gdiplus::GdiplusShutdown(token_); }
    ULONG_PTR token_ = 0;
};

TEST_F(JpegEncoderTest, PicturesDecodeToTheFrameWithinTheirFloor) {
    struct Row {
        const char *name;
        int width, height;
        bool grey, noisy;
        int quality;
        int components;
        double floorDb;
    } rows[] = {
        // Floors a few dB under what libjpeg-turbo 2.1.5 gives.
        {"colour, 432 x 576, q90", 432, 576, false, false, 90, 3, 46},
        {"colour, 432 x 576, q75", 432, 576, false, false, 75, 3, 42},
        {"noisy colour, q90", 432, 576, false, true, 90, 3, 35},
        // Pictures past the encoder's first 64 KB of output.
        {"noisy colour, q100", 432, 576, false, true, 100, 3, 44},
        // Rows padded to 4 bytes; a width and height no block size divides.
        {"colour, 101 x 37", 101, 37, false, false, 90, 3, 38},
        {"grey, 432 x 576, q90", 432, 576, true, false, 90, 1, 50},
        {"grey, 101 x 37", 101, 37, true, true, 90, 1, 38},
    };
    cli::JpegEncoder encoder;
    ASSERT_TRUE(encoder.Ready());
    for (const Row &row : rows) {
        const Picture picture = TestPicture(row.width, row.height, row.grey, row.noisy);
        std::vector<uint8_t> jpeg;
        ASSERT_TRUE(encoder.Encode(picture.bottomUp.data(), row.width, row.height, picture.stride, picture.bitsPerPixel,
                                   row.quality, jpeg))
            << row.name;
        EXPECT_EQ(Components(jpeg), row.components) << row.name << ": colour components";
        std::string problem;
        const double psnr = DecodedPsnr(jpeg, picture, problem);
        EXPECT_EQ(problem, "") << row.name;
        EXPECT_GE(psnr, row.floorDb) << row.name << ": " << jpeg.size() << " bytes";
        // The encoder's state carries nothing from one frame to the next.
        std::vector<uint8_t> again;
        ASSERT_TRUE(encoder.Encode(picture.bottomUp.data(), row.width, row.height, picture.stride,
                                   picture.bitsPerPixel, row.quality, again))
            << row.name;
        EXPECT_TRUE(again == jpeg) << row.name << ": the same frame encoded again differs";
    }
}

TEST_F(JpegEncoderTest, RefusesWhatItCannotEncodeAndGoesOn) {
    const Picture picture = TestPicture(16, 16, false, false);
    const uint8_t *pixels = picture.bottomUp.data();
    struct Row {
        const char *name;
        const uint8_t *pixels;
        int width, height, stride, bitsPerPixel, quality;
    } rows[] = {
        {"quality 0", pixels, 16, 16, 48, 24, 0},
        {"quality 101", pixels, 16, 16, 48, 24, 101},
        {"16 bits a pixel", pixels, 16, 16, 48, 16, 90},
        {"32 bits a pixel", pixels, 16, 16, 48, 32, 90},
        {"rows shorter than the width", pixels, 16, 16, 47, 24, 90},
        {"no width", pixels, 0, 16, 48, 24, 90},
        {"no height", pixels, 16, 0, 48, 24, 90},
        {"wider than JPEG holds", pixels, 70000, 1, 210000, 24, 90},
        {"no pixels", nullptr, 16, 16, 48, 24, 90},
    };
    cli::JpegEncoder encoder;
    for (const Row &row : rows) {
        std::vector<uint8_t> out(5, 1);
        EXPECT_FALSE(encoder.Encode(row.pixels, row.width, row.height, row.stride, row.bitsPerPixel, row.quality, out))
            << row.name;
        EXPECT_TRUE(out.empty()) << row.name << ": output left behind";
        std::vector<uint8_t> after;
        EXPECT_TRUE(encoder.Encode(pixels, 16, 16, 48, 24, 90, after)) << row.name << ": no picture after it";
    }
    // A moved-from encoder encodes nothing; the one it moved to does.
    cli::JpegEncoder moved = std::move(encoder);
    std::vector<uint8_t> out;
    EXPECT_FALSE(encoder.Encode(pixels, 16, 16, 48, 24, 90, out));
    EXPECT_TRUE(moved.Encode(pixels, 16, 16, 48, 24, 90, out));
}

}  // namespace
