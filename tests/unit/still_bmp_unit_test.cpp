// The still image writer on its own: the headers byte by byte, the frame's
// 24-bit pixels as they lie, and what it does to files on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "still_bmp.h"
#include "test_support.h"

namespace {

// A frame buffer full of a pattern that differs from byte to byte.
std::vector<uint8_t> Pattern(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

}  // namespace

// Headers byte by byte and the frame's pixels after them unchanged; a
// buffer larger than the frame (the card's has room for more) adds nothing.
TEST(StillBmp, WritesEveryFrameSize) {
    struct Size {
        int32_t width, height;
    } sizes[] = {{432, 576}, {60, 80}, {360, 480}, {300, 400}};
    for (const Size &size : sizes) {
        const std::string label = std::to_string(size.width) + "x" + std::to_string(size.height);
        const size_t pixels = static_cast<size_t>(size.width) * size.height;
        const std::vector<uint8_t> frame = Pattern(pixels * 3);
        std::vector<uint8_t> held = frame;
        held.resize(pixels * 4, 0xEE);
        const std::string path = vt::TempPath("still.bmp");
        ASSERT_EQ(WriteStillBmp(path.c_str(), held.data(), size.width, size.height), 1) << label;
        const std::vector<uint8_t> file = vt::ReadFileBytes(path);
        const uint32_t pixelBytes = static_cast<uint32_t>(pixels * 3);
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

        EXPECT_TRUE(std::equal(frame.begin(), frame.end(), file.begin() + 54)) << label << ": pixels";
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
        const std::vector<uint8_t> big(1000000, 0x5A);
        vt::WriteBytes(existing, big);
        DeleteFileA(vt::TempPath("no-frame.bmp").c_str());
        const std::vector<uint8_t> frame = Pattern(60 * 80 * 3);
        EXPECT_EQ(WriteStillBmp(row.path.c_str(), row.holdFrame ? frame.data() : nullptr, 60, 80),
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
