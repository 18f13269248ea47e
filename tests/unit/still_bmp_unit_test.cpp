// The still image writer on its own: the headers byte by byte, the widening
// of the narrower colour modes, and what it does to files on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "imagefiles/still_bmp.h"
#include "test_support.h"

namespace {

// A frame buffer full of a pattern that differs from byte to byte.
std::vector<uint8_t> Pattern(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

}  // namespace

TEST(ExpandToBgr24, WidensEveryNarrowModeToTheColoursItWasPaintedWith) {
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
        // Two pixels, so that the step from one pixel to the next is used too.
        std::vector<uint8_t> source = row.source;
        source.insert(source.end(), row.source.begin(), row.source.end());
        uint8_t out[7] = {0, 0, 0, 0, 0, 0, 0xAA};
        stillbmp::ExpandToBgr24(source.data(), out, 2, row.mode);
        for (int pixel = 0; pixel < 2; ++pixel) {
            EXPECT_EQ(out[pixel * 3 + 0], row.blue) << row.name << ", pixel " << pixel;
            EXPECT_EQ(out[pixel * 3 + 1], row.green) << row.name << ", pixel " << pixel;
            EXPECT_EQ(out[pixel * 3 + 2], row.red) << row.name << ", pixel " << pixel;
        }
        EXPECT_EQ(out[6], 0xAA) << row.name << ": wrote past the last pixel";
    }
}

TEST(ExpandToBgr24, FiveBitChannelsSpanTheWholeEightBitRangeInOrder) {
    EXPECT_EQ(stillbmp::Widen5To8(0), 0);
    EXPECT_EQ(stillbmp::Widen5To8(31), 255);
    for (unsigned c = 1; c < 32; ++c) {
        EXPECT_GT(stillbmp::Widen5To8(c), stillbmp::Widen5To8(c - 1)) << "channel " << c;
        EXPECT_EQ(stillbmp::Widen5To8(c) >> 3, c) << "channel " << c << ": top bits kept";
    }
}

TEST(StillBmp, HeadersAreExactForEveryFrameSizeAndMode) {
    struct Size {
        int32_t width, height;
    } sizes[] = {{432, 576}, {60, 80}, {360, 480}, {300, 400}};
    for (const Size &size : sizes) {
        for (int32_t mode = 0; mode <= 3; ++mode) {
            const std::string label = std::to_string(size.width) + "x" +
                                      std::to_string(size.height) + " mode " + std::to_string(mode);
            const std::vector<uint8_t> frame(static_cast<size_t>(size.width) * size.height * 3);
            const std::string path = vt::TempPath("headers.bmp");
            ASSERT_EQ(WriteStillBmp(path.c_str(), frame.data(), size.width, size.height, mode), 1) << label;
            const std::vector<uint8_t> file = vt::ReadFileBytes(path);
            const uint32_t pixelBytes = static_cast<uint32_t>(size.width * size.height * 3);
            ASSERT_EQ(file.size(), 54u + pixelBytes) << label;

            const vt::BmpHeaders h = vt::ReadBmpHeaders(file);
            struct Field {
                const char *name;
                uint32_t value, expected;
            } fields[] = {
                {"bfType", h.file.bfType, 0x4D42},
                {"bfSize", h.file.bfSize, 54 + pixelBytes},
                {"bfReserved1", h.file.bfReserved1, 0},
                {"bfReserved2", h.file.bfReserved2, 0},
                {"bfOffBits", h.file.bfOffBits, 54},
                {"biSize", h.info.biSize, 40},
                {"biWidth", static_cast<uint32_t>(h.info.biWidth), static_cast<uint32_t>(size.width)},
                {"biHeight", static_cast<uint32_t>(h.info.biHeight), static_cast<uint32_t>(size.height)},
                {"biPlanes", h.info.biPlanes, 1},
                {"biBitCount", h.info.biBitCount, 24},
                {"biCompression", h.info.biCompression, 0},
                {"biSizeImage", h.info.biSizeImage, 0},
                {"biXPelsPerMeter", static_cast<uint32_t>(h.info.biXPelsPerMeter), 0},
                {"biYPelsPerMeter", static_cast<uint32_t>(h.info.biYPelsPerMeter), 0},
                {"biClrUsed", h.info.biClrUsed, 0},
                {"biClrImportant", h.info.biClrImportant, 0},
            };
            for (const Field &field : fields)
                EXPECT_EQ(field.value, field.expected) << label << ", " << field.name;
        }
    }
}

TEST(StillBmp, PixelsAreTheFrameInMode1AndTheWidenedFrameOtherwise) {
    const int32_t width = 60, height = 80;
    const size_t pixels = static_cast<size_t>(width) * height;
    const size_t sourceBytes[] = {pixels, pixels * 3, pixels * 2, pixels * 2};
    for (int32_t mode = 0; mode <= 3; ++mode) {
        const std::vector<uint8_t> frame = Pattern(sourceBytes[mode]);
        std::vector<uint8_t> held = frame;
        const std::string path = vt::TempPath("pixels.bmp");
        ASSERT_EQ(WriteStillBmp(path.c_str(), held.data(), width, height, mode), 1) << "mode " << mode;
        const std::vector<uint8_t> file = vt::ReadFileBytes(path);
        ASSERT_EQ(file.size(), 54 + pixels * 3) << "mode " << mode;

        std::vector<uint8_t> expected(pixels * 3);
        if (mode == 1)
            expected = frame;
        else
            stillbmp::ExpandToBgr24(frame.data(), expected.data(), pixels, mode);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + 54))
            << "mode " << mode;
        // The frame itself is left as the card delivered it.
        EXPECT_EQ(held, frame) << "mode " << mode;
    }
}

TEST(StillBmp, FilesOnDiskInEachCase) {
    const std::string existing = vt::TempPath("existing.bmp");
    struct Row {
        const char *name;
        bool holdFrame;
        std::string path;
        int result;
        size_t sizeAfter;  // 0: no file there
    } rows[] = {
        {"a longer file is truncated first", true, existing, 1, 54 + 60 * 80 * 3},
        {"no frame leaves an existing file alone", false, existing, 0, 1000000},
        {"no frame creates no file", false, vt::TempPath("no-frame.bmp"), 0, 0},
        {"a missing folder", true, vt::TempPath("missing-folder\\x.bmp"), 0, 0},
        {"an empty name", true, "", 0, 0},
    };
    for (const Row &row : rows) {
        std::vector<uint8_t> big(1000000, 0x5A);
        {
            HANDLE file = CreateFileA(existing.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(file, INVALID_HANDLE_VALUE) << row.name;
            DWORD written = 0;
            WriteFile(file, big.data(), static_cast<DWORD>(big.size()), &written, nullptr);
            CloseHandle(file);
        }
        DeleteFileA(vt::TempPath("no-frame.bmp").c_str());
        const std::vector<uint8_t> frame = Pattern(60 * 80 * 3);
        EXPECT_EQ(WriteStillBmp(row.path.c_str(), row.holdFrame ? frame.data() : nullptr, 60, 80, 1),
                  row.result)
            << row.name;
        if (row.path.empty()) continue;
        if (row.sizeAfter == 0) {
            EXPECT_FALSE(vt::FileExists(row.path)) << row.name;
        } else {
            const std::vector<uint8_t> after = vt::ReadFileBytes(row.path);
            EXPECT_EQ(after.size(), row.sizeAfter) << row.name;
            if (!row.holdFrame) { EXPECT_EQ(after, big) << row.name; }
        }
    }
}
