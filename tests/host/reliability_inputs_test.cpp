// Bad arguments and calls in the wrong order, as a careless host makes
// them: nothing may crash or hang, and no file on disk may be lost.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "host_fixture.h"
#include "reliability_support.h"

using InputTest = HostTest;

namespace {

using Bytes = std::vector<uint8_t>;

void Remove(const std::string &path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

// The frame a requested height gives, worked out apart from the DLL.
struct Size {
    int width, height;
};
Size FrameFor(int requested) {
    const int clamped = requested < 80 ? 80 : requested > 576 ? 576 : requested;
    const int height = clamped / 16 * 16;
    return {height / 4 * 3, height};
}

std::wstring Wide(const std::string &ansi) {
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0], n);
    wide.resize(wide.size() - 1);
    return wide;
}

// GBK names, one with a second byte that is a backslash in ASCII.
const std::string kGbkName = "\xCD\xBC\xCF\xF1 \xB2\xC9\xBC\xAF.bmp";  // 图像 采集.bmp
const std::string kGbkBackslashTrail = "\x81\x5C\x95\x5C.bmp";

}  // namespace

// Positions far off the screen, and the height and mode at their extremes
// too: the preview runs, paints nothing where it should not, and closes.
TEST_F(InputTest, ExtremePositionsAndHeights) {
    // Which corner of the screen the picture must cover; -1: none.
    struct Row {
        int x, y, height, mode;
        int corner;
    } rows[] = {
        {INT_MIN, INT_MIN, 480, 1, -1},   {INT_MAX, INT_MAX, 480, 1, -1},
        {INT_MAX, 0, INT_MAX, 0, -1},     {0, INT_MAX, INT_MIN, 2, -1},
        {INT_MIN, 0, -1, 3, -1},          {-100000, -100000, 576, 1, -1},
        {INT_MAX - 100, INT_MAX - 100, 576, 1, -1},
        {INT_MIN + 1, INT_MAX - 1, 100, 1, -1},
        {-200, -300, 576, 1, 0},
        {GetSystemMetrics(SM_CXSCREEN) - 100, GetSystemMetrics(SM_CYSCREEN) - 100, 576, 2, 3},
    };
    // The corners of the screen, where a wrapped-around position would land.
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const POINT corners[] = {{0, 0}, {screenWidth - 40, 0}, {0, screenHeight - 40},
                             {screenWidth - 40, screenHeight - 40}};
    for (const Row &row : rows) {
        const std::string name = "x " + std::to_string(row.x) + ", y " + std::to_string(row.y) +
                                 ", height " + std::to_string(row.height) + ", mode " +
                                 std::to_string(row.mode);
        VcReset();
        for (const POINT &c : corners) vt::FillScreen(c.x, c.y, 40, 40);

        ASSERT_TRUE(OpenAndRead(row.x, row.y, row.height, row.mode)) << name;
        // Still looping after the paints.
        const int64_t polls = vt::CardStats().polls;
        EXPECT_TRUE(vt::WaitUntil([polls] { return vt::CardStats().polls > polls + 10; })) << name;
        for (int i = 0; i < 4; ++i) {
            const vt::ScreenPixels pixels = vt::ReadScreen(corners[i].x, corners[i].y, 40, 40);
            size_t changed = 0;
            for (uint32_t p : pixels.rgb) changed += p != vt::kMarkerRgb;
            EXPECT_EQ(changed, i == row.corner ? pixels.rgb.size() : 0u) << name << ": corner " << i;
        }
        const Size frame = FrameFor(row.height);
        const std::string path = vt::TempPath("extreme.bmp");
        ASSERT_EQ(EasyCapture(path.c_str()), 1) << name;
        EXPECT_EQ(vt::ReadFileBytes(path).size(), 54u + size_t{3} * frame.width * frame.height) << name;
        InvalidateRect(nullptr, nullptr, TRUE);
    }
}

// Names in the ANSI code page (GBK here) are passed through as they are.
TEST_F(InputTest, NonAsciiNamesInTheAnsiCodePage) {
    ASSERT_EQ(GetACP(), 936u) << "the ANSI code page is not GBK: Wine takes it from the locale "
                                 "zh_CN.UTF-8, which scripts/setup.sh generates";
    const std::string folder = vt::TempPath("\xB2\xC9\xBC\xAF\\");  // 采集
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const std::string &name : {kGbkName, kGbkBackslashTrail}) {
        const std::string saved = folder + name;
        const std::string grey = folder + "\xBB\xD2 " + name;  // 灰
        Remove(saved);
        Remove(grey);
        VcReset();
        ASSERT_TRUE(OpenAndRead(0, 0, 96, 1)) << name;
        ASSERT_EQ(EasyCapture(saved.c_str()), 1) << name;
        // The very name the host meant, not a mangled one.
        const DWORD attributes = GetFileAttributesW(Wide(saved).c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << name;
        EXPECT_EQ(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u) << name;
        EXPECT_EQ(vt::ReadFileBytes(saved).size(), 54u + 72u * 96u * 3u) << name;

        EXPECT_EQ(Color2Gray(saved.c_str(), grey.c_str()), 1) << name;
        EXPECT_NE(GetFileAttributesW(Wide(grey).c_str()), INVALID_FILE_ATTRIBUTES) << name;
        EXPECT_EQ(vt::ReadFileBytes(grey).size(), bmp::kGreyPixelOffset + 72u * 96u) << name;
        // Refused under its own GBK name: the source stays whole.
        EXPECT_EQ(Color2Gray(saved.c_str(), saved.c_str()), 0) << name;
        EXPECT_EQ(vt::ReadFileBytes(saved).size(), 54u + 72u * 96u * 3u) << name;
    }
}

// Random sequences of the five calls, with bad arguments and a card that
// fails now and then, checked step by step against what a host may expect.
TEST_F(InputTest, RandomCallOrderMatchesTheModel) {
    const int steps = rely::Rounds("VORLANE_SOAK_STEPS", 300, 3000);
    std::mt19937 random(20240611);
    const auto pick = [&random](std::initializer_list<int> values) {
        return *(values.begin() + random() % values.size());
    };
    struct Model {
        bool open = false;
        bool frame = false;
        Size size{0, 0};
    } model;
    bool endFails = false;
    vt::BoxWatcher boxes;
    const std::string good = vt::TempPath("sequence.bmp");
    const std::string missingFolder = vt::TempPath("no folder here\\sequence.bmp");
    std::string trail;  // the last steps, for the failure message
    VcSetStatusMode(VC_STATUS_EVERY_POLL);

    for (int step = 0; step < steps; ++step) {
        const int boxesBefore = boxes.seen();
        int expectedBoxes = 0;
        const bool beginFails = random() % 12 == 0;
        if (beginFails) VcSetBeginResult(pick({0, 1, 2, -1}));
        int result = -1, expected = -1;
        std::string what;
        bool fileExpected = false;
        const Size savedSize = model.size;
        Remove(good);

        switch (random() % 6) {
        case 0:
        case 1: {
            const int x = pick({0, 50, -300, INT_MIN, INT_MAX}), y = pick({0, 70, -300, INT_MIN, INT_MAX});
            const int height = pick({80, 240, 384, 400, 576, 0, -5, INT_MIN, INT_MAX, 1000});
            const int mode = pick({0, 1, 2, 3, 1, -1, 4, INT_MIN});
            what = "EasyInit(" + std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(height) +
                   ", " + std::to_string(mode) + ")";
            result = EasyInit(x, y, height, mode);
            if (model.open || mode < 0 || mode > 3) {
                expected = 0;
            } else if (beginFails) {
                expected = 0;
                expectedBoxes = 1;
            } else {
                expected = 1;
                model = {true, true, FrameFor(height)};
            }
            break;
        }
        case 2: {
            const int kind = static_cast<int>(random() % 4);
            const char *path = kind == 0 ? nullptr : kind == 1 ? "" : kind == 2 ? missingFolder.c_str() : good.c_str();
            what = std::string("EasyCapture(") + (kind == 0 ? "null" : kind == 1 ? "\"\"" : kind == 2 ? "missing folder" : "good") + ")";
            result = EasyCapture(path);
            expected = 0;
            if (kind == 3 && model.open && model.frame) {
                fileExpected = true;
                if (!endFails) {
                    expected = 1;
                    model = {};
                }
            }
            break;
        }
        case 3:
            what = "FreeCG200()";
            result = FreeCG200();
            expected = model.open && !endFails ? 1 : 0;
            if (expected) model.open = false;
            model.frame = false;
            break;
        case 4:
            what = "HDReset()";
            result = HDReset();
            if (model.open) {
                expected = 0;
            } else if (beginFails) {
                expected = 0;
                expectedBoxes = 1;
            } else {
                expected = endFails ? 0 : 1;
                model.open = endFails;
            }
            break;
        default:
            endFails = random() % 2 == 0;
            VcSetFailure(VC_END, endFails ? 1 : 0);
            what = endFails ? "EndCG400 starts failing" : "EndCG400 works again";
            break;
        }
        VcSetBeginResult(VC_DEFAULT_HANDLE);
        trail = (trail.size() > 600 ? trail.substr(trail.size() - 600) : trail) + "\n  " + what +
                (beginFails ? " [BeginCG400 fails]" : "") + " = " + std::to_string(result);
        const std::string row = "step " + std::to_string(step) + ":" + trail;

        if (expected >= 0) { ASSERT_EQ(result, expected) << row; }
        ASSERT_EQ(vt::CardStats().open, model.open ? 1 : 0) << row;
        ASSERT_TRUE(vt::WaitUntil([&] { return boxes.seen() - boxesBefore >= expectedBoxes; }, 15000)) << row;
        ASSERT_EQ(boxes.seen() - boxesBefore, expectedBoxes) << row;
        if (expectedBoxes) { ASSERT_EQ(boxes.last().text, vt::kCardInitFailedText) << row; }
        if (fileExpected) {
            ASSERT_EQ(vt::ReadFileBytes(good).size(), 54u + size_t{3} * savedSize.width * savedSize.height)
                << row;
        } else {
            ASSERT_FALSE(vt::FileExists(good)) << row;
        }
    }
    VcSetFailure(VC_END, 0);
    FreeCG200();
    InvalidateRect(nullptr, nullptr, TRUE);
    std::printf("SOAK random call order | %d steps\n", steps);
}
