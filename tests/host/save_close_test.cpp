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

// What a saved file must hold for a frame the card delivered: mode 1 as it
// came, the others widened to blue, green, red. Written out here again,
// apart from the DLL's own code, so that one mistake cannot hide in both.
std::vector<uint8_t> ExpectedPixels(const std::vector<uint8_t> &frame, int mode) {
    if (mode == 1) return frame;
    std::vector<uint8_t> out;
    const auto widen = [](unsigned c) { return static_cast<uint8_t>(c * 8 + c / 4); };
    if (mode == 0) {
        for (uint8_t grey : frame) out.insert(out.end(), {grey, grey, grey});
        return out;
    }
    for (size_t i = 0; i + 1 < frame.size(); i += 2) {
        const unsigned word = frame[i] + 256u * frame[i + 1];
        out.insert(out.end(), {widen(word % 32), widen(word / 32 % 32), widen(word / 1024 % 32)});
    }
    return out;
}

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

TEST_F(SaveCloseTest, SavedFileIsTheLastFrameReadWidenedTo24Bits) {
    const Frame frames[] = {{360, 480, 1}, {432, 576, 0}, {288, 384, 2}, {60, 80, 3},
                            {300, 400, 1}, {432, 576, 2}, {60, 80, 0}, {360, 480, 3}};
    const std::string checkFolder = ReaderCheckFolder();
    for (const Frame &frame : frames) {
        const std::string name = "mode" + std::to_string(frame.mode) + "_" +
                                 std::to_string(frame.width) + "x" + std::to_string(frame.height);
        VcReset();
        ASSERT_TRUE(OpenAndRead(20, 30, frame.height, frame.mode)) << name << "\n" << vt::DescribeLog();
        const std::string path = vt::TempPath(name + ".bmp");
        ASSERT_EQ(EasyCapture(path.c_str()), 1) << name;

        const std::vector<uint8_t> last = vt::LastFrame();
        const size_t pixelBytes = static_cast<size_t>(frame.width) * frame.height * 3;
        ASSERT_EQ(last.size(), pixelBytes / 3 * vt::BytesPerPixel(frame.mode)) << name;
        const std::vector<uint8_t> file = vt::ReadFileBytes(path);
        ASSERT_EQ(file.size(), 54 + pixelBytes) << name;
        const vt::BmpHeaders headers = vt::ReadBmpHeaders(file);
        EXPECT_EQ(headers.info.biWidth, frame.width) << name;
        EXPECT_EQ(headers.info.biHeight, frame.height) << name;
        EXPECT_EQ(headers.info.biBitCount, 24) << name << ": bits per pixel";
        EXPECT_TRUE(Pixels(file) == ExpectedPixels(last, frame.mode)) << name;

        // Closed for good: the card, and nothing left for a second save.
        EXPECT_EQ(vt::CardStats().open, 0) << name;
        EXPECT_EQ(vt::CountCalls(VC_END), 1) << name;

        if (!checkFolder.empty()) {
            EXPECT_TRUE(CopyFileA(path.c_str(), (checkFolder + name + ".bmp").c_str(), FALSE)) << name;
            vt::WriteBytes(checkFolder + name + ".frame", last);
        }
    }
}

// Saved at once after EasyInit: the card's first frame when one comes; when
// none can come, the black buffer and still 1, within the wait's bound.
TEST_F(SaveCloseTest, SavedAtOnceWaitsForTheFirstFrame) {
    struct Row {
        const char *name;
        int mode, width, height;
        bool delivers;
        void (*card)();
    } rows[] = {
        {"delivers in real time", 1, 180, 240, true, [] {}},
        {"delivers, 15-bit", 3, 240, 320, true, [] {}},
        {"never delivers, grey", 0, 180, 240, false, [] { VcSetStatusMode(VC_STATUS_NONE); }},
        {"never delivers, 15-bit", 3, 180, 240, false, [] { VcSetStatusMode(VC_STATUS_NONE); }},
        {"display window refused", 1, 180, 240, false, [] { VcSetFailure(VC_SET_DISPLAY, 1); }},
        {"colour mode refused", 2, 180, 240, false, [] { VcSetFailure(VC_SET_COLOR, 1); }},
    };
    const std::string checkFolder = ReaderCheckFolder();
    for (const Row &row : rows) {
        VcReset();
        row.card();
        ASSERT_EQ(EasyInit(0, 0, row.height, row.mode), 1) << row.name;
        const std::string name =
            "mode" + std::to_string(row.mode) + "_" + std::to_string(row.width) + "x" + std::to_string(row.height);
        const std::string path = vt::TempPath(name + ".bmp");
        {
            vt::HostCall save([&path] { return EasyCapture(path.c_str()); });
            if (!save.Finished(VORLANE_FIRST_FRAME_WAIT_MS + 5000)) {
                ADD_FAILURE() << row.name << ": still waiting for a frame";
                VcSetStatusMode(VC_STATUS_EVERY_POLL);
            }
            EXPECT_EQ(save.Finished(INFINITE) ? save.result.load() : -1, 1) << row.name;
        }
        const std::vector<uint8_t> pixels = Pixels(vt::ReadFileBytes(path));
        if (!row.delivers) {
            EXPECT_EQ(vt::CardStats().reads, 0) << row.name;
            EXPECT_EQ(pixels, std::vector<uint8_t>(size_t(row.width) * row.height * 3, 0)) << row.name;
            continue;
        }
        const std::vector<uint8_t> last = vt::LastFrame();
        ASSERT_FALSE(last.empty()) << row.name << ": no frame was read";
        EXPECT_TRUE(pixels == ExpectedPixels(last, row.mode)) << row.name;
        EXPECT_NE(pixels, std::vector<uint8_t>(pixels.size(), 0)) << row.name << ": a black frame";
        if (!checkFolder.empty()) {
            EXPECT_TRUE(CopyFileA(path.c_str(), (checkFolder + name + ".bmp").c_str(), FALSE)) << row.name;
            vt::WriteBytes(checkFolder + name + ".frame", last);
        }
    }
}

TEST_F(SaveCloseTest, SecondSaveFindsNothingOpenAndTouchesNothing) {
    ASSERT_TRUE(OpenAndRead(20, 30, 480, 1));
    ASSERT_EQ(EasyCapture(vt::TempPath("first.bmp").c_str()), 1);
    ExpectNothingOpen("after a save");
}

TEST_F(SaveCloseTest, NullPathChangesNothing) {
    ASSERT_TRUE(OpenAndRead(20, 30, 480, 1));
    VcLogClear();
    EXPECT_EQ(EasyCapture(nullptr), 0);
    EXPECT_EQ(vt::CountCalls(VC_END), 0) << vt::DescribeLog();
    // The preview goes on reading frames.
    const int64_t reads = vt::CardStats().reads;
    EXPECT_TRUE(vt::WaitUntil([reads] { return vt::CardStats().reads > reads + 2; }));
    const std::string path = vt::TempPath("after-null.bmp");
    ASSERT_EQ(EasyCapture(path.c_str()), 1);
    EXPECT_TRUE(Pixels(vt::ReadFileBytes(path)) == vt::LastFrame());
}

// The first save fails, at the card's close or at the file; the retry
// saves the same frame. In mode 2 the frame was widened for the first save
// and must not be widened again.
TEST_F(SaveCloseTest, AFailedSaveKeepsTheFrameForARetry) {
    struct Row {
        const char *name;
        int mode;
        bool fileFails;  // otherwise the card refuses to close
    } rows[] = {
        {"close refused, 24-bit", 1, false},
        {"close refused, 16-bit", 2, false},
        {"file refused, 16-bit", 2, true},
        {"file refused, grey", 0, true},
    };
    for (const Row &row : rows) {
        VcReset();
        ASSERT_TRUE(OpenAndRead(20, 30, 384, row.mode)) << row.name;
        const std::string first =
            row.fileFails ? vt::TempPath("missing-folder\\first-try.bmp") : vt::TempPath("first-try.bmp");
        DeleteFileA(first.c_str());
        if (!row.fileFails) VcSetFailure(VC_END, 1);
        EXPECT_EQ(EasyCapture(first.c_str()), 0) << row.name;
        EXPECT_EQ(vt::CardStats().open, 1) << row.name;
        EXPECT_EQ(vt::CountCalls(VC_END), row.fileFails ? 0 : 1) << row.name << "\n" << vt::DescribeLog();
        const std::vector<uint8_t> expected = ExpectedPixels(vt::LastFrame(), row.mode);
        if (!row.fileFails) { EXPECT_TRUE(Pixels(vt::ReadFileBytes(first)) == expected) << row.name; }
        VcSetFailure(VC_END, 0);

        // The preview stopped at the failure; the retry saves the same frame.
        const int64_t reads = vt::CardStats().reads;
        const std::string retry = vt::TempPath("retry.bmp");
        ASSERT_EQ(EasyCapture(retry.c_str()), 1) << row.name;
        EXPECT_EQ(vt::CardStats().reads, reads) << row.name;
        EXPECT_TRUE(Pixels(vt::ReadFileBytes(retry)) == expected) << row.name;
        EXPECT_EQ(vt::CardStats().open, 0) << row.name;
    }
}

TEST_F(SaveCloseTest, FreeAfterAFailedEndReleasesTheFrameAndKeepsTheCard) {
    ASSERT_TRUE(OpenAndRead(20, 30, 480, 1));
    VcSetFailure(VC_END, 1);
    EXPECT_EQ(FreeCG200(), 0);
    EXPECT_EQ(vt::CardStats().open, 1);

    // No frame is held any more: a save creates nothing and leaves an
    // existing file as it was.
    const std::string existing = vt::TempPath("keep-me.bmp");
    vt::WriteBytes(existing, std::vector<uint8_t>(1000, 0x33));
    VcSetFailure(VC_END, 0);
    VcLogClear();
    EXPECT_EQ(EasyCapture(existing.c_str()), 0);
    EXPECT_EQ(vt::ReadFileBytes(existing), std::vector<uint8_t>(1000, 0x33));
    EXPECT_EQ(vt::CountCalls(VC_END), 0) << vt::DescribeLog();

    EXPECT_EQ(FreeCG200(), 1);
    EXPECT_EQ(vt::CardStats().open, 0);
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

TEST_F(SaveCloseTest, HDResetWhileACardIsOpenLeavesItAlone) {
    ASSERT_TRUE(OpenAndRead(20, 30, 480, 1));
    VcLogClear();
    vt::BoxWatcher catcher(500);
    EXPECT_EQ(HDReset(), 0);
    EXPECT_FALSE(catcher.Wait().seen);
    // The preview keeps reading; nothing else reached the card.
    for (VcCall call : {VC_BEGIN, VC_SET_AD, VC_END})
        EXPECT_EQ(vt::CountCalls(call), 0) << "call " << call << "\n" << vt::DescribeLog();
    const int64_t reads = vt::CardStats().reads;
    EXPECT_TRUE(vt::WaitUntil([reads] { return vt::CardStats().reads > reads; }));
    ASSERT_EQ(EasyCapture(vt::TempPath("after-reset.bmp").c_str()), 1);
    EXPECT_EQ(vt::CountCalls(VC_END), 1);
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
