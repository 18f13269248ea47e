#include "core/movie_frames.h"

#include <cstdio>

#include "core/picture_decoding.h"

namespace vcard {

bool CheckMovieFrames(const avi::Movie &movie, char *why, size_t whyBytes) {
    const int64_t width = movie.info.biWidth, height = movie.info.biHeight;
    // DrawFitted holds one row of the widest picture.
    if (width > kMaxPictureSide || height > kMaxPictureSide) {
        if (why != nullptr && whyBytes > 0)
            std::snprintf(why, whyBytes, "its frames are %lld x %lld pixels, larger than %d x %d",
                          static_cast<long long>(width), static_cast<long long>(height), kMaxPictureSide,
                          kMaxPictureSide);
        return false;
    }
    return true;
}

int64_t StepAtCardFrame(const avi::Movie &movie, int64_t cardFrame) {
    if (cardFrame <= 0 || movie.rate == 0 || movie.scale == 0) return 0;
    const int64_t rate = movie.rate;
    const int64_t perCardSecond = int64_t{25} * movie.scale;
    // Exact while the product fits; beyond that (years of playing) near enough.
    if (cardFrame <= INT64_MAX / rate) return cardFrame * rate / perCardSecond;
    const long double step = static_cast<long double>(cardFrame) * static_cast<long double>(rate) /
                             static_cast<long double>(perCardSecond);
    return step < static_cast<long double>(INT64_MAX / 2) ? static_cast<int64_t>(step) : INT64_MAX / 2;
}

bool DrawRawFrame(const avi::Movie &movie, const uint8_t *data, size_t size, Picture &out,
                  std::vector<uint8_t> &scratch) {
    const int width = movie.info.biWidth, height = movie.info.biHeight;
    if (movie.codec != avi::Codec::kRaw || data == nullptr || size != movie.frameBytes) return false;
    const uint64_t stride24 = avi::DibBytes(width, 1, 24);
    BmpLayout layout{width, height, true, 0, stride24};
    avi::MemoryFile file{data, size};
    if (movie.info.biBitCount == 8) {
        // Widened through the palette into a 24-bit DIB of the same rows.
        const uint64_t stride8 = avi::DibBytes(width, 1, 8);
        scratch.assign(static_cast<size_t>(stride24 * static_cast<uint64_t>(height)), 0);
        for (int y = 0; y < height; ++y) {
            const uint8_t *in = data + stride8 * static_cast<uint64_t>(y);
            uint8_t *to = scratch.data() + stride24 * static_cast<uint64_t>(y);
            for (int x = 0; x < width; ++x, to += 3) {
                // Indexes past the palette's entries are black, as Windows shows them.
                if (in[x] >= movie.paletteEntries) continue;
                const bmp::PaletteEntry &colour = movie.palette[in[x]];
                to[0] = colour.rgbBlue;
                to[1] = colour.rgbGreen;
                to[2] = colour.rgbRed;
            }
        }
        file = avi::MemoryFile{scratch.data(), scratch.size()};
    }
    return DrawFitted(layout, avi::ReadMemory, &file, out);
}

bool DrawTopDownFrame(const uint8_t *bgr, int width, int height, Picture &out) {
    if (bgr == nullptr || width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide)
        return false;
    const uint64_t stride = static_cast<uint64_t>(width) * 3;
    avi::MemoryFile file{bgr, stride * static_cast<uint64_t>(height)};
    return DrawFitted(BmpLayout{width, height, false, 0, stride}, avi::ReadMemory, &file, out);
}

}  // namespace vcard
