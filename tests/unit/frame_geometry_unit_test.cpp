// The preview's arithmetic: frame sizes, input windows and the display
// header.
#include <gtest/gtest.h>

#include <vector>

#include "frame_geometry.h"
#ifdef _WIN32
#include "preview_paint.h"
#endif

using namespace geometry;

TEST(FrameGeometry, HeightsGiveUprightFrames) {
    struct Row {
        int32_t requested, width, height;
    } rows[] = {
        {576, 432, 576}, {480, 360, 480}, {400, 300, 400}, {399, 288, 384}, {384, 288, 384},
        {575, 420, 560}, {100, 72, 96},   {80, 60, 80},    {79, 60, 80},    {0, 60, 80},
        {-5, 60, 80},    {577, 432, 576}, {100000, 432, 576}, {INT32_MIN, 60, 80},
        {INT32_MAX, 432, 576},
    };
    for (const Row &row : rows) {
        const FrameSize frame = FrameSizeForHeight(row.requested);
        EXPECT_EQ((std::vector<int32_t>{frame.width, frame.height}), (std::vector<int32_t>{row.width, row.height}))
            << "height " << row.requested << ": width, height";
    }
}

TEST(FrameGeometry, SmallFramesTakeTheUprightMiddleLargeOnesACentredCutOut) {
    struct Row {
        int32_t height;
        VideoWindow expected;
    } rows[] = {
        {80, {168, 0, 432, 576}},    {384, {168, 0, 432, 576}}, {400, {234, 88, 300, 400}},
        {480, {204, 48, 360, 480}},  {576, {168, 0, 432, 576}}, {560, {174, 8, 420, 560}},
    };
    for (const Row &row : rows) {
        const VideoWindow got = InputWindowFor(FrameSizeForHeight(row.height)), &want = row.expected;
        EXPECT_EQ((std::vector<int32_t>{got.left, got.top, got.width, got.height}),
                  (std::vector<int32_t>{want.left, want.top, want.width, want.height}))
            << "height " << row.height << ": left, top, width, height";
    }
}

#ifdef _WIN32
TEST(FrameGeometry, DisplayHeaderDescribesTheFrame) {
    for (int32_t mode = 0; mode <= 3; ++mode) {
        const preview::DisplayInfo display = preview::DisplayInfoFor({300, 400}, mode);
        const BITMAPINFOHEADER &h = display.get()->bmiHeader;
        EXPECT_EQ(h.biSize, 40u) << "mode " << mode;
        EXPECT_EQ(h.biWidth, 300) << "mode " << mode;
        EXPECT_EQ(h.biHeight, 400) << "mode " << mode;
        EXPECT_EQ(h.biPlanes, 1) << "mode " << mode;
        EXPECT_EQ(h.biBitCount, mode == 0 ? 8 : mode == 1 ? 24 : 16) << "mode " << mode;
        EXPECT_EQ(h.biCompression, static_cast<DWORD>(BI_RGB)) << "mode " << mode;
        EXPECT_EQ(h.biSizeImage + h.biClrUsed + h.biClrImportant, 0u) << "mode " << mode;
        const bmp::PaletteEntry last = display.colors[255];
        // Only the 8-bit frame needs (and gets) a grey table.
        EXPECT_EQ(last.rgbBlue, mode == 0 ? 255 : 0) << "mode " << mode;
        EXPECT_EQ(last.rgbRed, mode == 0 ? 255 : 0) << "mode " << mode;
    }
}
#endif
