// Color2Gray through Vorlane.dll, as a host calls it.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "host_fixture.h"
#include "imagefiles/bmp_headers.h"

using GreyConversionTest = HostTest;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kGreyOffset = 1078;

// A 24-bit BMP file as the still image writer makes it: bottom-up rows, no
// palette, pixels at 54.
Bytes MakeBmp(int32_t width, int32_t height, const Bytes &pixels) {
    const BITMAPFILEHEADER file =
        bmp::FileHeader(bmp::kHeadersBytes, static_cast<DWORD>(pixels.size()));
    const BITMAPINFOHEADER info = bmp::InfoHeader(width, height, 24);
    Bytes bytes(54 + pixels.size());
    std::memcpy(bytes.data(), &file, 14);
    std::memcpy(bytes.data() + 14, &info, 40);
    for (size_t i = 0; i < pixels.size(); ++i) bytes[54 + i] = pixels[i];
    return bytes;
}

template <typename T>
T Field(const Bytes &bytes, size_t offset) {
    T value{};
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

template <typename T>
void SetField(Bytes &bytes, size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

// Where converted files are left for the independent reader that runs after
// this program on the Linux side (grey_pillow_check.py): beside the program.
std::string CheckFolder() {
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string folder(exe);
    folder = folder.substr(0, folder.find_last_of('\\') + 1) + "grey-check\\";
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

// Checks a grey file against its 24-bit source byte by byte.
void ExpectGreyOf(const Bytes &source, const Bytes &grey, const std::string &name) {
    const DWORD pixelBytes = Field<DWORD>(source, 2) - 54;
    const size_t count = pixelBytes / 3;
    ASSERT_EQ(grey.size(), kGreyOffset + count) << name;
    EXPECT_EQ(Field<WORD>(grey, 0), Field<WORD>(source, 0)) << name << ": bfType";
    EXPECT_EQ(Field<DWORD>(grey, 2), kGreyOffset + count) << name << ": bfSize";
    EXPECT_EQ(Field<DWORD>(grey, 6), Field<DWORD>(source, 6)) << name << ": reserved";
    EXPECT_EQ(Field<DWORD>(grey, 10), kGreyOffset) << name << ": bfOffBits";
    EXPECT_EQ(Field<WORD>(grey, 28), 8) << name << ": biBitCount";
    EXPECT_EQ(Field<DWORD>(grey, 34), Field<DWORD>(source, 34) / 3) << name << ": biSizeImage";
    // The rest of the info header as read: all but biBitCount and biSizeImage.
    for (size_t i = 14; i < 54; ++i) {
        if (i < 28 || (i >= 30 && i < 34) || i >= 38) {
            EXPECT_EQ(grey[i], source[i]) << name << ": info header byte " << i;
        }
    }
    for (size_t i = 0; i < 256; ++i) {
        const uint8_t *entry = grey.data() + 54 + 4 * i;
        ASSERT_TRUE(entry[0] == i && entry[1] == i && entry[2] == i && entry[3] == 0)
            << name << ": palette entry " << i;
    }
    for (size_t k = 0; k < count; ++k) {
        const uint8_t *pixel = source.data() + 54 + 3 * k;
        ASSERT_EQ(grey[kGreyOffset + k], (3 * pixel[0] + 6 * pixel[1] + pixel[2]) / 10)
            << name << ": pixel " << k;
    }
}

}  // namespace

TEST_F(GreyConversionTest, CapturedFramesBecomeGreyFiles) {
    for (int height : {576, 80}) {
        const int width = height / 4 * 3;
        const std::string name = std::to_string(width) + "x" + std::to_string(height);
        const std::string source = vt::TempPath("captured-" + name + ".bmp");
        const std::string grey = vt::TempPath("captured-" + name + "-grey.bmp");
        VcReset();
        VcSetStatusMode(VC_STATUS_EVERY_POLL);
        ASSERT_EQ(EasyInit(0, 0, height, 1), 1) << name;
        ASSERT_TRUE(vt::WaitUntil([] { return vt::CardStats().reads >= 3; })) << name;
        ASSERT_EQ(EasyCapture(source.c_str()), 1) << name;

        EXPECT_EQ(Color2Gray(source.c_str(), grey.c_str()), 1) << name;
        const Bytes sourceBytes = vt::ReadFileBytes(source);
        ASSERT_EQ(sourceBytes.size(), 54u + width * height * 3) << name;
        const Bytes greyBytes = vt::ReadFileBytes(grey);
        ExpectGreyOf(sourceBytes, greyBytes, name);
        EXPECT_EQ(Field<LONG>(greyBytes, 18), width) << name;
        EXPECT_EQ(Field<LONG>(greyBytes, 22), height) << name;
        LeaveForCrossCheck("captured-" + name, source, grey);
    }
}

TEST_F(GreyConversionTest, KnownColoursGiveKnownGreys) {
    // One row of four pixels (12 bytes, a multiple of 4) and a second of
    // their mixtures.
    const Bytes pixels = {255, 0,   0,   0,   0,  255, 255, 255, 255, 0,  255, 0,
                          0,   0,   0,   10,  20, 30,  1,   1,   1,   200, 100, 50};
    const Bytes expected = {76, 25, 255, 153, 0, 18, 1, 125};
    const std::string source = vt::TempPath("known.bmp");
    const std::string grey = vt::TempPath("known-grey.bmp");
    vt::WriteBytes(source, MakeBmp(4, 2, pixels));
    ASSERT_EQ(Color2Gray(source.c_str(), grey.c_str()), 1);
    const Bytes greyBytes = vt::ReadFileBytes(grey);
    ExpectGreyOf(vt::ReadFileBytes(source), greyBytes, "known colours");
    ASSERT_EQ(greyBytes.size(), kGreyOffset + expected.size());
    EXPECT_EQ(Bytes(greyBytes.begin() + kGreyOffset, greyBytes.end()), expected);
    LeaveForCrossCheck("known", source, grey);
}

TEST_F(GreyConversionTest, AnExistingDestinationIsReplacedWhole) {
    const std::string source = vt::TempPath("replace.bmp");
    const std::string grey = vt::TempPath("replace-grey.bmp");
    vt::WriteBytes(source, MakeBmp(4, 1, Bytes(12, 200)));
    vt::WriteBytes(grey, Bytes(100000, 7));
    ASSERT_EQ(Color2Gray(source.c_str(), grey.c_str()), 1);
    EXPECT_EQ(vt::ReadFileBytes(grey).size(), kGreyOffset + 4);
}

// The ways a conversion can fail, each leaving the source as it was and
// holding no file open.
TEST_F(GreyConversionTest, FailuresLeaveTheSourceAloneAndCloseEverything) {
    const std::string folder = vt::TempPath("grey failures\\");
    CreateDirectoryA(folder.c_str(), nullptr);
    const Bytes good = MakeBmp(4, 1, Bytes(12, 90));

    Bytes claimsTooMuch = good;
    SetField<DWORD>(claimsTooMuch, 2, 54 + 13);
    Bytes wrapsToZero = good;
    SetField<DWORD>(wrapsToZero, 2, 0);
    Bytes wraps53 = good;
    SetField<DWORD>(wraps53, 2, 53);
    Bytes claims4G = good;
    SetField<DWORD>(claims4G, 2, 0xFFFFFFFFu);

    struct Row {
        const char *name;
        Bytes source;                // empty: no source file
        std::string sourceName;      // as passed; relative to `folder` unless absolute
        std::string destination;     // likewise
        bool destinationExistsReadOnly;
        long destinationBytesAfter;  // -1: not there
    } rows[] = {
        {"missing source", {}, "missing.bmp", "out1.bmp", false, -1},
        {"destination folder missing", good, "src.bmp", "no such folder\\out.bmp", false, -1},
        {"destination is a folder", good, "src.bmp", ".", false, 0},
        {"read-only destination", good, "src.bmp", "readonly.bmp", true, 5},
        {"pixels cut short", claimsTooMuch, "src.bmp", "out2.bmp", false, 54},
        {"bfSize 0 wraps around", wrapsToZero, "src.bmp", "out3.bmp", false, 54},
        {"bfSize 53 wraps around", wraps53, "src.bmp", "out4.bmp", false, 54},
        {"bfSize claims 4 GB", claims4G, "src.bmp", "out5.bmp", false, 54},
        {"file header cut short", Bytes(good.begin(), good.begin() + 10), "src.bmp", "out6.bmp", false, 0},
        {"info header cut short", Bytes(good.begin(), good.begin() + 30), "src.bmp", "out7.bmp", false, 14},
        {"empty source", Bytes{}, "empty.bmp", "out8.bmp", false, 0},
    };
    for (const Row &row : rows) {
        const std::string source = folder + row.sourceName;
        const std::string destination = folder + row.destination;
        if (row.sourceName != "missing.bmp") vt::WriteBytes(source, row.source);
        if (row.destination != "." && row.destination.find('\\') == std::string::npos) {
            SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(destination.c_str());
        }
        if (row.destinationExistsReadOnly) {
            vt::WriteBytes(destination, Bytes(5, 1));
            SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_READONLY);
        }
        const vt::ResourceCounts before = vt::CurrentResources();

        EXPECT_EQ(Color2Gray(source.c_str(), destination.c_str()), 0) << row.name;

        EXPECT_EQ(vt::CurrentResources().handles, before.handles) << row.name;
        if (row.sourceName != "missing.bmp") {
            EXPECT_EQ(vt::ReadFileBytes(source), row.source) << row.name;
            EXPECT_TRUE(NobodyHolds(source)) << row.name;
        }
        if (row.destination == ".") continue;
        if (row.destinationBytesAfter < 0) {
            EXPECT_FALSE(vt::FileExists(destination)) << row.name;
        } else {
            EXPECT_EQ(static_cast<long>(vt::ReadFileBytes(destination).size()), row.destinationBytesAfter)
                << row.name;
            EXPECT_TRUE(NobodyHolds(destination)) << row.name;
        }
        SetFileAttributesA(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// A full disk: under Wine, Z:\dev\full takes no bytes at all.
TEST_F(GreyConversionTest, AWriteThatFallsShortIsAFailure) {
    const char *full = "Z:\\dev\\full";
    const HANDLE device = CreateFileA(full, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no full device here";
    CloseHandle(device);
    const std::string source = vt::TempPath("to full disk.bmp");
    const Bytes picture = MakeBmp(4, 1, Bytes(12, 33));
    vt::WriteBytes(source, picture);
    const vt::ResourceCounts before = vt::CurrentResources();
    EXPECT_EQ(Color2Gray(source.c_str(), full), 0);
    EXPECT_EQ(vt::CurrentResources().handles, before.handles);
    EXPECT_EQ(vt::ReadFileBytes(source), picture);
}

TEST_F(GreyConversionTest, AMissingSourceNeitherCreatesNorTruncatesTheDestination) {
    const std::string destination = vt::TempPath("kept.bmp");
    vt::WriteBytes(destination, Bytes(300, 9));
    EXPECT_EQ(Color2Gray(vt::TempPath("not there.bmp").c_str(), destination.c_str()), 0);
    EXPECT_EQ(vt::ReadFileBytes(destination), Bytes(300, 9));

    const std::string folderSource = vt::TempPath("a folder.bmp");
    CreateDirectoryA(folderSource.c_str(), nullptr);
    EXPECT_EQ(Color2Gray(folderSource.c_str(), destination.c_str()), 0) << "source is a folder";
    EXPECT_EQ(vt::ReadFileBytes(destination), Bytes(300, 9)) << "source is a folder";

    EXPECT_EQ(Color2Gray(nullptr, destination.c_str()), 0);
    EXPECT_EQ(Color2Gray(destination.c_str(), nullptr), 0);
    EXPECT_EQ(vt::ReadFileBytes(destination), Bytes(300, 9));
}

TEST_F(GreyConversionTest, TheSameFileUnderAnotherNameIsNeverOverwritten) {
    const std::string folder = vt::TempPath("grey same\\");
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "sub").c_str(), nullptr);
    const std::string longName = "a long picture name.bmp";
    const std::string source = folder + longName;
    const Bytes picture = MakeBmp(4, 1, Bytes(12, 120));
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

TEST_F(GreyConversionTest, LeftOverBytesAndEmptyPicturesConvert) {
    struct Row {
        const char *name;
        size_t pixelBytes;
    } rows[] = {{"no pixels", 0}, {"one byte", 1}, {"two bytes", 2}, {"one pixel", 3},
                {"five pixels and two bytes", 17}, {"33 pixels and one byte", 100}};
    for (const Row &row : rows) {
        Bytes pixels(row.pixelBytes);
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 37 + 11);
        const std::string source = vt::TempPath("leftover.bmp");
        const std::string grey = vt::TempPath("leftover-grey.bmp");
        vt::WriteBytes(source, MakeBmp(1, 1, pixels));
        EXPECT_EQ(Color2Gray(source.c_str(), grey.c_str()), 1) << row.name;
        ExpectGreyOf(vt::ReadFileBytes(source), vt::ReadFileBytes(grey), row.name);
    }
}

// Headers with random values: whatever they claim, the result is either a
// complete conversion of bytes the file holds or a failure with at most the
// headers written, and the source is never changed.
TEST_F(GreyConversionTest, MalformedHeadersNeitherCrashNorOverreach) {
    std::mt19937 random(2024);
    const std::string source = vt::TempPath("malformed.bmp");
    const std::string grey = vt::TempPath("malformed-grey.bmp");
    for (int round = 0; round < 300; ++round) {
        Bytes bytes = MakeBmp(8, 4, Bytes(96, 0));
        for (size_t i = 54; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(random());
        const int mutation = round % 5;
        if (mutation == 0) {
            SetField<DWORD>(bytes, 2, static_cast<DWORD>(random()));
        } else if (mutation == 1) {
            SetField<DWORD>(bytes, 2, static_cast<DWORD>(random() % 200));
        } else if (mutation == 2) {
            for (size_t i = 0; i < 54; ++i) bytes[i] = static_cast<uint8_t>(random());
        } else if (mutation == 3) {
            bytes.resize(random() % bytes.size());
        } else {
            SetField<DWORD>(bytes, 2, 0xFFFFFFFFu - static_cast<DWORD>(random() % 64));
        }
        vt::WriteBytes(source, bytes);
        const std::string row = "round " + std::to_string(round);

        const int result = Color2Gray(source.c_str(), grey.c_str());

        EXPECT_EQ(vt::ReadFileBytes(source), bytes) << row;
        const Bytes out = vt::ReadFileBytes(grey);
        if (bytes.size() >= 54 && Field<DWORD>(bytes, 2) >= 54 && Field<DWORD>(bytes, 2) <= bytes.size()) {
            ASSERT_EQ(result, 1) << row;
            ExpectGreyOf(bytes, out, row);
        } else {
            EXPECT_EQ(result, 0) << row;
            EXPECT_LE(out.size(), 54u) << row;
        }
    }
}
