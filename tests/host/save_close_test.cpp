// Saving and closing through Vorlane.dll as a host does: EasyCapture,
// FreeCG200 and HDReset, against the virtual card.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "host_fixture.h"

using SaveCloseTest = HostTest;

namespace {

struct Frame {
    int width, height, mode;
};

std::vector<uint8_t> Pixels(const std::vector<uint8_t> &file) {
    return file.size() < 54 ? std::vector<uint8_t>{} : std::vector<uint8_t>(file.begin() + 54, file.end());
}

// Where the files for the Linux-side reader check go, when that check runs.
std::string ReaderCheckFolder() {
    const char *folder = std::getenv("VORLANE_STILL_DIR");
    if (!folder || !*folder) return {};
    std::string path = std::string("Z:") + folder;
    if (path.back() != '/') path += '/';
    return path;
}

// A window of the host's own that the preview is painted over; it paints
// itself plain green whenever the system asks it to.
class GreenWindow {
public:
    static constexpr uint32_t kGreen = 0x00A000;
    GreenWindow(int x, int y, int width, int height) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hbrBackground = brush_;
        windowClass.lpszClassName = "VorlaneSaveCloseGreen";
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(WS_EX_TOPMOST, windowClass.lpszClassName, "", WS_POPUP | WS_VISIBLE,
                                  x, y, width, height, nullptr, nullptr, windowClass.hInstance, nullptr);
    }
    ~GreenWindow() {
        DestroyWindow(window_);
        UnregisterClassA("VorlaneSaveCloseGreen", GetModuleHandleA(nullptr));
        DeleteObject(brush_);
    }
    GreenWindow(const GreenWindow &) = delete;
    GreenWindow &operator=(const GreenWindow &) = delete;
    explicit operator bool() const { return window_ != nullptr; }

private:
    HBRUSH brush_ = CreateSolidBrush(RGB(0, 0xA0, 0));
    HWND window_ = nullptr;
};

int CountOtherThan(const vt::ScreenPixels &pixels, uint32_t rgb) {
    int count = 0;
    for (uint32_t pixel : pixels.rgb) count += pixel != rgb;
    return count;
}

}  // namespace

// Saved after two reads, or at once after EasyInit: then the card's first
// frame when one comes, and when none can come, the black buffer and still 1,
// within the wait's bound. Either way the card is closed for good.
TEST_F(SaveCloseTest, SavedFileIsTheLastFrameReadWidenedTo24Bits) {
    const auto never = [] { VcSetStatusMode(VC_STATUS_NONE); };
    struct Row {
        int mode, height;
        bool atOnce;
        void (*card)();  // what keeps the card from delivering; nullptr: nothing
    } rows[] = {
        {1, 480, false, nullptr}, {0, 576, false, nullptr}, {2, 384, false, nullptr}, {3, 80, false, nullptr},
        {1, 400, false, nullptr}, {2, 576, false, nullptr}, {0, 80, false, nullptr},  {3, 480, false, nullptr},
        {1, 240, true, nullptr},  {3, 320, true, nullptr},  {0, 240, true, never},     {3, 240, true, never},
        {1, 240, true, [] { VcSetFailure(VC_SET_DISPLAY, 1); }}, {2, 240, true, [] { VcSetFailure(VC_SET_COLOR, 1); }},
    };
    const std::string checkFolder = ReaderCheckFolder();
    for (const Row &row : rows) {
        const int width = row.height / 4 * 3;
        const std::string file = "mode" + std::to_string(row.mode) + "_" + std::to_string(width) + "x" +
                                 std::to_string(row.height);
        const std::string name = file + (row.atOnce ? ", at once" : "") + (row.card ? ", nothing delivered" : "");
        const std::string path = vt::TempPath(file + ".bmp");
        VcReset();
        if (!row.atOnce) {
            ASSERT_TRUE(OpenAndRead(20, 30, row.height, row.mode)) << name << "\n" << vt::DescribeLog();
            ASSERT_EQ(EasyCapture(path.c_str()), 1) << name;
        } else {
            if (row.card) row.card();
            ASSERT_EQ(EasyInit(0, 0, row.height, row.mode), 1) << name;
            vt::HostCall save([&path] { return EasyCapture(path.c_str()); });
            if (!save.Finished(VORLANE_FIRST_FRAME_WAIT_MS + 5000)) {
                ADD_FAILURE() << name << ": still waiting for a frame";
                VcSetStatusMode(VC_STATUS_EVERY_POLL);
            }
            ASSERT_EQ(save.Finished(INFINITE) ? save.result.load() : -1, 1) << name;
        }

        const std::vector<uint8_t> last = vt::LastFrame();
        const size_t pixelBytes = static_cast<size_t>(width) * row.height * 3;
        const std::vector<uint8_t> saved = vt::ReadFileBytes(path);
        ASSERT_EQ(saved.size(), 54 + pixelBytes) << name;
        const vt::BmpHeaders headers = vt::ReadBmpHeaders(saved);
        EXPECT_EQ(headers.info.biWidth, width) << name;
        EXPECT_EQ(headers.info.biHeight, row.height) << name;
        EXPECT_EQ(headers.info.biBitCount, 24) << name << ": bits per pixel";
        if (row.card) {
            EXPECT_EQ(vt::CardStats().reads, 0) << name;
            EXPECT_EQ(Pixels(saved), std::vector<uint8_t>(pixelBytes, 0)) << name;
        } else {
            ASSERT_EQ(last.size(), pixelBytes / 3 * vt::BytesPerPixel(row.mode)) << name;
            EXPECT_TRUE(Pixels(saved) == vt::FrameAsBgr(last, row.mode)) << name;
            EXPECT_NE(Pixels(saved), std::vector<uint8_t>(pixelBytes, 0)) << name << ": a black frame";
        }
        EXPECT_EQ(vt::CardStats().open, 0) << name;
        EXPECT_EQ(vt::CountCalls(VC_END), 1) << name;
        ExpectNothingOpen(name);

        if (!checkFolder.empty() && !row.card) {
            EXPECT_TRUE(CopyFileA(path.c_str(), (checkFolder + file + ".bmp").c_str(), FALSE)) << name;
            vt::WriteBytes(checkFolder + file + ".frame", last);
        }
    }
}

// The first save fails, at the card's close or at a name that cannot be
// written: the card stays open with the frame kept, nothing that was on disk
// changes, and the retry saves the same frame without reading another. In
// mode 2 the frame was widened for the first save and must not be widened
// again.
TEST_F(SaveCloseTest, AFailedSaveKeepsTheFrameForARetry) {
    const std::string folder = vt::TempPath("bad names\\");
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string readOnly = folder + "read-only.bmp", plainFile = folder + "plain.bmp";
    const std::vector<uint8_t> kept(777, 0x5A);
    struct Row {
        const char *name;
        int mode;
        bool closeRefused;     // otherwise the file cannot be written
        std::string path;
        std::string mustStay;  // a file whose bytes must not change
    } rows[] = {
        {"close refused, 24-bit", 1, true, vt::TempPath("first-try.bmp"), ""},
        {"close refused, 16-bit", 2, true, vt::TempPath("first-try.bmp"), ""},
        {"missing folder, 16-bit", 2, false, folder + "no such folder\\x.bmp", ""},
        {"missing folder, grey", 0, false, folder + "no such folder\\x.bmp", ""},
        {"empty name", 1, false, "", ""},
        {"a folder", 1, false, folder.substr(0, folder.size() - 1), ""},
        {"a folder with its backslash", 1, false, folder, ""},
        {"read-only file", 1, false, readOnly, readOnly},
        {"below a plain file", 1, false, plainFile + "\\x.bmp", plainFile},
        {"longer than MAX_PATH", 1, false, vt::LongerThanMaxPath(folder), ""},
        {"wildcard characters", 1, false, folder + "a*b?.bmp", ""},
        {"only a drive", 1, false, "Z:", ""},
    };
    for (const Row &row : rows) {
        VcReset();
        vt::WriteBytes(plainFile, kept);
        vt::WriteBytes(readOnly, kept);
        SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
        ASSERT_TRUE(OpenAndRead(20, 30, 384, row.mode)) << row.name;
        if (row.closeRefused) {
            DeleteFileA(row.path.c_str());
            VcSetFailure(VC_END, 1);
        }
        EXPECT_EQ(EasyCapture(row.path.c_str()), 0) << row.name;
        EXPECT_EQ(vt::CardStats().open, 1) << row.name;
        EXPECT_EQ(vt::CountCalls(VC_END), row.closeRefused ? 1 : 0) << row.name << "\n" << vt::DescribeLog();
        const std::vector<uint8_t> expected = vt::FrameAsBgr(vt::LastFrame(), row.mode);
        if (row.closeRefused) { EXPECT_TRUE(Pixels(vt::ReadFileBytes(row.path)) == expected) << row.name; }
        if (!row.mustStay.empty()) { EXPECT_EQ(vt::ReadFileBytes(row.mustStay), kept) << row.name << ": file changed"; }
        EXPECT_TRUE(vt::FileExists(folder)) << row.name;
        VcSetFailure(VC_END, 0);

        const int64_t reads = vt::CardStats().reads;
        const std::string retry = vt::TempPath("retry.bmp");
        ASSERT_EQ(EasyCapture(retry.c_str()), 1) << row.name;
        EXPECT_EQ(vt::CardStats().reads, reads) << row.name;
        EXPECT_TRUE(Pixels(vt::ReadFileBytes(retry)) == expected) << row.name;
        EXPECT_EQ(vt::CardStats().open, 0) << row.name;
    }
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SaveCloseTest, HDResetSetsTheThreeAdjustmentsToTheMiddleAndCloses) {
    struct Row {
        const char *name;
        int32_t beginResult;
        bool endFails;
        int result;
        bool message;
        std::vector<VcCall> calls;
    } rows[] = {
        {"card present", VC_DEFAULT_HANDLE, false, 1, false,
         {VC_BEGIN, VC_SET_AD, VC_SET_AD, VC_SET_AD, VC_END}},
        {"EndCG400 fails", VC_DEFAULT_HANDLE, true, 0, false,
         {VC_BEGIN, VC_SET_AD, VC_SET_AD, VC_SET_AD, VC_END}},
        {"no card (0)", 0, false, 0, true, {VC_BEGIN}},
        {"no card (1)", 1, false, 0, true, {VC_BEGIN}},
        {"no card (2)", 2, false, 0, true, {VC_BEGIN}},
        {"no card (-1)", -1, false, 0, true, {VC_BEGIN}},
    };
    for (const Row &row : rows) {
        VcReset();
        VcSetBeginResult(row.beginResult);
        if (row.endFails) VcSetFailure(VC_END, 1);
        vt::BoxWatcher catcher(row.message ? 15000 : 500);
        EXPECT_EQ(HDReset(), row.result) << row.name;
        vt::ExpectBox(catcher.Wait(), row.message ? vt::kCardInitFailedText : nullptr, vt::kDefaultErrorCaption,
                      row.name);
        const std::vector<VcLogEntry> log = vt::CardLog();
        ASSERT_EQ(log.size(), row.calls.size()) << row.name << "\n" << vt::DescribeLog();
        const int selectors[] = {1, 2, 4};
        for (size_t i = 0; i < log.size(); ++i) {
            EXPECT_EQ(log[i].call, row.calls[i]) << row.name << ", call " << i;
            if (row.calls[i] == VC_BEGIN) { EXPECT_EQ(log[i].args[0], 1) << row.name; }
            if (row.calls[i] == VC_SET_AD) {
                EXPECT_EQ(log[i].args[0], VC_DEFAULT_HANDLE) << row.name << ", call " << i;
                EXPECT_EQ(log[i].args[1], selectors[i - 1]) << row.name << ", call " << i;
                EXPECT_EQ(log[i].args[2], 128) << row.name << ", call " << i;
            }
            if (row.calls[i] == VC_END) { EXPECT_EQ(log[i].args[0], VC_DEFAULT_HANDLE) << row.name; }
        }
        // A card left open by a failed end is not opened over, but closed by
        // a later FreeCG200.
        if (row.endFails) {
            EXPECT_EQ(vt::CardStats().open, 1) << row.name;
            EXPECT_EQ(EasyInit(0, 0, 384, 1), 0) << row.name << ": opening over the open card";
            VcSetFailure(VC_END, 0);
            EXPECT_EQ(FreeCG200(), 1) << row.name;
        }
        EXPECT_EQ(vt::CardStats().open, 0) << row.name;
    }
}

TEST_F(SaveCloseTest, CloseRepaintsTheWindowsUnderThePreview) {
    // Run a second time inside a Wine virtual desktop of this size.
    if (const char *desktop = std::getenv("VORLANE_VIRTUAL_DESKTOP")) {
        RECT screen{};
        GetWindowRect(GetDesktopWindow(), &screen);
        ASSERT_EQ(std::to_string(screen.right) + "x" + std::to_string(screen.bottom), desktop);
    }
    struct Row {
        const char *name;
        int (*close)();
    } rows[] = {
        {"EasyCapture", [] { return EasyCapture(vt::TempPath("repaint.bmp").c_str()); }},
        {"FreeCG200", [] { return FreeCG200(); }},
    };
    const int x = 110, y = 110, width = 180, height = 240;
    for (const Row &row : rows) {
        VcReset();
        GreenWindow window(x - 10, y - 10, width + 20, height + 20);
        ASSERT_TRUE(window) << row.name;
        ASSERT_TRUE(vt::WaitUntil([&] {
            vt::Pump();
            return CountOtherThan(vt::ReadScreen(x, y, width, height), GreenWindow::kGreen) == 0;
        })) << row.name << ": the window never showed";

        ASSERT_TRUE(OpenAndRead(x, y, height, 1, 3)) << row.name;
        // The test picture is anything but plain green.
        const int covered = CountOtherThan(vt::ReadScreen(x, y, width, height), GreenWindow::kGreen);
        EXPECT_GT(covered, width * height / 2) << row.name << ": no preview on the window";

        ASSERT_EQ(row.close(), 1) << row.name;
        int left = 0;
        EXPECT_TRUE(vt::WaitUntil([&] {
            vt::Pump();
            left = CountOtherThan(vt::ReadScreen(x, y, width, height), GreenWindow::kGreen);
            return left == 0;
        })) << row.name << ": " << left << " preview pixels left after the close";
    }
}
