// The built-in picture the card delivers: its A/D values and its moving parts.
//
// With no capture started the frame count stays 0, so the moving parts sit
// still: the bar covers scene columns 0-23 and the ball about 508-560 x
// 262-314. Windows that check exact pixels keep clear of both.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "card_library.h"
#include "test_support.h"
#include "virtual_card_fixture.h"
#include "vcard_control.h"

namespace {

using vt::Bytes;
using vt::FramePixel;
using vt::Poll;
using vt::ReadFrame;
using vt::Rgb;
using VirtualCardTest = vt::VirtualCardTest;

// Over a frame of the built-in picture: 0 mean luma (brightness), 1 spread
// about the middle (contrast), 2 colourfulness (saturation).
double MeanOf(const Bytes &bgr, int which) {
    double sum = 0;
    size_t n = bgr.size() / 3;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t *p = &bgr[i * 3];
        int lo = std::min({p[0], p[1], p[2]}), hi = std::max({p[0], p[1], p[2]});
        double luma = 0.114 * p[0] + 0.587 * p[1] + 0.299 * p[2];
        sum += which == 0 ? luma : (which == 1 ? (luma - 128) * (luma - 128) : hi - lo);
    }
    return sum / static_cast<double>(n);
}

TEST_F(VirtualCardTest, AdValuesChangeTheBuiltInPicture) {
    struct Row {
        const char *name;
        int selector, value, measure;
        double least, most;  // of the neutral picture's measure
    } rows[] = {{"brightness up", 1, 200, 0, 1.1, 1e9},  {"brightness down", 1, 50, 0, 0, 0.9},
                {"contrast up", 2, 220, 1, 1.1, 1e9},    {"contrast down", 2, 40, 1, 0, 0.9},
                {"saturation up", 4, 230, 2, 1.1, 1e9},  {"saturation down", 4, 30, 2, 0, 0.9},
                {"saturation 0 is grey", 4, 0, 2, 0, 0.01}};
    const auto read = [] { return ReadFrame(100, 0, 400, 576, 200, 288, 1); };
    const double neutral[3] = {MeanOf(read(), 0), MeanOf(vt::LastFrame(), 1), MeanOf(vt::LastFrame(), 2)};
    for (const Row &row : rows) {
        VcReset();
        CG400SetADParam(VC_DEFAULT_HANDLE, row.selector, row.value);
        const double value = MeanOf(read(), row.measure);
        EXPECT_GE(value, neutral[row.measure] * row.least) << row.name;
        EXPECT_LE(value, neutral[row.measure] * row.most) << row.name;
    }
}

TEST_F(VirtualCardTest, PictureMovesWithTheFrameCount) {
    VcSetStatusMode(VC_STATUS_EVERY_POLL);
    Bytes first = ReadFrame(168, 0, 432, 576, 288, 384, 1);
    EXPECT_EQ(ReadFrame(168, 0, 432, 576, 288, 384, 1), first) << "no frame finished between the reads";
    Poll(1);
    EXPECT_NE(ReadFrame(168, 0, 432, 576, 288, 384, 1), first) << "a frame finished between the reads";
}

// Where the bar sweeps off the right edge it comes in again on the left:
// each frame as delivered after the ones before must equal the same frame
// drawn afresh, with nothing left where the bar or the ball was.
TEST_F(VirtualCardTest, MovingPartsLeaveNothingBehind) {
    VcSetStatusMode(VC_STATUS_EVERY_POLL);
    const int kFrames[] = {0, 1, 2, 60, 61, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99, 100};
    int frame = 0;
    for (int wanted : kFrames) {
        Poll(wanted - frame);
        frame = wanted;
        const Bytes delivered = ReadFrame(0, 0, 768, 576, 768, 576, 1);
        VcSetScenePicture("");  // the next read draws the whole picture again
        const Bytes fresh = ReadFrame(0, 0, 768, 576, 768, 576, 1);
        int stale = 0;
        std::string first;
        for (int y = 0; y < 576; ++y)
            for (int x = 0; x < 768; ++x) {
                const Rgb got = FramePixel(delivered, 768, 576, x, y), want = FramePixel(fresh, 768, 576, x, y);
                if (got.r == want.r && got.g == want.g && got.b == want.b) continue;
                if (stale++ == 0) first = "x " + std::to_string(x) + ", y " + std::to_string(y);
            }
        EXPECT_EQ(stale, 0) << "frame " << frame << ": stale pixels, first at " << first;
    }
}

}  // namespace
