#include "core/scene.h"

#include <cmath>
#include <cstring>

namespace vcard {

namespace {

// The moving parts. A bar sweeps across the whole frame and a ball circles
// the centre, so some motion shows through any input window.
constexpr int kBarWidth = 24;
constexpr int kBarStep = 8;  // pixels per frame
constexpr int kOrbitRadius = 150;
constexpr int kBallRadius = 26;
constexpr int kFramesPerOrbit = 100;

int Clamp(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

uint8_t ClampByte(int v) {
    return static_cast<uint8_t>(Clamp(v, 0, 255));
}

void SetPixel(Picture &p, int x, int y, int r, int g, int b) {
    uint8_t *px = p.bgr + y * kSceneRowBytes + x * 3;
    px[0] = ClampByte(b);
    px[1] = ClampByte(g);
    px[2] = ClampByte(r);
}

// Fully saturated colour for hue 0..1535 (six 256-step sextants).
void HueColour(int hue, int &r, int &g, int &b) {
    int f = hue & 255;
    switch (hue >> 8) {
        case 0: r = 255, g = f, b = 0; break;
        case 1: r = 255 - f, g = 255, b = 0; break;
        case 2: r = 0, g = 255, b = f; break;
        case 3: r = 0, g = 255 - f, b = 255; break;
        case 4: r = f, g = 0, b = 255; break;
        default: r = 255, g = 0, b = 255 - f; break;
    }
}

void EnsureBackground(Scene &scene) {
    if (!scene.backgroundReady) {
        DrawTestPicture(scene.background);
        scene.backgroundReady = true;
        scene.adjustedValid = false;
    }
}

bool SameAd(const AdSettings &a, const AdSettings &b) {
    return a.brightness == b.brightness && a.contrast == b.contrast &&
           a.saturation == b.saturation;
}

void EnsureAdjusted(Scene &scene, const AdSettings &ad) {
    if (scene.adjustedValid && SameAd(scene.adjustedFor, ad)) return;
    const uint8_t *src = scene.background.bgr;
    uint8_t *dst = scene.adjusted.bgr;
    if (ad.brightness == 128 && ad.contrast == 128 && ad.saturation == 128) {
        std::memcpy(dst, src, kSceneBytes);
    } else if (ad.saturation == 128) {
        uint8_t levels[256];
        for (int i = 0; i < 256; ++i) levels[i] = AdjustLevel(i, ad.brightness, ad.contrast);
        for (int i = 0; i < kSceneBytes; ++i) dst[i] = levels[src[i]];
    } else {
        for (int i = 0; i < kSceneBytes; i += 3) AdjustPixel(src + i, dst + i, ad);
    }
    std::memcpy(scene.composed.bgr, dst, kSceneBytes);
    scene.dirtyCount = 0;
    scene.adjustedFor = ad;
    scene.adjustedValid = true;
}

void RestoreDirty(Scene &scene) {
    for (int i = 0; i < scene.dirtyCount; ++i) {
        const Window &w = scene.dirty[i];
        for (int y = w.top; y < w.top + w.height; ++y) {
            size_t at = static_cast<size_t>(y * kSceneRowBytes + w.left * 3);
            std::memcpy(scene.composed.bgr + at, scene.adjusted.bgr + at,
                        static_cast<size_t>(w.width) * 3);
        }
    }
    scene.dirtyCount = 0;
}

void MarkDirty(Scene &scene, const Window &w) {
    if (w.width > 0 && w.height > 0 && scene.dirtyCount < 8) scene.dirty[scene.dirtyCount++] = w;
}

// A translucent white bar, brightest in the middle, blended in the adjusted
// picture so it follows the A/D values like everything else.
void DrawBar(Scene &scene, const AdSettings &ad, int64_t frame) {
    const uint8_t white[3] = {255, 255, 255};
    uint8_t lit[3];
    AdjustPixel(white, lit, ad);
    int left = static_cast<int>((frame * kBarStep) % kSceneWidth);
    for (int i = 0; i < kBarWidth; ++i) {
        int x = (left + i) % kSceneWidth;
        int fromMiddle = 2 * i - (kBarWidth - 1);  // odd, -23..23
        if (fromMiddle < 0) fromMiddle = -fromMiddle;
        int alpha = 200 - fromMiddle * 6;  // out of 256
        uint8_t *px = scene.composed.bgr + x * 3;
        for (int y = 0; y < kSceneHeight; ++y, px += kSceneRowBytes) {
            for (int c = 0; c < 3; ++c) px[c] = ClampByte(px[c] + ((lit[c] - px[c]) * alpha >> 8));
        }
    }
    int firstWidth = kSceneWidth - left < kBarWidth ? kSceneWidth - left : kBarWidth;
    MarkDirty(scene, Window{left, 0, firstWidth, kSceneHeight});
    MarkDirty(scene, Window{0, 0, kBarWidth - firstWidth, kSceneHeight});
}

// An orange ball with a highlight and a dark rim, circling the centre.
void DrawBall(Scene &scene, const AdSettings &ad, int64_t frame) {
    const double kTwoPi = 6.283185307179586;
    double angle = kTwoPi * static_cast<double>(frame % kFramesPerOrbit) / kFramesPerOrbit;
    int cx = kSceneWidth / 2 + static_cast<int>(std::lround(kOrbitRadius * std::cos(angle)));
    int cy = kSceneHeight / 2 + static_cast<int>(std::lround(kOrbitRadius * std::sin(angle)));
    int x0 = Clamp(cx - kBallRadius, 0, kSceneWidth), x1 = Clamp(cx + kBallRadius + 1, 0, kSceneWidth);
    int y0 = Clamp(cy - kBallRadius, 0, kSceneHeight), y1 = Clamp(cy + kBallRadius + 1, 0, kSceneHeight);
    const int r2 = kBallRadius * kBallRadius;
    const int rim2 = (kBallRadius - 2) * (kBallRadius - 2);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            int dx = x - cx, dy = y - cy;
            int d2 = dx * dx + dy * dy;
            if (d2 > r2) continue;
            uint8_t base[3];
            if (d2 > rim2) {
                base[0] = 20, base[1] = 40, base[2] = 90;
            } else {
                // Light from the upper left.
                int hx = dx + 9, hy = dy + 9;
                int shine = 255 - (hx * hx + hy * hy) * 255 / (4 * r2);
                shine = Clamp(shine, 0, 255);
                base[0] = ClampByte(20 + shine * 70 / 255);
                base[1] = ClampByte(100 + shine * 120 / 255);
                base[2] = ClampByte(170 + shine * 85 / 255);
            }
            AdjustPixel(base, scene.composed.bgr + y * kSceneRowBytes + x * 3, ad);
        }
    }
    MarkDirty(scene, Window{x0, y0, x1 - x0, y1 - y0});
}

}  // namespace

int BytesPerPixel(int colorCode) {
    switch (colorCode) {
        case 0: return 1;
        case 1: return 3;
        case 2:
        case 3: return 2;
        default: return 0;
    }
}

uint8_t GreyOf(uint8_t b, uint8_t g, uint8_t r) {
    return static_cast<uint8_t>((77 * r + 150 * g + 29 * b + 128) >> 8);
}

uint16_t Pack555(uint8_t b, uint8_t g, uint8_t r) {
    return static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
}

int SourceIndex(int out, int outSize, int inStart, int inSize) {
    // Sample at the centre of each output pixel.
    int64_t at = (2 * static_cast<int64_t>(out) + 1) * inSize / (2 * static_cast<int64_t>(outSize));
    return inStart + static_cast<int>(at);
}

uint8_t AdjustLevel(int level, int brightness, int contrast) {
    brightness = Clamp(brightness, 0, 255);
    contrast = Clamp(contrast, 0, 255);
    return ClampByte((level - 128) * contrast / 128 + 128 + (brightness - 128));
}

void AdjustPixel(const uint8_t in[3], uint8_t out[3], const AdSettings &ad) {
    int saturation = Clamp(ad.saturation, 0, 255);
    int grey = GreyOf(in[0], in[1], in[2]);
    for (int c = 0; c < 3; ++c) {
        int v = grey + (in[c] - grey) * saturation / 128;
        out[c] = AdjustLevel(Clamp(v, 0, 255), ad.brightness, ad.contrast);
    }
}

Window ClampToFrame(Window w) {
    w.left = Clamp(w.left, 0, kSceneWidth - 1);
    w.top = Clamp(w.top, 0, kSceneHeight - 1);
    w.width = Clamp(w.width, 1, kSceneWidth - w.left);
    w.height = Clamp(w.height, 1, kSceneHeight - w.top);
    return w;
}

void DrawTestPicture(Picture &out) {
    // Rows 0-215: eight full colour bars.
    static const uint8_t kBars[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255},
                                        {0, 255, 0},     {255, 0, 255}, {255, 0, 0},
                                        {0, 0, 255},     {0, 0, 0}};  // R, G, B
    for (int y = 0; y < 216; ++y)
        for (int x = 0; x < kSceneWidth; ++x) {
            const uint8_t *c = kBars[x / 96];
            SetPixel(out, x, y, c[0], c[1], c[2]);
        }
    // Rows 216-287: a smooth grey ramp; 288-335: twelve grey steps.
    for (int y = 216; y < 336; ++y)
        for (int x = 0; x < kSceneWidth; ++x) {
            int v = y < 288 ? x * 255 / (kSceneWidth - 1) : (x / 64) * 255 / 11;
            SetPixel(out, x, y, v, v, v);
        }
    // Rows 336-431: the hue circle, saturated above, pastel below.
    for (int y = 336; y < 432; ++y)
        for (int x = 0; x < kSceneWidth; ++x) {
            int r, g, b;
            HueColour(x * 1536 / kSceneWidth, r, g, b);
            if (y >= 384) r = (r + 192) / 2, g = (g + 192) / 2, b = (b + 192) / 2;
            SetPixel(out, x, y, r, g, b);
        }
    // Rows 432-575: natural colour patches (skin, sky, foliage, ...) on dark grey.
    static const uint8_t kPatches[12][3] = {
        {115, 82, 68},  {194, 150, 130}, {98, 122, 157}, {87, 108, 67},
        {133, 128, 177}, {103, 189, 170}, {214, 126, 44}, {80, 91, 166},
        {193, 90, 99},  {94, 60, 108},   {157, 188, 64}, {224, 163, 46}};
    for (int y = 432; y < kSceneHeight; ++y)
        for (int x = 0; x < kSceneWidth; ++x) {
            int px = x % 128, py = (y - 432) % 72;
            bool gap = px < 4 || px >= 124 || py < 4 || py >= 68;
            const uint8_t *c = kPatches[((y - 432) / 72) * 6 + x / 128];
            if (gap) {
                SetPixel(out, x, y, 40, 40, 40);
            } else {
                SetPixel(out, x, y, c[0], c[1], c[2]);
            }
        }
}

void SetBackground(Scene &scene, const Picture *picture, bool footage) {
    scene.footage = footage;
    if (picture != nullptr) {
        std::memcpy(scene.background.bgr, picture->bgr, kSceneBytes);
        scene.backgroundReady = true;
    } else {
        scene.backgroundReady = false;
    }
    scene.adjustedValid = false;
}

size_t RenderFrame(Scene &scene, const Window &input, int width, int height, int colorCode,
                   const AdSettings &ad, int64_t frame, uint8_t *out) {
    int bpp = BytesPerPixel(colorCode);
    width = Clamp(width, 0, kSceneWidth);
    height = Clamp(height, 0, kSceneHeight);
    if (bpp == 0 || width == 0 || height == 0) return 0;

    EnsureBackground(scene);
    EnsureAdjusted(scene, ad);
    RestoreDirty(scene);
    if (!scene.footage) {
        DrawBar(scene, ad, frame < 0 ? 0 : frame);
        DrawBall(scene, ad, frame < 0 ? 0 : frame);
    }

    Window in = ClampToFrame(input);
    int columns[kSceneWidth];
    for (int x = 0; x < width; ++x) columns[x] = SourceIndex(x, width, in.left, in.width) * 3;
    const bool fullScale = in.width == width;
    const size_t outRow = static_cast<size_t>(width) * static_cast<size_t>(bpp);

    for (int r = 0; r < height; ++r) {
        // Bottom-up: the first row delivered is the bottom of the picture.
        int sy = SourceIndex(height - 1 - r, height, in.top, in.height);
        const uint8_t *src = scene.composed.bgr + sy * kSceneRowBytes;
        uint8_t *dst = out + outRow * static_cast<size_t>(r);
        switch (colorCode) {
            case 0:
                for (int x = 0; x < width; ++x) {
                    const uint8_t *p = src + columns[x];
                    dst[x] = GreyOf(p[0], p[1], p[2]);
                }
                break;
            case 1:
                if (fullScale) {
                    std::memcpy(dst, src + in.left * 3, outRow);
                } else {
                    for (int x = 0; x < width; ++x, dst += 3) {
                        const uint8_t *p = src + columns[x];
                        dst[0] = p[0], dst[1] = p[1], dst[2] = p[2];
                    }
                }
                break;
            default:
                for (int x = 0; x < width; ++x, dst += 2) {
                    const uint8_t *p = src + columns[x];
                    uint16_t v = Pack555(p[0], p[1], p[2]);
                    dst[0] = static_cast<uint8_t>(v & 0xFF);
                    dst[1] = static_cast<uint8_t>(v >> 8);
                }
                break;
        }
    }
    return outRow * static_cast<size_t>(height);
}

}  // namespace vcard
