// Motion JPEG frames as vorlane-cli records them: 432 x 576 (the upright
// middle of the card's 768 x 576), at quality 90 (the default) and 75, on the
// virtual card's test picture, on the same with camera-like noise, and on
// the test picture in grey (colour mode 0). Figures per picture: encoding
// time (median; the goal is 40% of a frame at 25 a second), bytes against
// the BMP file of the same frame, and PSNR against the frame, decoded by
// GDI+ (another decoder than ours). `--keep FOLDER` leaves each frame as
// BMP and each picture as JPEG there, for a check with another reader.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "jpeg_encoder.h"
#include "bmp_headers.h"
#include "core/scene.h"

namespace {

constexpr int kWidth = 432;
constexpr int kHeight = 576;
constexpr int kLeft = 168;  // of the 768-wide test picture
constexpr int kRepeats = 60;

struct Frame {
    const char *name;
    int bitsPerPixel;
    int stride;
    std::vector<uint8_t> bottomUp;
};

int Stride(int bitsPerPixel) { return (kWidth * bitsPerPixel / 8 + 3) & ~3; }

// Camera-like noise: about normal, sigma 4 levels, on every channel.
int Noise(uint32_t &seed) {
    int sum = 0;
    for (int i = 0; i < 4; ++i) {
        seed = seed * 1664525u + 1013904223u;
        sum += static_cast<int>(seed >> 24);
    }
    return (sum - 4 * 128 + 37) / 37;
}

std::vector<Frame> Frames() {
    static vcard::Picture picture;
    vcard::DrawTestPicture(picture);
    Frame colour{"test picture", 24, Stride(24), {}};
    Frame noisy{"noisy picture", 24, Stride(24), {}};
    Frame grey{"grey picture", 8, Stride(8), {}};
    colour.bottomUp.assign(static_cast<size_t>(colour.stride) * kHeight, 0);
    noisy.bottomUp = colour.bottomUp;
    grey.bottomUp.assign(static_cast<size_t>(grey.stride) * kHeight, 0);
    uint32_t seed = 1;
    for (int y = 0; y < kHeight; ++y) {
        const uint8_t *in = picture.bgr + static_cast<size_t>(y) * vcard::kSceneRowBytes + kLeft * 3;
        const size_t row = static_cast<size_t>(kHeight - 1 - y);
        uint8_t *c = colour.bottomUp.data() + row * colour.stride;
        uint8_t *n = noisy.bottomUp.data() + row * noisy.stride;
        uint8_t *g = grey.bottomUp.data() + row * grey.stride;
        for (int x = 0; x < kWidth; ++x) {
            for (int k = 0; k < 3; ++k) {
                c[x * 3 + k] = in[x * 3 + k];
                const int level = in[x * 3 + k] + Noise(seed);
                n[x * 3 + k] = static_cast<uint8_t>(level < 0 ? 0 : level > 255 ? 255 : level);
            }
            g[x] = vcard::GreyOf(in[x * 3], in[x * 3 + 1], in[x * 3 + 2]);
        }
    }
    return {colour, noisy, grey};
}

size_t BmpBytes(const Frame &frame) {
    const size_t palette = frame.bitsPerPixel == 8 ? 256 * 4 : 0;
    return bmp::kHeadersBytes + palette + static_cast<size_t>(frame.stride) * kHeight;
}

// PSNR of the picture, decoded by GDI+, against the frame; -1 when it does
// not decode to the frame's size.
double DecodedPsnr(const std::vector<uint8_t> &jpeg, const Frame &frame) {
    using namespace Gdiplus::DllExports;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, jpeg.size());
    if (memory == nullptr) return -1;
    std::memcpy(GlobalLock(memory), jpeg.data(), jpeg.size());
    GlobalUnlock(memory);
    IStream *stream = nullptr;
    if (CreateStreamOnHGlobal(memory, TRUE, &stream) != S_OK) {
        GlobalFree(memory);
        return -1;
    }
    Gdiplus::GpBitmap *bitmap = nullptr;
    double psnr = -1;
    UINT width = 0, height = 0;
    if (GdipCreateBitmapFromStream(stream, &bitmap) == Gdiplus::Ok &&
        GdipGetImageWidth(bitmap, &width) == Gdiplus::Ok && GdipGetImageHeight(bitmap, &height) == Gdiplus::Ok &&
        width == kWidth && height == kHeight) {
        Gdiplus::Rect all(0, 0, kWidth, kHeight);
        Gdiplus::BitmapData data{};
        if (GdipBitmapLockBits(bitmap, &all, Gdiplus::ImageLockModeRead, PixelFormat24bppRGB, &data) == Gdiplus::Ok) {
            double squares = 0;
            for (int y = 0; y < kHeight; ++y) {
                const uint8_t *decoded = static_cast<const uint8_t *>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
                const uint8_t *original = frame.bottomUp.data() + static_cast<size_t>(kHeight - 1 - y) * frame.stride;
                for (int x = 0; x < kWidth; ++x)
                    for (int k = 0; k < 3; ++k) {
                        const int want = frame.bitsPerPixel == 8 ? original[x] : original[x * 3 + k];
                        const double d = decoded[x * 3 + k] - want;
                        squares += d * d;
                    }
            }
            GdipBitmapUnlockBits(bitmap, &data);
            const double mse = squares / (3.0 * kWidth * kHeight);
            psnr = mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
        }
    }
    if (bitmap != nullptr) GdipDisposeImage(bitmap);
    stream->Release();
    return psnr;
}

bool WriteFile(const std::string &path, const void *head, size_t headBytes, const std::vector<uint8_t> &body) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool whole = std::fwrite(head, 1, headBytes, f) == headBytes;
    whole = std::fwrite(body.data(), 1, body.size(), f) == body.size() && whole;
    return std::fclose(f) == 0 && whole;
}

bool KeepBmp(const std::string &path, const Frame &frame) {
    std::vector<uint8_t> head(BmpBytes(frame) - frame.bottomUp.size());
    const bmp::FileHeaderFields file = bmp::FileHeader(static_cast<uint32_t>(head.size()),
                                                       static_cast<uint32_t>(frame.bottomUp.size()));
    const bmp::InfoHeaderFields info = bmp::InfoHeader(kWidth, kHeight, static_cast<uint16_t>(frame.bitsPerPixel));
    std::memcpy(head.data(), &file, sizeof file);
    std::memcpy(head.data() + sizeof file, &info, sizeof info);
    for (int i = 0; frame.bitsPerPixel == 8 && i < 256; ++i) {
        const uint8_t entry[4] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0};
        std::memcpy(head.data() + bmp::kHeadersBytes + i * 4, entry, 4);
    }
    return WriteFile(path, head.data(), head.size(), frame.bottomUp);
}

}  // namespace

int main(int argc, char **argv) {
    const std::string keep = argc == 3 && std::strcmp(argv[1], "--keep") == 0 ? argv[2] : "";
    cli::JpegEncoder encoder;
    // GDI+ decodes for the PSNR figure.
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (!encoder.Ready() || Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) {
        std::fprintf(stderr, "jpeg_bench: the encoder or GDI+ did not start\n");
        return 1;
    }
    int failures = 0;
    for (const Frame &frame : Frames()) {
        if (!keep.empty()) KeepBmp(keep + "\\" + frame.name + ".bmp", frame);
        for (int quality : {90, 75}) {
            std::vector<uint8_t> jpeg;
            std::vector<double> ms;
            for (int i = 0; i < kRepeats; ++i) {
                const double start = bench::Seconds();
                if (!encoder.Encode(frame.bottomUp.data(), kWidth, kHeight, frame.stride, frame.bitsPerPixel, quality,
                                    jpeg))
                    break;
                ms.push_back((bench::Seconds() - start) * 1000);
            }
            char label[96];
            std::snprintf(label, sizeof label, "JPEG 432x576 %s q%d", frame.name, quality);
            if (ms.size() != kRepeats) {
                std::printf("BENCH %s | failed | - | the encoder refused the frame\n", label);
                ++failures;
                continue;
            }
            if (!keep.empty()) {
                char name[96];
                std::snprintf(name, sizeof name, "\\%s q%d.jpg", frame.name, quality);
                WriteFile(keep + name, "", 0, jpeg);
            }
            const double median = bench::Median(ms);
            std::printf("BENCH %s: encode | %.2f | ms | median of %d; goal at most 16 ms, 40%% of a frame at 25/s\n",
                        label, median, kRepeats);
            std::printf("BENCH %s: bytes against BMP | 1/%.1f | ratio | %zu bytes; goal at most 1/8\n", label,
                        static_cast<double>(BmpBytes(frame)) / static_cast<double>(jpeg.size()), jpeg.size());
            std::printf("BENCH %s: PSNR | %.1f | dB | decoded by GDI+; goal at least 38 dB at q90\n", label,
                        DecodedPsnr(jpeg, frame));
        }
    }
    Gdiplus::GdiplusShutdown(token);
    return failures == 0 ? 0 : 1;
}
