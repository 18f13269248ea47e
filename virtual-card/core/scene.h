// The picture the virtual card's camera sees: a still background (built-in
// test picture or a BMP file) with moving parts over it, adjusted by the A/D
// values and delivered in the card's colour codes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vcard {

constexpr int kSceneWidth = 768;
constexpr int kSceneHeight = 576;
constexpr int kSceneRowBytes = kSceneWidth * 3;
constexpr int kSceneBytes = kSceneRowBytes * kSceneHeight;

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
