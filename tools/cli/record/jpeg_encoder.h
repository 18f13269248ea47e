// Motion JPEG frames for recordings: one frame in, one JPEG picture out.
#pragma once

#include <cstdint>
#include <vector>

namespace cli {

// The encoder's state, set up once for a recording and reused for every
// frame. Move-only; released when it goes.
class JpegEncoder {
public:
    JpegEncoder();
    ~JpegEncoder();
    JpegEncoder(JpegEncoder &&other) noexcept;
    JpegEncoder &operator=(JpegEncoder &&other) noexcept;
    JpegEncoder(const JpegEncoder &) = delete;
    JpegEncoder &operator=(const JpegEncoder &) = delete;

    // False when the library could not be set up; Encode then fails.
    bool Ready() const { return state_ != nullptr; }

    // Rows bottom-up as in a BMP, `stride` bytes apart; 24 bits a pixel in
    // B, G, R order, or 8 bits of grey (stored as a grey JPEG). `quality`
    // 1..100. Replaces `out` with the whole picture; false, with `out` empty,
    // on bad arguments or when the library fails.
    bool Encode(const uint8_t *bottomUpPixels, int width, int height, int stride, int bitsPerPixel,
                int quality, std::vector<uint8_t> &out);

    struct State;

private:
    State *state_ = nullptr;
};

}  // namespace cli
