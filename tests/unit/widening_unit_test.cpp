// Widening the narrower colour modes to 24 bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "widening.h"

TEST(Widening, WidensEveryNarrowModeToTheColoursItWasPaintedWith) {
    struct Row {
        const char *name;
        int32_t mode;
        std::vector<uint8_t> source;  // one pixel
        uint8_t blue, green, red;
    } rows[] = {
        {"grey black", 0, {0x00}, 0, 0, 0},
        {"grey middle", 0, {0x7F}, 0x7F, 0x7F, 0x7F},
        {"grey white", 0, {0xFF}, 0xFF, 0xFF, 0xFF},
        {"16-bit black", 2, {0x00, 0x00}, 0, 0, 0},
        {"16-bit white", 2, {0xFF, 0x7F}, 255, 255, 255},
        {"16-bit pure red", 2, {0x00, 0x7C}, 0, 0, 255},
        {"16-bit pure green", 2, {0xE0, 0x03}, 0, 255, 0},
        {"16-bit pure blue", 2, {0x1F, 0x00}, 255, 0, 0},
        {"16-bit channel 1 is 8", 2, {0x21, 0x04}, 8, 8, 8},
        {"16-bit channel 16 is 132", 2, {0x10, 0x42}, 132, 132, 132},
        {"16-bit low byte first", 2, {0x34, 0x12}, 165, 140, 33},
        {"16-bit top bit ignored", 2, {0x00, 0x80}, 0, 0, 0},
        {"15-bit white", 3, {0xFF, 0x7F}, 255, 255, 255},
        {"15-bit low byte first", 3, {0x34, 0x12}, 165, 140, 33},
        {"15-bit channel 30 is 247", 3, {0xDE, 0x7B}, 247, 247, 247},
    };
    for (const Row &row : rows) {
        // Two pixels, so that the step from one pixel to the next is used
        // too, in a frame with a guard byte on each side.
        uint8_t frame[8] = {0xAA, 0, 0, 0, 0, 0, 0, 0xAA};
        std::copy(row.source.begin(), row.source.end(), frame + 1);
        std::copy(row.source.begin(), row.source.end(), frame + 1 + row.source.size());
        widening::WidenInPlace(frame + 1, 2, row.mode);
        for (int pixel = 0; pixel < 2; ++pixel) {
            EXPECT_EQ(frame[1 + pixel * 3 + 0], row.blue) << row.name << ", pixel " << pixel;
            EXPECT_EQ(frame[1 + pixel * 3 + 1], row.green) << row.name << ", pixel " << pixel;
            EXPECT_EQ(frame[1 + pixel * 3 + 2], row.red) << row.name << ", pixel " << pixel;
        }
        EXPECT_EQ(frame[0], 0xAA) << row.name << ": wrote before the frame";
        EXPECT_EQ(frame[7], 0xAA) << row.name << ": wrote past the last pixel";
    }
}

TEST(Widening, FiveBitChannelsSpanTheWholeEightBitRangeInOrder) {
    EXPECT_EQ(widening::Widen5To8(0), 0);
    EXPECT_EQ(widening::Widen5To8(31), 255);
    for (unsigned c = 1; c < 32; ++c) {
        EXPECT_GT(widening::Widen5To8(c), widening::Widen5To8(c - 1)) << "channel " << c;
        EXPECT_EQ(widening::Widen5To8(c) >> 3, c) << "channel " << c << ": top bits kept";
    }
}

// The table-driven loop, widening where the frame lies, against the plain
// one into a second buffer, for every 16-bit word and every grey byte, in
// one run so that each pixel's neighbours vary too. The frame is exactly
// the widened size, so a sanitizer sees any byte touched outside it.
TEST(Widening, EveryWordWidensAsThePlainLoopDoes) {
    struct Row {
        const char *name;
        int32_t mode;
        size_t pixels;
        size_t bytesPerPixel;
    } rows[] = {{"grey", 0, 256, 1}, {"16-bit", 2, 65536, 2}, {"15-bit", 3, 65536, 2},
                {"one grey pixel", 0, 1, 1}, {"one 16-bit pixel", 2, 1, 2}};
    for (const Row &row : rows) {
        std::vector<uint8_t> source(row.pixels * row.bytesPerPixel);
        for (size_t i = 0; i < source.size(); ++i)
            source[i] = static_cast<uint8_t>(row.bytesPerPixel == 1 ? i : i % 2 ? i >> 9 : i >> 1);
        std::vector<uint8_t> fast(row.pixels * 3), plain(row.pixels * 3);
        std::copy(source.begin(), source.end(), fast.begin());
        widening::WidenInPlace(fast.data(), row.pixels, row.mode);
        widening::ExpandToBgr24Scalar(source.data(), plain.data(), row.pixels, row.mode);
        for (size_t i = 0; i < fast.size(); ++i)
            ASSERT_EQ(fast[i], plain[i]) << row.name << ": pixel " << i / 3 << ", byte " << i % 3;
    }
}
