// Color2Gray over a generated corpus of malformed sources: every length
// around the headers, bfSize values that wrap, overshoot or claim 4 GB, and
// random headers. Whatever the file says, the library may not crash, change
// the source, leave a file open or ask for more memory than the file holds.
#include <gtest/gtest.h>

#include <windows.h>


#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "host_fixture.h"
#include "reliability_support.h"

using GreyFuzzTest = HostTest;

namespace {

using Bytes = std::vector<uint8_t>;

// The largest single block Vorlane asked for, and how many it asked for.
std::atomic<SIZE_T> largestAlloc{0};
std::atomic<int> allocCount{0};
void *realGlobalAlloc = nullptr;

HGLOBAL WINAPI CountingGlobalAlloc(UINT flags, SIZE_T bytes) {
    ++allocCount;
    SIZE_T seen = largestAlloc;
    while (bytes > seen && !largestAlloc.compare_exchange_weak(seen, bytes)) {
    }
    return reinterpret_cast<decltype(&GlobalAlloc)>(realGlobalAlloc)(flags, bytes);
}


struct Case {
    std::string name;
    Bytes bytes;
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
    const size_t sizes[] = {0, 1, 2, 6, 13, 14, 15, 30, 53, 54, 55, 56, 57, 58, 100, 4096 + 54 + 1,
                            65536 + 54 + 2, (size_t{1} << 20) + 54 + 1};
    for (size_t size : sizes) {
        const uint32_t s = static_cast<uint32_t>(size);
        const uint32_t claims[] = {0, 1, 53, 54, 55, s - 1, s, s + 1, s + 3, 2 * s + 54,
                                   0x7FFFFFFFu, 0x80000000u, 0x80000035u, 0xFFFFFFFEu, 0xFFFFFFFFu,
                                   0xFFFFFFFFu - s};
        for (uint32_t claim : claims) {
            corpus.push_back({"size " + std::to_string(size) + ", bfSize " + std::to_string(claim),
                              Picture(size, claim, random)});
        }
        // Every header byte random, and one with the info header claiming
        // a huge picture while bfSize tells the truth.
        Bytes wild = Picture(size, s, random);
        for (size_t i = 0; i < 54 && i < size; ++i) wild[i] = static_cast<uint8_t>(random());
        corpus.push_back({"size " + std::to_string(size) + ", random headers", wild});
        Bytes lying = Picture(size, s, random);
        vt::EditBmpHeaders(lying, [](vt::BmpHeaders &h) {
            h.info.biWidth = 0x7FFFFFFF;
            h.info.biHeight = static_cast<LONG>(0x80000001u);
            h.info.biSizeImage = 0xFFFFFFFFu;
        });
        corpus.push_back({"size " + std::to_string(size) + ", info header claims 2^31 x 2^31", lying});
    }
    for (int i = 0; i < randomCases; ++i) {
        const size_t size = random() % 3 == 0 ? random() % 64 : random() % 5000;
        const uint32_t claim = random() % 2 ? static_cast<uint32_t>(random())
                                            : static_cast<uint32_t>(size + random() % 9) - 4u;
        Bytes bytes = Picture(size, claim, random);
        if (random() % 4 == 0)
            for (size_t k = 0; k < 54 && k < size; ++k) bytes[k] = static_cast<uint8_t>(random());
        corpus.push_back({"random " + std::to_string(i) + ", size " + std::to_string(size), bytes});
    }
    return corpus;
}

int RandomCases() { return rely::Rounds("VORLANE_SOAK_FUZZ", 300, 20000); }

}  // namespace

TEST_F(GreyFuzzTest, MalformedSourcesNeitherCrashNorOverreach) {
    rely::ImportPatch patch("KERNEL32.dll", "GlobalAlloc", reinterpret_cast<void *>(CountingGlobalAlloc));
    ASSERT_TRUE(patch) << "Vorlane.dll imports no GlobalAlloc";
    realGlobalAlloc = patch.original();

    const std::vector<Case> corpus = Corpus(RandomCases());
    const std::string source = vt::TempPath("fuzz-source.bmp");
    const std::string grey = vt::TempPath("fuzz-grey.bmp");
    size_t largestFile = 0, converted = 0;
    for (const Case &c : corpus) largestFile = std::max(largestFile, c.bytes.size());

    // Once through first, so that the runtime's one-time allocations are
    // not counted against the conversions.
    vt::WriteBytes(source, corpus.back().bytes);
    Color2Gray(source.c_str(), grey.c_str());
    SIZE_T peakBefore = 0;
    const SIZE_T privateBefore = vt::PrivateBytes(&peakBefore);
    DWORD handlesBefore = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
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
        const Bytes out = vt::ReadFileBytes(grey);
        const uint32_t bfSize = size >= 6 ? vt::ReadBmpHeaders(c.bytes).file.bfSize : 0;
        if (size >= 54 && bfSize >= 54 && bfSize <= size) {
            ++converted;
            ASSERT_EQ(result, 1) << c.name;
            vt::ExpectGreyOf(c.bytes, out, c.name);
            if (HasFatalFailure()) return;
            EXPECT_EQ(allocCount.load(), 2) << c.name << ": the colour and grey blocks";
        } else {
            ASSERT_EQ(result, 0) << c.name;
            EXPECT_LE(out.size(), 54u) << c.name << ": more than the headers written";
            EXPECT_EQ(allocCount.load(), 0) << c.name << ": allocated for pixels that are not there";
        }
    }

    const DWORD elapsed = GetTickCount() - start;
    DWORD handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    SIZE_T peakAfter = 0;
    const SIZE_T privateAfter = vt::PrivateBytes(&peakAfter);
    EXPECT_EQ(handlesAfter, handlesBefore) << "files left open";
    // Generous: the test's own buffers come and go too. A block kept by a
    // conversion, or one sized by a lying header, would pass these by far.
    EXPECT_LT(privateAfter, privateBefore + 4 * 1024 * 1024) << "private bytes " << privateBefore << " -> " << privateAfter;
    EXPECT_LT(peakAfter, peakBefore + 8 * largestFile + 32 * 1024 * 1024)
        << "peak private bytes " << peakBefore << " -> " << peakAfter;
    std::printf("SOAK Color2Gray fuzz | %zu sources, %zu converted, %zu refused | %lu ms | private bytes %zu -> %zu, peak %zu -> %zu\n",
                corpus.size(), converted, corpus.size() - converted, static_cast<unsigned long>(elapsed),
                static_cast<size_t>(privateBefore), static_cast<size_t>(privateAfter),
                static_cast<size_t>(peakBefore), static_cast<size_t>(peakAfter));
}
