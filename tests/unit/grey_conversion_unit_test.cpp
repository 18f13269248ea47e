// The grey conversion's arithmetic and header rules, linked directly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "core/grey_plan.h"
#include "grey_source_rule.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// The weighting written plainly, with a real division.
unsigned ReferenceGrey(unsigned blue, unsigned green, unsigned red) {
    return (3 * blue + 6 * green + red) / 10;
}

// A header's bytes, so that a failure shows the field that differs.
template <typename Header>
std::vector<uint8_t> BytesOf(const Header &header) {
    const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&header);
    return std::vector<uint8_t>(bytes, bytes + sizeof header);
}

}  // namespace

TEST(GreyArithmetic, TenthByMultiplyAndShiftIsExactOverEveryWeightedSum) {
    for (unsigned sum = 0; sum <= grey::kMaxWeightedSum; ++sum)
        ASSERT_EQ(grey::TenthOfWeightedSum(sum), sum / 10) << "sum " << sum;
}

TEST(GreyArithmetic, EveryColourConvertsAsTheWeightingSays) {
    // All 2^24 pixels in one run, through the loop the library uses (vector
    // where the processor has it) and through the plain one.
    const size_t count = size_t{1} << 24;
    std::vector<uint8_t> bgr(count * 3);
    for (size_t k = 0; k < count; ++k) {
        bgr[3 * k] = static_cast<uint8_t>(k);
        bgr[3 * k + 1] = static_cast<uint8_t>(k >> 8);
        bgr[3 * k + 2] = static_cast<uint8_t>(k >> 16);
    }
    std::vector<uint8_t> fast(count), plain(count);
    grey::ConvertPixels(bgr.data(), fast.data(), count);
    grey::ConvertPixelsScalar(bgr.data(), plain.data(), count);
    for (size_t k = 0; k < count; ++k) {
        const unsigned expected = ReferenceGrey(bgr[3 * k], bgr[3 * k + 1], bgr[3 * k + 2]);
        if (fast[k] != expected || plain[k] != expected)
            FAIL() << "blue " << int{bgr[3 * k]} << " green " << int{bgr[3 * k + 1]} << " red "
                   << int{bgr[3 * k + 2]} << ": expected " << expected << ", vector loop "
                   << int{fast[k]} << ", plain loop " << int{plain[k]};
    }
}

// The vector loop must neither read past the last source pixel nor write
// past the last grey byte, for every length and its tail.
TEST(GreyArithmetic, RunsOfEveryLengthStayInsideTheirBuffers) {
#ifdef _WIN32
    // Under Wine the source ends exactly where an inaccessible page begins.
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const size_t page = system.dwPageSize;
    uint8_t *pages = static_cast<uint8_t *>(VirtualAlloc(nullptr, 2 * page, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &old));
#endif
    std::mt19937 random(7);
    for (size_t count = 0; count <= 100; ++count) {
#ifdef _WIN32
        uint8_t *bgr = pages + page - 3 * count;
#else
        // Natively the address sanitizer guards a block of exactly that size.
        std::vector<uint8_t> exact(3 * count);
        uint8_t *bgr = exact.data();
#endif
        for (size_t i = 0; i < 3 * count; ++i) bgr[i] = static_cast<uint8_t>(random());
        std::vector<uint8_t> out(count + 16, 0xA5);
        grey::ConvertPixels(bgr, out.data(), count);
        for (size_t k = 0; k < count; ++k)
            ASSERT_EQ(out[k], ReferenceGrey(bgr[3 * k], bgr[3 * k + 1], bgr[3 * k + 2]))
                << "count " << count << ", pixel " << k;
        for (size_t k = count; k < out.size(); ++k)
            ASSERT_EQ(out[k], 0xA5) << "count " << count << ": byte " << k << " written";
    }
#ifdef _WIN32
    VirtualFree(pages, 0, MEM_RELEASE);
#endif
}

TEST(GreyHeaders, GreyHeadersFollowTheSource) {
    struct Row {
        const char *name;
        uint32_t bfSize;
        uint32_t biSizeImage;
        uint32_t greyBfSize;
        uint32_t greyBiSizeImage;
    } rows[] = {
        {"432 x 576 frame", 54 + 432 * 576 * 3, 0, 1078 + 432 * 576, 0},
        {"60 x 80 frame", 54 + 60 * 80 * 3, 60 * 80 * 3, 1078 + 60 * 80, 60 * 80},
        {"two bytes left over", 54 + 17, 17, 1078 + 5, 5},
        {"no pixels", 54, 0, 1078, 0},
        {"bfSize 0 wraps", 0, 1, 1078 + 0xFFFFFFCAu / 3, 0},
        {"bfSize 53 wraps", 53, 2, 1078 + 0xFFFFFFFFu / 3, 0},
        {"largest bfSize", 0xFFFFFFFFu, 0xFFFFFFFFu, 1078 + (0xFFFFFFFFu - 54) / 3, 0x55555555u},
    };
    // Every other field is copied as it stands, bfType unchecked.
    bmp::FileHeaderFields file{0x5958, 0, 0x1234, 0xFEDC, 99};
    bmp::InfoHeaderFields info = bmp::InfoHeader(-7, -9, 32);
    info.biCompression = 3;
    info.biXPelsPerMeter = 11;
    info.biYPelsPerMeter = 12;
    info.biClrUsed = 13;
    info.biClrImportant = 14;
    for (const Row &row : rows) {
        file.bfSize = row.bfSize;
        info.biSizeImage = row.biSizeImage;
        bmp::FileHeaderFields greyFile = file;
        greyFile.bfSize = row.greyBfSize;
        greyFile.bfOffBits = 1078;
        bmp::InfoHeaderFields greyInfo = info;
        greyInfo.biBitCount = 8;
        greyInfo.biSizeImage = row.greyBiSizeImage;
        EXPECT_EQ(BytesOf(grey::GreyFileHeader(file)), BytesOf(greyFile)) << row.name;
        EXPECT_EQ(BytesOf(grey::GreyInfoHeader(info)), BytesOf(greyInfo)) << row.name;
    }
}

// SourceHoldsPixels alone, then the whole plan over a head of exactly
// headBytes bytes (a shorter head is never read past its end); only an
// uncompressed 24-bit BMP converts.
TEST(GreyHeaders, OnlySourcesHoldingEveryClaimedByteAreConverted) {
    using Edit = void (*)(bmp::FileHeaderFields &, bmp::InfoHeaderFields &);
    struct Row {
        const char *name;
        uint32_t bfSize;
        uint64_t fileBytes;
        bool converted;
        size_t headBytes;
        Edit edit;
    };
    std::vector<Row> rows;
    for (const vt::GreySourceRow &shared : vt::kGreySourceRows)
        rows.push_back({shared.name, shared.bfSize, shared.fileBytes, shared.converts, 54, nullptr});
    rows.insert(rows.end(), {
        {"shorter than the headers", 54, 40, false, 40, nullptr},
        {"head without its info header", 1000, 1000, true, 14, nullptr},
        {"no head", 1000, 1000, true, 0, nullptr},
        {"not BM", 1000, 1000, false, 54, [](bmp::FileHeaderFields &f, bmp::InfoHeaderFields &) { f.bfType = 0x4D43; }},
        {"8 bits a pixel, as a grey file", 1000, 1000, false, 54,
         [](bmp::FileHeaderFields &, bmp::InfoHeaderFields &i) { i.biBitCount = 8; }},
        {"32 bits a pixel", 1000, 1000, false, 54, [](bmp::FileHeaderFields &, bmp::InfoHeaderFields &i) { i.biBitCount = 32; }},
        {"compressed", 1000, 1000, false, 54, [](bmp::FileHeaderFields &, bmp::InfoHeaderFields &i) { i.biCompression = 1; }},
        // Still not consulted.
        {"pixels said to start elsewhere", 1000, 1000, true, 54,
         [](bmp::FileHeaderFields &f, bmp::InfoHeaderFields &) { f.bfOffBits = 1078; }},
    });
    for (const Row &row : rows) {
        const bool complete = row.headBytes >= bmp::kHeadersBytes;
        if (complete && !row.edit) {
            EXPECT_EQ(grey::SourceHoldsPixels(row.bfSize, row.fileBytes), row.converted) << row.name;
        }
        bmp::FileHeaderFields file = bmp::FileHeader(54, row.bfSize - 54);
        bmp::InfoHeaderFields info = bmp::InfoHeader(4, 1, 24);
        if (row.edit) row.edit(file, info);
        std::vector<uint8_t> headers = BytesOf(file), infoBytes = BytesOf(info);
        headers.insert(headers.end(), infoBytes.begin(), infoBytes.end());
        const std::vector<uint8_t> head(headers.begin(), headers.begin() + std::min(row.headBytes, headers.size()));
        const grey::GreyPlan plan = grey::PlanGreyFile(head.data(), head.size(), row.fileBytes);
        EXPECT_EQ(plan.convertible, row.converted && complete) << row.name;
        if (plan.convertible) {
            EXPECT_EQ(plan.pixelCount, (row.bfSize - 54) / 3) << row.name;
        }
    }
}
