// Color2Gray's file calls over malformed sources. What a source's headers
// mean is fuzzed natively (fuzz/fuzz_grey_file.cpp); here, under Wine, the
// glue around it: the file's real size handed to the plan (every length
// around the headers, bfSize just under, at and over it), blocks sized by
// bfSize and never by the info header, sources that are not 24-bit BMPs
// refused, nothing allocated or created for a refused source, the source
// left alone and no file left open.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "host_fixture.h"
#include "grey_source_rule.h"
#include "reliability_support.h"

using GreyFuzzTest = HostTest;

namespace {

using Bytes = std::vector<uint8_t>;

// The largest single block Vorlane asked for, and how many it asked for.
std::atomic<SIZE_T> largestAlloc{0};
std::atomic<int> allocCount{0};

HGLOBAL WINAPI CountingGlobalAlloc(UINT flags, SIZE_T bytes) {
    ++allocCount;
    SIZE_T seen = largestAlloc;
    while (bytes > seen && !largestAlloc.compare_exchange_weak(seen, bytes)) {
    }
    return GlobalAlloc(flags, bytes);
}

struct Case {
    std::string name;
    Bytes bytes;
    bool bgr24 = true;  // its headers say an uncompressed 24-bit BMP
};

// A plausible 24-bit picture of `size` bytes with the given bfSize; parts
// of the header past the end are cut off with the rest.
Bytes Picture(size_t size, uint32_t bfSize, std::mt19937 &random) {
    Bytes bytes(size);
    for (uint8_t &b : bytes) b = static_cast<uint8_t>(random());
    vt::BmpHeaders headers = vt::ReadBmpHeaders(vt::MakeBmp24(4, 1, {}));
    headers.file.bfSize = bfSize;
    vt::WriteBmpHeaders(bytes, headers);
    return bytes;
}

std::vector<Case> Corpus(int randomCases) {
    std::mt19937 random(1978);
    std::vector<Case> corpus;
    const size_t sizes[] = {0, 1, 6, 13, 14, 15, 30, 53, 54, 55, 56, 57, 100, 4096 + 54 + 1, (size_t{1} << 20) + 54 + 1};
    for (size_t size : sizes) {
        const std::string name = "size " + std::to_string(size);
        const uint32_t s = static_cast<uint32_t>(size);
        for (uint32_t claim : {0u, 53u, 54u, s - 1, s, s + 1, 0xFFFFFFFFu})
            corpus.push_back({name + ", bfSize " + std::to_string(claim), Picture(size, claim, random)});
        // The info header claims a huge picture while bfSize tells the truth.
        Bytes lying = Picture(size, s, random);
        vt::EditBmpHeaders(lying, [](vt::BmpHeaders &h) {
            h.info.biWidth = 0x7FFFFFFF;
            h.info.biHeight = static_cast<LONG>(0x80000001u);
            h.info.biSizeImage = 0xFFFFFFFFu;
        });
        corpus.push_back({name + ", info header claims 2^31 x 2^31", lying});
        // Every pixel byte there, but not 24-bit pixels.
        const std::pair<const char *, std::function<void(vt::BmpHeaders &)>> others[] = {
            {"not BM", [](vt::BmpHeaders &h) { h.file.bfType = 0x4D43; }},
            {"8 bits a pixel", [](vt::BmpHeaders &h) { h.info.biBitCount = 8; }},
            {"compressed", [](vt::BmpHeaders &h) { h.info.biCompression = 1; }},
        };
        for (const auto &[what, change] : others) {
            Bytes other = Picture(size, s, random);
            vt::EditBmpHeaders(other, change);
            corpus.push_back({name + ", " + what, other, false});
        }
    }
    for (int i = 0; i < randomCases; ++i) {
        const size_t size = random() % 3 == 0 ? random() % 64 : random() % 5000;
        const uint32_t claim = random() % 2 ? static_cast<uint32_t>(random())
                                            : static_cast<uint32_t>(size + random() % 9) - 4u;
        corpus.push_back({"random " + std::to_string(i) + ", size " + std::to_string(size),
                          Picture(size, claim, random)});
    }
    return corpus;
}

}  // namespace

TEST_F(GreyFuzzTest, MalformedSourcesNeitherCrashNorOverreach) {
    const rely::ImportPatches patches{{"KERNEL32.dll", "GlobalAlloc", CountingGlobalAlloc}};
    ASSERT_TRUE(patches) << "Vorlane.dll imports no GlobalAlloc";

    const std::vector<Case> corpus = Corpus(rely::Rounds("VORLANE_SOAK_FUZZ", 300, 20000));
    const std::string source = vt::TempPath("fuzz-source.bmp");
    const std::string grey = vt::TempPath("fuzz-grey.bmp");
    size_t converted = 0;
    // Once through first, so that the runtime's one-time handles are not
    // counted against the conversions.
    vt::WriteBytes(source, corpus.back().bytes);
    Color2Gray(source.c_str(), grey.c_str());
    const DWORD handlesBefore = vt::CurrentResources().handles;
    const DWORD start = GetTickCount();

    for (const Case &c : corpus) {
        vt::WriteBytes(source, c.bytes);
        DeleteFileA(grey.c_str());
        largestAlloc = 0;
        allocCount = 0;

        const int result = Color2Gray(source.c_str(), grey.c_str());

        const size_t size = c.bytes.size();
        ASSERT_EQ(vt::ReadFileBytes(source), c.bytes) << c.name << ": the source changed";
        EXPECT_LE(largestAlloc.load(), size) << c.name << ": asked for more memory than the file holds";
        const uint32_t bfSize = size >= 6 ? vt::ReadBmpHeaders(c.bytes).file.bfSize : 0;
        if (c.bgr24 && size >= 54 && vt::GreySourceConverts(bfSize, size)) {
            ++converted;
            ASSERT_EQ(result, 1) << c.name;
            vt::ExpectGreyOf(c.bytes, vt::ReadFileBytes(grey), c.name);
            if (HasFatalFailure()) return;
            EXPECT_EQ(allocCount.load(), 2) << c.name << ": the colour and grey blocks";
        } else {
            ASSERT_EQ(result, 0) << c.name;
            EXPECT_FALSE(vt::FileExists(grey)) << c.name << ": a destination for a refused source";
            EXPECT_EQ(allocCount.load(), 0) << c.name << ": allocated for pixels that are not there";
        }
    }

    EXPECT_EQ(vt::CurrentResources().handles, handlesBefore) << "files left open";
    std::printf("SOAK Color2Gray fuzz | %zu sources, %zu converted, %zu refused | %lu ms\n", corpus.size(),
                converted, corpus.size() - converted, static_cast<unsigned long>(GetTickCount() - start));
}
