// Footage: a folder of pictures the card plays in place of its own.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "card_library.h"
#include "bmp_headers.h"
#include "core/picture_decoding.h"
#include "test_support.h"
#include "virtual_card_fixture.h"
#include "vcard_control.h"
#include "vorlane.h"

namespace {

using vt::Bytes;
using vt::FramePixel;
using vt::PlayFolder;
using vt::Poll;
using vt::ReadFrame;
using vt::Rgb;
using vt::Text;
using VirtualCardTest = vt::VirtualCardTest;

// A folder listed as FAT volumes and network shares list one, in the order
// its files were written: here the reverse of name order.
struct WriteOrderListing {
    static inline std::vector<WIN32_FIND_DATAA> entries;
    static inline size_t next = 0;
    static HANDLE WINAPI First(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
        entries.clear();
        next = 0;
        WIN32_FIND_DATAA found;
        const HANDLE find = FindFirstFileA(pattern, &found);
        if (find == INVALID_HANDLE_VALUE) return find;
        do entries.push_back(found);
        while (FindNextFileA(find, &found));
        std::sort(entries.begin(), entries.end(), [](const WIN32_FIND_DATAA &a, const WIN32_FIND_DATAA &b) {
            return _stricmp(a.cFileName, b.cFileName) > 0;
        });
        *data = entries[next++];
        return find;
    }
    static BOOL WINAPI Next(HANDLE, LPWIN32_FIND_DATAA data) {
        if (next >= entries.size()) {
            SetLastError(ERROR_NO_MORE_FILES);
            return FALSE;
        }
        *data = entries[next++];
        return TRUE;
    }
};

// The card's own folder listing replaced for the life of the guard.
class ListedInWriteOrder {
public:
    ListedInWriteOrder()
        : first_(vt::ReplaceImport(Card(), "KERNEL32.dll", "FindFirstFileA", reinterpret_cast<void *>(&WriteOrderListing::First))),
          next_(vt::ReplaceImport(Card(), "KERNEL32.dll", "FindNextFileA", reinterpret_cast<void *>(&WriteOrderListing::Next))) {}
    ~ListedInWriteOrder() {
        if (first_) vt::ReplaceImport(Card(), "KERNEL32.dll", "FindFirstFileA", first_);
        if (next_) vt::ReplaceImport(Card(), "KERNEL32.dll", "FindNextFileA", next_);
    }
    ListedInWriteOrder(const ListedInWriteOrder &) = delete;
    ListedInWriteOrder &operator=(const ListedInWriteOrder &) = delete;
    explicit operator bool() const { return first_ && next_; }

private:
    static HMODULE Card() { return GetModuleHandleA("CG400D32.dll"); }
    void *first_;
    void *next_;
};

TEST_F(VirtualCardTest, FootagePlaysInNameOrderAndLoopsIntoTheSavedFrame) {
    // Name order without case: 0, 10, 2, 3, a, B, listed the other way
    // round. 0 and 3 hold only zero bytes, as a power cut leaves them: passed
    // over with a line each. The tall one leaves black bars inside the saved
    // 432 x 576 middle; the others fill it.
    const std::string folder = Subfolder("order");
    const Rgb red{200, 0, 0}, green{0, 180, 0}, white{250, 250, 250}, blue{0, 0, 220}, black{0, 0, 0};
    WriteFlat("order\\B.bmp", 64, 48, blue);
    vt::WriteBytes(folder + "\\3.bmp", Bytes(9270, 0));
    WriteBmp("order\\2.bmp", 10, 40, true, [&](int, int) { return green; });
    WriteFlat("order\\a.bmp", 4, 3, white);
    WriteFlat("order\\10.bmp", 40, 30, red);
    vt::WriteBytes(folder + "\\0.bmp", Bytes{});
    WriteFlat("order\\c.bmpx", 3, 3, Rgb{9, 9, 9});
    const std::string passedOver = folder + "\\0.bmp: nothing but zero bytes, passed over\n" + folder +
                                   "\\3.bmp: nothing but zero bytes, passed over";
    const ListedInWriteOrder listing;
    ASSERT_TRUE(listing) << "the virtual card imports no FindFirstFileA or FindNextFileA";
    const std::string saved = folder_ + "\\saved.bmp";
    // A frame is two status changes: the read after change n shows picture n / 2.
    struct Row {
        int changes;
        Rgb middle, leftEdge;
    } rows[] = {{1, red, red}, {2, green, black}, {5, white, white}, {6, blue, blue}, {9, red, red}};
    for (const Row &row : rows) {
        const std::string name = std::to_string(row.changes) + " changes";
        VcReset();
        std::string why;
        ASSERT_EQ(PlayFolder(folder, &why), 1) << name << ": " << why;
        EXPECT_EQ(why, passedOver) << name;
        std::vector<uint32_t> script;
        for (int i = 0; i < row.changes; ++i) script.push_back(i % 2 == 0 ? 2u : 0u);
        VcScriptStatus(script.data(), static_cast<int32_t>(script.size()));
        ASSERT_EQ(EasyInit(0, 0, 576, 1), 1) << name;
        EXPECT_TRUE(vt::WaitUntil([&] { return vt::CardStats().polls > row.changes + 50; })) << name;
        ASSERT_EQ(EasyCapture(saved.c_str()), 1) << name;
        EXPECT_EQ(vt::CardStats().reads, row.changes) << name;
        const Bytes file = vt::ReadFileBytes(saved);
        ASSERT_EQ(file.size(), bmp::kHeadersBytes + 432 * 576 * 3) << name;
        const Bytes pixels(file.begin() + bmp::kHeadersBytes, file.end());
        EXPECT_EQ(Text(FramePixel(pixels, 432, 576, 216, 288)), Text(row.middle)) << name;
        EXPECT_EQ(Text(FramePixel(pixels, 432, 576, 0, 288)), Text(row.leftEdge)) << name;
    }
}

TEST_F(VirtualCardTest, FootageSkipsAVanishedFileAndTakesTheAdjustments) {
    const std::string folder = Subfolder("vanish");
    std::vector<std::string> paths;
    auto level = [](int file) { return static_cast<uint8_t>(20 * file + 10); };
    for (int i = 0; i < 12; ++i)
        paths.push_back(WriteFlat("vanish\\" + std::string(1, static_cast<char>('a' + i)) + ".bmp", 8, 6,
                                  Rgb{level(i), level(i), level(i)}));
    ASSERT_EQ(PlayFolder(folder), 1);
    // The card reads at most 8 pictures ahead, so file 10 is still unread.
    ASSERT_EQ(DeleteFileA(paths[10].c_str()), TRUE);
    VcSetStatusMode(VC_STATUS_EVERY_POLL);
    const int expected[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 0, 1, 2};
    for (int n = 0; n < 14; ++n) {
        const Bytes frame = ReadFrame(0, 0, 768, 576, 96, 72, 1);
        const uint8_t want = level(expected[n]);
        EXPECT_EQ(Text(FramePixel(frame, 96, 72, 48, 36)), Text(Rgb{want, want, want})) << "picture " << n;
        Poll(2);
    }
    // Picture 14 is file 3 (level 70): in grey, brightness 128 + 30.
    CG400SetADParam(VC_DEFAULT_HANDLE, card::kAdSelector1, 158);
    EXPECT_EQ(ReadFrame(0, 0, 768, 576, 96, 72, 0)[36 * 96 + 48], 100) << "grey, brighter";
}

// Files other programs wrote, made by foreign_pictures.py before this
// program runs, in one folder: each plays as Pillow reads the same file,
// fitted by the nearest source pixel to each frame pixel's centre.
TEST_F(VirtualCardTest, PicturesOtherProgramsWritePlayAsPillowReadsThem) {
    const std::string folder = vt::BesideProgram("foreign-pictures");
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\pillow\\*.rgb").c_str(), &found);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &found) != 0)
        names.push_back(std::string(found.cFileName, std::strlen(found.cFileName) - 4));
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    std::sort(names.begin(), names.end());  // lower case: the order the card plays them in
    ASSERT_GE(names.size(), 10u) << "no pictures from foreign_pictures.py in " << folder;
    std::string why;
    ASSERT_EQ(PlayFolder(folder + "\\pictures", &why), 1) << why;
    VcSetStatusMode(VC_STATUS_EVERY_POLL);
    for (const std::string &name : names) {
        const Bytes pillow = vt::ReadFileBytes(folder + "\\pillow\\" + name + ".rgb");
        ASSERT_GE(pillow.size(), 8u) << name;
        int32_t width, height;
        std::memcpy(&width, pillow.data(), 4);
        std::memcpy(&height, pillow.data() + 4, 4);
        const Bytes frame = ReadFrame(0, 0, 768, 576, 768, 576, 1);
        const vcard::Window fit = vcard::FitInFrame(width, height);
        int wrong = 0;
        std::string first;
        for (int y = 0; y < 576; ++y)
            for (int x = 0; x < 768; ++x) {
                Rgb want{0, 0, 0};
                if (x >= fit.left && x < fit.left + fit.width && y >= fit.top && y < fit.top + fit.height) {
                    const int64_t sx = (2 * int64_t{x - fit.left} + 1) * width / (2 * int64_t{fit.width});
                    const int64_t sy = (2 * int64_t{y - fit.top} + 1) * height / (2 * int64_t{fit.height});
                    const uint8_t *p = pillow.data() + 8 + (sy * width + sx) * 3;
                    want = Rgb{p[0], p[1], p[2]};
                }
                const Rgb got = FramePixel(frame, 768, 576, x, y);
                if (got.r == want.r && got.g == want.g && got.b == want.b) continue;
                if (wrong++ == 0)
                    first = "x " + std::to_string(x) + ", y " + std::to_string(y) + ": " + Text(got) + " for " + Text(want);
            }
        EXPECT_EQ(wrong, 0) << name << ": frame pixels unlike Pillow's reading, first at " << first;
        Poll(2);
    }
}

// What is wrong inside a picture is the decoding's business (its unit test
// holds every reason); here, how the folder's reason is put together.
TEST_F(VirtualCardTest, BadFootageIsRefusedWithItsReasonAndTheSceneStays) {
    struct Row {
        const char *name;
        const char *file;  // "": no picture file besides the good one; nullptr: no folder
        std::function<void(Bytes &)> spoil;
        const char *reason;  // after the folder's name
    } rows[] = {
        {"no folder", nullptr, nullptr, "\\missing: no such folder"},
        {"no BMP file", "", nullptr, " holds no .bmp file"},
        {"8 bits a pixel", "b.bmp",
         [](Bytes &b) { vt::EditBmpHeaders(b, [](vt::BmpHeaders &h) { h.info.biBitCount = 8; }); },
         "\\b.bmp: bit depth 8"},
        {"truncated", "b.bmp", [](Bytes &b) { b.resize(b.size() - 40); }, "\\b.bmp: truncated"},
        {"shorter than its headers", "b.bmp", [](Bytes &b) { b.resize(30); }, "\\b.bmp: truncated"},
        {"zero bytes but the last", "b.bmp",
         [](Bytes &b) {
             std::fill(b.begin(), b.end(), 0);
             b.back() = 1;
         },
         "\\b.bmp: not a BMP file"},
        {"zero bytes and nothing else", "", [](Bytes &b) { std::fill(b.begin(), b.end(), 0); },
         ": every .bmp file holds nothing but zero bytes"},
    };
    // A still picture before: it must stay. Away from the moving parts.
    const Rgb kept{10, 120, 230};
    ASSERT_EQ(VcSetScenePicture(WriteFlat("kept.bmp", 4, 3, kept).c_str()), 1);
    int n = 0;
    for (const Row &row : rows) {
        const std::string sub = "bad" + std::to_string(++n), base = Subfolder(sub);
        const std::string folder = row.file != nullptr ? base : base + "\\missing";
        WriteFlat(sub + "\\notes.bmp.txt", 2, 2, Rgb{});
        if (row.file != nullptr && row.file[0] != '\0') {
            WriteFlat(sub + "\\a.bmp", 2, 2, Rgb{});
            WriteBmp(sub + "\\" + row.file, 5, 4, false, [](int, int) { return Rgb{}; }, row.spoil);
        } else if (row.spoil) {
            WriteBmp(sub + "\\z.bmp", 5, 4, false, [](int, int) { return Rgb{}; }, row.spoil);
        }
        std::string why;
        EXPECT_EQ(PlayFolder(folder, &why), 0) << row.name;
        EXPECT_EQ(why.find(base + row.reason), 0u) << row.name << ": " << why;
        const Bytes frame = ReadFrame(100, 0, 72, 64, 36, 32, 1);
        EXPECT_EQ(Text(FramePixel(frame, 36, 32, 18, 16)), Text(kept)) << row.name;
    }
    char small[8];
    EXPECT_EQ(VcPlayFolder(nullptr, small, sizeof small), 0) << "no folder given";
    EXPECT_EQ(std::strlen(small), 7u) << "the reason is cut to the buffer";
    EXPECT_EQ(VcPlayFolder("", nullptr, 0), 0) << "no buffer for the reason";
}

}  // namespace
