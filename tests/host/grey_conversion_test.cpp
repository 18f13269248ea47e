// Color2Gray through Vorlane.dll, as a host calls it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host_fixture.h"

using GreyConversionTest = HostTest;

namespace {

using Bytes = std::vector<uint8_t>;
using vt::MakeBmp24;

constexpr size_t kGreyOffset = bmp::kGreyPixelOffset;

// Where converted files are left for the independent reader that runs after
// this program on the Linux side (pillow_files_check.py): beside the program.
std::string CheckFolder() {
    const std::string folder = vt::BesideProgram("grey-check\\");
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

void LeaveForCrossCheck(const std::string &name, const std::string &source, const std::string &grey) {
    const std::string folder = CheckFolder();
    CopyFileA(source.c_str(), (folder + name + ".source.bmp").c_str(), FALSE);
    CopyFileA(grey.c_str(), (folder + name + ".grey.bmp").c_str(), FALSE);
}

// Whether nothing else holds the file open: an exclusive open succeeds.
bool NobodyHolds(const std::string &path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

}  // namespace

// Each source converts pixel by pixel, whatever stood under the
// destination's name before: frames the card delivered and saved, and
// pictures made here.
TEST_F(GreyConversionTest, PicturesConvertAndReplaceTheDestinationWhole) {
    // One row of four pixels (12 bytes, a multiple of 4) and a second of
    // their mixtures.
    const Bytes known = {255, 0,  0,  0, 0, 255, 255, 255, 255, 0,   255, 0,
                         0,   0,  0,  10, 20, 30, 1,  1,   1,   200, 100, 50};
    const auto patterned = [](size_t count) {
        Bytes pixels(count);
        for (size_t i = 0; i < count; ++i) pixels[i] = static_cast<uint8_t>(i * 37 + 11);
        return pixels;
    };
    struct Row {
        const char *name;  // the cross-checked ones are left for the independent reader under it
        int captured;      // the height of a frame saved by EasyCapture; 0: the picture below
        int32_t width, height;
        Bytes pixels;
        size_t existing;  // bytes of a destination there before; 0: none
        Bytes greys;      // the grey pixels written out by hand; empty: worked out from the source
        bool crossCheck;
    } rows[] = {
        {"captured-432x576", 576, 0, 0, {}, 0, {}, true},
        {"captured-60x80", 80, 0, 0, {}, 0, {}, true},
        {"known", 0, 4, 2, known, 0, {76, 25, 255, 153, 0, 18, 1, 125}, true},
        {"over a longer file", 0, 4, 1, Bytes(12, 200), 100000, {}, false},
        {"no pixels", 0, 1, 1, patterned(0), 0, {}, false},
        {"one byte", 0, 1, 1, patterned(1), 0, {}, false},
        {"two bytes", 0, 1, 1, patterned(2), 0, {}, false},
        {"one pixel", 0, 1, 1, patterned(3), 0, {}, false},
        {"five pixels and two bytes", 0, 1, 1, patterned(17), 0, {}, false},
        {"33 pixels and one byte", 0, 1, 1, patterned(100), 0, {}, false},
    };
    const std::string source = vt::TempPath("convert.bmp");
    const std::string grey = vt::TempPath("convert-grey.bmp");
    for (const Row &row : rows) {
        if (row.captured) {
            VcReset();
            ASSERT_TRUE(OpenAndRead(0, 0, row.captured, 1, 3)) << row.name;
            ASSERT_EQ(EasyCapture(source.c_str()), 1) << row.name;
            ASSERT_EQ(vt::ReadFileBytes(source).size(), 54u + size_t{3} * (row.captured / 4 * 3) * row.captured)
                << row.name;
        } else {
            vt::WriteBytes(source, MakeBmp24(row.width, row.height, row.pixels));
        }
        DeleteFileA(grey.c_str());
        if (row.existing) vt::WriteBytes(grey, Bytes(row.existing, 7));
        ASSERT_EQ(Color2Gray(source.c_str(), grey.c_str()), 1) << row.name;
        const Bytes greyBytes = vt::ReadFileBytes(grey);
        vt::ExpectGreyOf(vt::ReadFileBytes(source), greyBytes, row.name);
        if (!row.greys.empty()) {
            EXPECT_EQ(Bytes(greyBytes.begin() + std::min(kGreyOffset, greyBytes.size()), greyBytes.end()), row.greys)
                << row.name;
        }
        if (row.crossCheck) LeaveForCrossCheck(row.name, source, grey);
    }
}

// The ways a conversion can fail, each leaving the source as it was, an
// existing destination as it was unless the headers went out, and no file
// held open.
TEST_F(GreyConversionTest, FailuresLeaveTheSourceAloneAndCloseEverything) {
    const std::string folder = vt::TempPath("grey failures\\");
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "a folder.bmp").c_str(), nullptr);
    const std::string src = folder + "src.bmp", out = folder + "out.bmp";
    const std::string longName = vt::LongerThanMaxPath(folder);
    const Bytes good = MakeBmp24(4, 1, Bytes(12, 90));
    auto claiming = [&good](uint32_t bfSize) {
        Bytes bytes = good;
        vt::EditBmpHeaders(bytes, [bfSize](vt::BmpHeaders &h) { h.file.bfSize = bfSize; });
        return bytes;
    };
    const auto edited = [&good](const std::function<void(vt::BmpHeaders &)> &change) {
        Bytes bytes = good;
        vt::EditBmpHeaders(bytes, change);
        return bytes;
    };
    // A grey file made here: 8 bits a pixel, and a palette that would be read as pixels.
    const std::string madeGrey = folder + "made-grey.bmp";
    vt::WriteBytes(src, good);
    ASSERT_EQ(Color2Gray(src.c_str(), madeGrey.c_str()), 1);
    constexpr long kAbsent = -1, kUnchecked = -2;
    struct Row {
        const char *name;
        Bytes source;  // written to src.bmp
        std::string from, to;
        size_t existing;  // bytes of a destination there before; 0: none
        bool readOnly;
        long bytesAfter;  // the destination's size after
    } rows[] = {
        {"missing source", good, folder + "missing.bmp", out, 0, false, kAbsent},
        {"missing source, destination there", good, folder + "missing.bmp", out, 300, false, 300},
        {"source is a folder", good, folder + "a folder.bmp", out, 300, false, 300},
        {"empty source name", good, "", out, 0, false, kAbsent},
        {"source longer than MAX_PATH", good, longName, out, 0, false, kAbsent},
        {"destination folder missing", good, src, folder + "no such folder\\out.bmp", 0, false, kUnchecked},
        {"destination is a folder", good, src, folder + ".", 0, false, kUnchecked},
        {"destination a folder with its backslash", good, src, folder, 0, false, kUnchecked},
        {"destination below a plain file", good, src, src + "\\x.bmp", 0, false, kUnchecked},
        {"destination longer than MAX_PATH", good, src, longName, 0, false, kUnchecked},
        {"wildcards in the destination", good, src, folder + "*.bmp", 0, false, kUnchecked},
        {"destination a full disk (Wine's Z:\\dev\\full)", good, src, "Z:\\dev\\full", 0, false, kUnchecked},
        {"empty destination name", good, src, "", 0, false, kUnchecked},
        {"both names empty", good, "", "", 0, false, kUnchecked},
        {"read-only destination", good, src, out, 5, true, 5},
        // A malformed source is found out before the destination is touched.
        {"pixels cut short, no destination", claiming(54 + 13), src, out, 0, false, kAbsent},
        {"file header cut short", Bytes(good.begin(), good.begin() + 10), src, out, 300, false, 300},
        {"info header cut short", Bytes(good.begin(), good.begin() + 30), src, out, 300, false, 300},
        {"info header cut short, no destination", Bytes(good.begin(), good.begin() + 30), src, out, 0, false, kAbsent},
        {"empty source", Bytes{}, src, out, 300, false, 300},
        // Only an uncompressed 24-bit BMP has 3-byte pixels after its headers.
        {"a grey file made here", vt::ReadFileBytes(madeGrey), src, out, 300, false, 300},
        {"8 bits a pixel", edited([](vt::BmpHeaders &h) { h.info.biBitCount = 8; }), src, out, 300, false, 300},
        {"32 bits a pixel, no destination", edited([](vt::BmpHeaders &h) { h.info.biBitCount = 32; }), src, out, 0,
         false, kAbsent},
        {"not BM", edited([](vt::BmpHeaders &h) { h.file.bfType = 0x4D43; }), src, out, 300, false, 300},
        {"compressed", edited([](vt::BmpHeaders &h) { h.info.biCompression = 1; }), src, out, 300, false, 300},
    };
    for (const Row &row : rows) {
        vt::WriteBytes(src, row.source);
        SetFileAttributesA(out.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(out.c_str());
        if (row.existing) vt::WriteBytes(out, Bytes(row.existing, 9));
        if (row.readOnly) SetFileAttributesA(out.c_str(), FILE_ATTRIBUTE_READONLY);
        const vt::ResourceCounts before = vt::CurrentResources();

        EXPECT_EQ(Color2Gray(row.from.c_str(), row.to.c_str()), 0) << row.name;

        EXPECT_EQ(vt::CurrentResources().handles, before.handles) << row.name;
        EXPECT_EQ(vt::ReadFileBytes(src), row.source) << row.name;
        EXPECT_TRUE(NobodyHolds(src)) << row.name;
        if (row.bytesAfter == kAbsent) {
            EXPECT_FALSE(vt::FileExists(out)) << row.name;
        } else if (row.bytesAfter == static_cast<long>(row.existing)) {
            EXPECT_EQ(vt::ReadFileBytes(out), Bytes(row.existing, 9)) << row.name;
        } else if (row.bytesAfter != kUnchecked) {
            EXPECT_EQ(static_cast<long>(vt::ReadFileBytes(out).size()), row.bytesAfter) << row.name;
            EXPECT_TRUE(NobodyHolds(out)) << row.name;
        }
    }
    SetFileAttributesA(out.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(Color2Gray(nullptr, out.c_str()), 0) << "no source name";
    EXPECT_EQ(Color2Gray(src.c_str(), nullptr), 0) << "no destination name";
}

TEST_F(GreyConversionTest, TheSameFileUnderAnotherNameIsNeverOverwritten) {
    const std::string folder = vt::TempPath("grey same\\");
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "sub").c_str(), nullptr);
    const std::string longName = "a long picture name.bmp";
    const std::string source = folder + longName;
    const Bytes picture = MakeBmp24(4, 1, Bytes(12, 120));
    vt::WriteBytes(source, picture);

    char shortPath[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameA(source.c_str(), shortPath, MAX_PATH), 0u);
    ASSERT_NE(std::string(shortPath), source);
    std::string upper = source;
    for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string slashes = source;
    for (char &c : slashes)
        if (c == '\\') c = '/';
    const std::string link = folder + "hard link.bmp";
    DeleteFileA(link.c_str());
    ASSERT_TRUE(CreateHardLinkA(link.c_str(), source.c_str(), nullptr));

    char oldDirectory[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, oldDirectory);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    struct Row {
        const char *name;
        std::string destination;
    } rows[] = {
        {"the same spelling", source},
        {"relative", longName},
        {"relative through a folder", "sub\\..\\" + longName},
        {"upper case", upper},
        {"short name", shortPath},
        {"forward slashes", slashes},
        {"hard link", link},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(Color2Gray(source.c_str(), row.destination.c_str()), 0) << row.name;
        EXPECT_EQ(vt::ReadFileBytes(source), picture) << row.name;
        EXPECT_EQ(Color2Gray(row.destination.c_str(), source.c_str()), 0) << row.name << ", reversed";
        EXPECT_EQ(vt::ReadFileBytes(source), picture) << row.name << ", reversed";
    }
    SetCurrentDirectoryA(oldDirectory);

    // A copy is another file: it converts.
    const std::string copy = folder + "copy.bmp";
    ASSERT_TRUE(CopyFileA(source.c_str(), copy.c_str(), FALSE));
    EXPECT_EQ(Color2Gray(source.c_str(), copy.c_str()), 1);
    EXPECT_EQ(vt::ReadFileBytes(copy).size(), kGreyOffset + 4);
}
