// The picture the virtual card's camera sees: a still background (built-in
// test picture or a BMP file) with moving parts over it, adjusted by the A/D
// values and delivered in the card's colour codes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vcard {

constexpr int kSceneWidth = 768;
constexpr int kSceneHeight = 576;
constexpr int kSceneBytes = kSceneWidth * kSceneHeight * 3;

// One 768 x 576 picture, rows top-down, 3 bytes a pixel in B, G, R order
// (the order of the 24-bit colour code, so that mode is a plain copy).
struct Picture {
    uint8_t bgr[kSceneBytes];
};

struct Window {
    int left;
    int top;
    int width;
    int height;
};

struct AdSettings {
    int brightness;  // selector 1
    int contrast;    // selector 2
    int saturation;  // selector 4
};

// --- Pure arithmetic ---

// Bytes per pixel of a colour code: 1, 3, 2, 2; 0 for an unknown code.
int BytesPerPixel(int colorCode);
uint8_t GreyOf(uint8_t b, uint8_t g, uint8_t r);
// 0RRRRRGGGGGBBBBB.
uint16_t Pack555(uint8_t b, uint8_t g, uint8_t r);
// Nearest source sample for output position `out` of `outSize` taken from
// `inSize` samples starting at `inStart`.
int SourceIndex(int out, int outSize, int inStart, int inSize);
// Brightness and contrast on one channel; 128 is neutral for both.
uint8_t AdjustLevel(int level, int brightness, int contrast);
// Saturation, then brightness and contrast, on one B, G, R pixel.
void AdjustPixel(const uint8_t in[3], uint8_t out[3], const AdSettings &ad);
// The input window clamped into the 768 x 576 frame, at least 1 x 1.
Window ClampToFrame(Window w);

// The largest picture the card takes, as wide as it is high.
constexpr int kMaxPictureSide = 4096;
// Enough of a file's start for every header check.
constexpr size_t kBmpHeadBytes = 54;  // the file and info headers

// Where the pixels of a checked 24-bit BMP file lie.
struct BmpLayout {
    int width;
    int height;
    bool bottomUp;
    uint64_t pixelOffset;
    uint64_t stride;  // rows are padded to 4 bytes
};

// Checks the headers of an uncompressed 24-bit BMP file of `fileSize` bytes
// whose first bytes are `head` (kBmpHeadBytes of them, or the whole file if
// shorter): up to kMaxPictureSide on each side, every pixel inside the file.
// On failure writes why into `why` (a sentence without the file's name).
bool CheckBmp24(const uint8_t *head, size_t headBytes, uint64_t fileSize, BmpLayout &layout,
                char *why, size_t whyBytes);

// Where a width x height picture lands in the 768 x 576 frame, the way a
// PAL source shows it: scaled to fit, proportions kept, centred.
Window FitInFrame(int width, int height);

// Reads `bytes` bytes at `offset` of a picture file; false when it cannot.
using ReadAt = bool (*)(void *file, uint64_t offset, uint8_t *into, size_t bytes);

// Draws a checked picture fitted into `out` with black bars around it,
// asking for the file's rows in the order they lie in the file. False when
// a read fails; `out` is then partly drawn.
bool DrawFitted(const BmpLayout &layout, ReadAt read, void *file, Picture &out);

void DrawTestPicture(Picture &out);

// --- The scene with its caches ---

// All zero is a valid start: nothing is computed until the first render.
struct Scene {
    Picture background;
    Picture adjusted;  // background after the A/D values
    Picture composed;  // adjusted plus the moving parts
    bool backgroundReady;
    bool adjustedValid;
    AdSettings adjustedFor;
    Window dirty[8];  // where `composed` differs from `adjusted`
    int dirtyCount;
    bool footage;  // recorded pictures move by themselves: no bar, no ball
};

// Replaces the background (nullptr: the built-in test picture). Footage
// pictures come without the moving parts.
void SetBackground(Scene &scene, const Picture *picture, bool footage = false);

// Renders frame number `frame` into `out`: the input window scaled to
// width x height, rows bottom-up, unpadded. Returns the byte count;
// `out` must hold width x height x 3 bytes.
size_t RenderFrame(Scene &scene, const Window &input, int width, int height, int colorCode,
                   const AdSettings &ad, int64_t frame, uint8_t *out);

}  // namespace vcard
