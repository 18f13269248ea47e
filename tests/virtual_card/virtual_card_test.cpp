// The virtual card on its own, called as the driver is: what it delivers,
// how its status moves, what it logs, and how tests steer it.
//
// With no capture started the frame count stays 0, so the moving parts sit
// still: the bar covers scene columns 0-23 and the ball about 508-560 x
// 262-314. Windows that check exact pixels keep clear of both.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "card_library.h"
#include "bmp_headers.h"
#include "core/picture_decoding.h"
#include "test_support.h"
#include "vcard_control.h"
#include "vorlane.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Rgb {
    uint8_t r, g, b;
};

std::string Text(Rgb c) {
    return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b);
}

class VirtualCardTest : public ::testing::Test {
protected:
    void SetUp() override { VcReset(); }
    void TearDown() override {
        for (int call = VC_BEGIN; call < VC_CALL_COUNT; ++call) VcReleaseCall(call);
        VcReset();
    }

    // Writes a 24-bit BMP whose pixel (x, y from the top) is pixel(x, y),
    // under this test's own folder; `edit` may spoil the bytes first.
    std::string WriteBmp(const std::string &name, int width, int height, bool topDown,
                         const std::function<Rgb(int, int)> &pixel,
                         const std::function<void(Bytes &)> &edit = nullptr) {
        const int stride = (width * 3 + 3) & ~3;
        const int imageBytes = stride * height;
        // Padding gets a loud value: it must never show in the picture.
        Bytes pixels(static_cast<size_t>(imageBytes), 0x77);
        for (int row = 0; row < height; ++row)
            for (int x = 0; x < width; ++x) {
                const Rgb c = pixel(x, topDown ? row : height - 1 - row);
                uint8_t *at = &pixels[static_cast<size_t>(row * stride + x * 3)];
                at[0] = c.b, at[1] = c.g, at[2] = c.r;
            }
        Bytes bytes = vt::MakeBmp24(width, topDown ? -height : height, pixels);
        vt::EditBmpHeaders(bytes, [imageBytes](vt::BmpHeaders &h) { h.info.biSizeImage = static_cast<DWORD>(imageBytes); });
        if (edit) edit(bytes);
        const std::string path = folder_ + "\\" + name;
        vt::WriteBytes(path, bytes);
        return path;
    }
    std::string WriteFlat(const std::string &name, int width, int height, Rgb colour) {
        return WriteBmp(name, width, height, false, [colour](int, int) { return colour; });
    }
    // An empty folder for footage, under this test's own folder.
    std::string Subfolder(const std::string &name) {
        const std::string path = folder_ + "\\" + name;
        CreateDirectoryA(path.c_str(), nullptr);
        return path;
    }

    const std::string folder_ = vt::NewTempFolder("vc");
};

int OpenCard() {
    return BeginCG400(card::kCardNumber);
}

// Sets the card up as the preview does and reads one frame.
Bytes ReadFrame(int left, int top, int inW, int inH, int outW, int outH, int code) {
    int h = OpenCard();
    CG400SetInpVideoWindow(h, left, top, inW, inH);
    CG400SetDispWindow(h, 0, 0, outW, outH);
    CG400SetColorSpace(h, static_cast<unsigned char>(code));
    Bytes frame(static_cast<size_t>(outW) * static_cast<size_t>(outH) * 3, 0xEE);
    CG400ReadFromMem(h, VC_READ_SOURCE, VC_MEM_PAGES * card::kMemPageBytes, 0, frame.data(), 1);
    return frame;
}

// The 24-bit frame's pixel (x, y from the top) as R, G, B; frames come bottom-up.
Rgb FramePixel(const Bytes &frame, int width, int height, int x, int y) {
    const size_t at = (static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    return at + 2 < frame.size() ? Rgb{frame[at + 2], frame[at + 1], frame[at]} : Rgb{1, 2, 3};
}

std::vector<uint32_t> Poll(int times) {
    std::vector<uint32_t> seen;
    for (int i = 0; i < times; ++i) {
        uint32_t status = 0x12345678;
        CG400GetSnappingStatus(VC_DEFAULT_HANDLE, &status);
        seen.push_back(status);
    }
    return seen;
}

double MsNow() {
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

// A picture of two colours, upper and lower half, read in each colour code:
// rows come bottom-up, packed at the code's depth, nothing past the frame.
// Grey is (77 R + 150 G + 29 B + 128) >> 8; 5 bits each are 0RRRRRGGGGGBBBBB.
TEST_F(VirtualCardTest, EachColourCodePacksBottomUpRowsAtItsDepth) {
    struct Row {
        const char *name;
        bool topDownFile;
        int code;
        Bytes upper, lower;  // R F0, G 80, B 30 and R 30, G F0, B 80
    } rows[] = {{"grey", false, 0, {153}, {170}},
                {"24-bit, bottom-up file", false, 1, {0x30, 0x80, 0xF0}, {0x80, 0xF0, 0x30}},
                {"24-bit, top-down file", true, 1, {0x30, 0x80, 0xF0}, {0x80, 0xF0, 0x30}},
                {"16-bit", false, 2, {0x06, 0x7A}, {0xD0, 0x1B}},
                {"15-bit", false, 3, {0x06, 0x7A}, {0xD0, 0x1B}}};
    const int w = 12, h = 16;
    for (const Row &row : rows) {
        // 5 pixels wide, so that the file's rows carry padding.
        const std::string path = WriteBmp("halves.bmp", 5, 4, row.topDownFile, [](int, int y) {
            return y < 2 ? Rgb{0xF0, 0x80, 0x30} : Rgb{0x30, 0xF0, 0x80};
        });
        ASSERT_EQ(VcSetScenePicture(path.c_str()), 1) << row.name;
        const Bytes frame = ReadFrame(100, 0, 300, 576, w, h, row.code);
        const size_t depth = row.upper.size(), delivered = w * h * depth;
        for (size_t i = 0; i < frame.size(); ++i) {
            const Bytes &pixel = i / depth / w < h / 2 ? row.lower : row.upper;
            ASSERT_EQ(frame[i], i < delivered ? pixel[i % depth] : 0xEE) << row.name << ": byte " << i;
        }
        EXPECT_EQ(vt::LastFrame().size(), delivered) << row.name;
    }
}

// Each opening counts afresh and each capture starts the status sequence
// and the frame count again, also a second one in the same opening, after
// polls that came before it; a closed card finishes no frame, whatever
// moves its status.
TEST_F(VirtualCardTest, StatusSequencesStartAtEachCaptureAndStopAtTheClose) {
    const uint32_t untouched = 0x12345678;
    struct Row {
        const char *name;
        int mode;
        std::vector<uint32_t> script;
        std::vector<uint32_t> polls;  // after the capture starts; real time runs by the clock
        int64_t frames;
    } rows[] = {
        {"every poll", VC_STATUS_EVERY_POLL, {}, {2, 0, 2, 0, 2, 0}, 6},
        {"script, last held", VC_STATUS_SCRIPT, {0, 0, 2, 2, 2, 0, 2, 0}, {0, 0, 2, 2, 2, 0, 2, 0, 0, 0, 0}, 4},
        {"script ending on 2", VC_STATUS_SCRIPT, {7, 2}, {7, 2, 2, 2}, 1},
        {"none", VC_STATUS_NONE, {}, {untouched, untouched, untouched}, 0},
        {"real time", VC_STATUS_REALTIME, {}, {}, 0},
    };
    for (const Row &row : rows) {
        VcReset();
        if (row.mode == VC_STATUS_SCRIPT) VcScriptStatus(row.script.data(), static_cast<int32_t>(row.script.size()));
        else VcSetStatusMode(row.mode);
        for (int opening = 1; opening <= 2; ++opening) {
            std::string name = std::string(row.name) + ", opening " + std::to_string(opening);
            const int h = OpenCard();
            const VcStats opened = vt::CardStats();
            EXPECT_EQ((std::vector<int64_t>{opened.framesCompleted, opened.reads, opened.polls}), std::vector<int64_t>(3, 0))
                << name << ": frames, reads, polls";
            Poll(3);
            for (int capture = 1; capture <= 2; ++capture) {
                name = std::string(row.name) + ", opening " + std::to_string(opening) + ", capture " +
                       std::to_string(capture);
                const int64_t pollsBefore = vt::CardStats().polls;
                const double snapped = MsNow();
                CG400SnapOneToMem(h, VC_SNAP_TARGET, VC_MEM_PAGES * card::kMemPageBytes, 0);
                const double started = MsNow();  // the card's clock started between the two
                if (row.mode != VC_STATUS_REALTIME) {
                    EXPECT_EQ(Poll(static_cast<int>(row.polls.size())), row.polls) << name;
                    EXPECT_EQ(vt::CardStats().framesCompleted, row.frames) << name;
                    EXPECT_EQ(vt::CardStats().polls - pollsBefore, static_cast<int64_t>(row.polls.size())) << name;
                    continue;
                }
                // However slowly a loaded machine polls: a poll with no field
                // boundary around it shows the field's own status, 0 while
                // the first field comes in, then 2 in odd fields, 0 in even.
                int changes = 0, checked = 0;
                uint32_t previous = 0;
                double firstSlot = 0;
                const ULONGLONG deadline = GetTickCount64() + 30000;
                while (changes < 20 && GetTickCount64() < deadline) {
                    const int64_t field = vt::CardStats().framesCompleted;
                    const uint32_t status = Poll(1)[0];
                    ASSERT_TRUE(status == 0 || status == 2) << name << ": status " << status;
                    if (status == 2 && firstSlot == 0) firstSlot = MsNow();
                    if (field == vt::CardStats().framesCompleted) {
                        ++checked;
                        EXPECT_EQ(status, field % 2 == 1 ? 2u : 0u) << name << ", field " << field;
                    }
                    changes += status != previous;
                    previous = status;
                }
                const double polled = MsNow();
                const int64_t fields = vt::CardStats().framesCompleted;
                ASSERT_EQ(changes, 20) << name << ": the status stopped turning";
                EXPECT_GT(checked, 0) << name;
                // A real card fills its first slot one field after the start.
                EXPECT_GE(firstSlot - snapped, 20.0) << name << ": the first slot was full too soon";
                // The card's clock, not the polls, counts fields: 50 a second.
                EXPECT_GE(fields, static_cast<int64_t>((polled - started) / 20.0) - 1) << name;
                EXPECT_LE(fields, static_cast<int64_t>((MsNow() - snapped) / 20.0) + 1) << name;
            }
            CG400ReadFromMem(h, VC_READ_SOURCE, 0, 0, nullptr, 1);
            ASSERT_EQ(EndCG400(h), 1) << name;
            const VcStats closed = vt::CardStats();
            EXPECT_EQ(closed.reads, 1) << name;
            EXPECT_EQ(closed.open, 0) << name;
            // Three fields' time and many polls later, nothing has moved.
            const double ended = MsNow();
            const std::vector<uint32_t> polls = Poll(8);
            while (MsNow() - ended < 70) Poll(1);
            EXPECT_EQ(std::count(polls.begin(), polls.end(), polls[0]), 8) << name << ": the status moved";
            EXPECT_EQ(vt::CardStats().framesCompleted, closed.framesCompleted) << name << ": a frame finished";
        }
    }
}

TEST_F(VirtualCardTest, LogHoldsEveryCallWithItsArguments) {
    card::StaticMemory mem{0, 0, 0xABCD, 0};
    uint32_t status = 0;
    Bytes frame(64 * 48 * 3);
    VcSetStatusMode(VC_STATUS_EVERY_POLL);

    int h = OpenCard();
    CG400SetInpVideoWindow(h, 168, 0, 432, 576);
    CG400SetDispWindow(h, 0, 0, 48, 64);
    CG400SetColorSpace(h, 1);
    CG400SetADParam(h, card::kAdSelector2, 77);
    StaticMemAlloc(&mem.memPages, &mem.snapTarget, &mem.unused, &mem.readSource);
    CG400SnapOneToMem(h, mem.snapTarget, mem.memPages * card::kMemPageBytes, 0);
    CG400GetSnappingStatus(h, &status);  // counted, not logged
    VcLogPolls(1);
    CG400GetSnappingStatus(h, &status);
    CG400ReadFromMem(h, mem.readSource, mem.memPages * card::kMemPageBytes, 1, frame.data(), 1);
    EndCG400(h);

    EXPECT_EQ((std::vector<uint32_t>{mem.memPages, mem.snapTarget, mem.unused, mem.readSource}),
              (std::vector<uint32_t>{VC_MEM_PAGES, VC_SNAP_TARGET, 0xABCD, VC_READ_SOURCE}))
        << "pages, snap target, untouched, read source";

    auto ptr = [](const void *p) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(p)); };
    const int64_t bytes = int64_t{VC_MEM_PAGES} * card::kMemPageBytes;
    struct Row {
        int call;
        std::vector<int64_t> args;
        int64_t result;
    } rows[] = {
        {VC_BEGIN, {1}, VC_DEFAULT_HANDLE},
        {VC_SET_INPUT, {h, 168, 0, 432, 576}, 1},
        {VC_SET_DISPLAY, {h, 0, 0, 48, 64}, 1},
        {VC_SET_COLOR, {h, 1}, 1},
        {VC_SET_AD, {h, 2, 77}, 1},
        {VC_STATIC_MEM, {ptr(&mem.memPages), ptr(&mem.snapTarget), ptr(&mem.unused), ptr(&mem.readSource)}, 1},
        {VC_SNAP, {h, VC_SNAP_TARGET, bytes, 0}, 1},
        {VC_STATUS, {h, ptr(&status), 0}, 1},  // the second poll stores 0
        {VC_READ, {h, VC_READ_SOURCE, bytes, 1, ptr(frame.data()), 1}, 1},
        {VC_END, {h}, 1},
    };
    ASSERT_EQ(VcLogCount(), static_cast<int32_t>(std::size(rows)));
    for (int i = 0; i < VcLogCount(); ++i) {
        VcLogEntry e{};
        ASSERT_EQ(VcLogGet(i, &e), 1) << "entry " << i;
        const Row &row = rows[i];
        EXPECT_EQ(e.call, row.call) << "entry " << i;
        EXPECT_EQ(std::vector<int64_t>(e.args, e.args + e.argCount), row.args) << "entry " << i;
        EXPECT_EQ(e.result, row.result) << "entry " << i;
        EXPECT_EQ(e.threadId, GetCurrentThreadId()) << "entry " << i;
    }
    VcStats s = vt::CardStats();
    EXPECT_EQ(s.polls, 2);
    EXPECT_EQ(s.reads, 1);
    EXPECT_EQ(s.adValues[1], 77);
    VcLogEntry none{};
    EXPECT_EQ(VcLogGet(VcLogCount(), &none), 0);
    VcLogClear();
    EXPECT_EQ(VcLogCount(), 0);
}

// Each call's answer: the card's own refusals and the failures tests put in
// answer 0 and change nothing, a read limit cuts every frame short, and a
// scene picture is taken only when it reads whole.
TEST_F(VirtualCardTest, CallsAnswerWhatTheyDidAndRefusalsChangeNothing) {
    const size_t full = 36 * 32 * 3;
    const std::string good = WriteFlat("good.bmp", 3, 3, Rgb{1, 2, 3});
    const std::string bad = folder_ + "\\short.bmp";
    vt::WriteBytes(bad, {'B', 'M', ' ', 'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'});
    struct Row {
        const char *name;
        std::function<int(int handle)> call;
        int result;
        size_t frameBytes;  // what a read then delivers
        int32_t open;
    } rows[] = {
        {"unknown colour code", [](int h) { return CG400SetColorSpace(h, 4); }, 0, full, 1},
        {"unknown A/D selector",
         [](int h) {
             const int result = CG400SetADParam(h, 3, 7);
             const VcStats stats = vt::CardStats();
             EXPECT_EQ(std::vector<int32_t>(stats.adValues, stats.adValues + 3), std::vector<int32_t>(3, 128));
             return result;
         },
         0, full, 1},
        {"colour code failing", [](int h) { VcSetFailure(VC_SET_COLOR, 1); return CG400SetColorSpace(h, 0); }, 0, full, 1},
        {"display window failing", [](int h) { VcSetFailure(VC_SET_DISPLAY, 1); return CG400SetDispWindow(h, 0, 0, 8, 8); },
         0, full, 1},
        {"static memory failing",
         [](int) {
             VcSetFailure(VC_STATIC_MEM, 1);
             card::StaticMemory mem{7, 7, 7, 7};
             const int result = StaticMemAlloc(&mem.memPages, &mem.snapTarget, &mem.unused, &mem.readSource);
             EXPECT_EQ(mem.memPages + mem.snapTarget + mem.readSource, 21u) << "written when failing";
             return result;
         },
         0, full, 1},
        {"close failing", [](int h) { VcSetFailure(VC_END, 1); return EndCG400(h); }, 0, full, 1},
        {"opening refused", [](int h) { EndCG400(h); VcSetBeginResult(-1); return BeginCG400(1); }, -1, full, 0},
        {"display larger than the frame", [](int h) { return CG400SetDispWindow(h, 0, 0, 2000, 600); }, 1,
         768 * 576 * 3, 1},
        {"reads cut short", [](int) { VcSetReadLimit(10); return 1; }, 1, 10, 1},
        {"scene picture missing", [](int) { return VcSetScenePicture("Z:\\no\\such\\picture.bmp"); }, 0, full, 1},
        {"scene picture truncated", [&](int) { return VcSetScenePicture(bad.c_str()); }, 0, full, 1},
        {"scene picture", [&](int) { return VcSetScenePicture(good.c_str()); }, 1, full, 1},
        {"built-in scene, empty path", [](int) { return VcSetScenePicture(""); }, 1, full, 1},
        {"built-in scene, null path", [](int) { return VcSetScenePicture(nullptr); }, 1, full, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        VcReset();
        ReadFrame(100, 0, 72, 64, 36, 32, 1);
        const int h = VC_DEFAULT_HANDLE;
        EXPECT_EQ(row.call(h), row.result);
        Bytes frame(768 * 576 * 3 + 1, 0xEE);
        CG400ReadFromMem(h, VC_READ_SOURCE, 0, 0, frame.data(), 1);
        EXPECT_EQ(vt::LastFrame().size(), row.frameBytes);
        EXPECT_EQ(frame[row.frameBytes], 0xEE) << "written past the frame";
        EXPECT_EQ(vt::CardStats().open, row.open);
    }
}

TEST_F(VirtualCardTest, BlockedCallWaitsUntilReleased) {
    struct Row {
        const char *name;
        void (*release)();
    } rows[] = {{"VcReleaseCall", [] { VcReleaseCall(VC_READ); }}, {"VcReset", [] { VcReset(); }}};
    for (const Row &row : rows) {
        VcReset();
        VcBlockCall(VC_READ);
        EXPECT_EQ(VcWaitBlocked(VC_READ, 50), 0) << row.name << ": nothing has arrived yet";
        // Room for a full frame: a reset puts the display window back to it.
        Bytes frame(768 * 576 * 3);
        int h = OpenCard();
        CG400SetDispWindow(h, 0, 0, 48, 64);
        std::thread reader([&] { CG400ReadFromMem(h, VC_READ_SOURCE, 0, 0, frame.data(), 1); });
        const bool arrived = VcWaitBlocked(VC_READ, 5000) == 1;
        EXPECT_TRUE(arrived) << row.name;
        if (arrived) {
            // The blocked call has done nothing yet and holds nothing up.
            EXPECT_EQ(vt::CardStats().reads, 0) << row.name;
            EXPECT_EQ(CG400SetADParam(h, card::kAdSelector1, 90), 1) << row.name;
        }
        row.release();
        EXPECT_TRUE(vt::WaitUntil([] { return vt::CardStats().reads == 1; })) << row.name << " let no call go";
        VcReleaseCall(VC_READ);  // so that the reader ends even then
        reader.join();
        VcLogEntry last{};
        ASSERT_EQ(VcLogGet(VcLogCount() - 1, &last), 1) << row.name;
        EXPECT_EQ(last.call, VC_READ) << row.name;
        EXPECT_NE(last.threadId, GetCurrentThreadId()) << row.name;
    }
}

TEST_F(VirtualCardTest, ControlsAnswerWhileFramesAreReadFlatOut) {
    VcSetStatusMode(VC_STATUS_EVERY_POLL);
    int h = OpenCard();
    CG400SetInpVideoWindow(h, 168, 0, 432, 576);
    CG400SetDispWindow(h, 0, 0, 432, 576);
    Bytes frame(432 * 576 * 3);
    volatile bool run = true;
    std::thread preview([&] {
        uint32_t status = 0;
        while (run) {
            CG400GetSnappingStatus(h, &status);
            CG400ReadFromMem(h, VC_READ_SOURCE, 0, 0, frame.data(), 1);
        }
    });
    // Every round meets the reader between two of its reads, so each call
    // is answered while reads go on; how fast is the bench's business.
    for (int i = 0; i < 100; ++i) {
        const int64_t reads = vt::CardStats().reads;
        VcLogCount();
        CG400SetADParam(VC_DEFAULT_HANDLE, 1, 140);
        VcSetScenePicture("");
        ASSERT_TRUE(vt::WaitUntil([reads] { return vt::CardStats().reads > reads; })) << "round " << i;
    }
    run = false;
    preview.join();
    EXPECT_GE(vt::CardStats().reads, 100);
}

// Over a frame of the built-in picture: 0 mean luma (brightness), 1 spread
// about the middle (contrast), 2 colourfulness (saturation).
double MeanOf(const Bytes &bgr, int which) {
    double sum = 0;
    size_t n = bgr.size() / 3;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t *p = &bgr[i * 3];
        int lo = std::min({p[0], p[1], p[2]}), hi = std::max({p[0], p[1], p[2]});
        double luma = 0.114 * p[0] + 0.587 * p[1] + 0.299 * p[2];
        sum += which == 0 ? luma : (which == 1 ? (luma - 128) * (luma - 128) : hi - lo);
    }
    return sum / static_cast<double>(n);
}

TEST_F(VirtualCardTest, AdValuesChangeTheBuiltInPicture) {
    struct Row {
        const char *name;
        int selector, value, measure;
        double least, most;  // of the neutral picture's measure
    } rows[] = {{"brightness up", 1, 200, 0, 1.1, 1e9},  {"brightness down", 1, 50, 0, 0, 0.9},
                {"contrast up", 2, 220, 1, 1.1, 1e9},    {"contrast down", 2, 40, 1, 0, 0.9},
                {"saturation up", 4, 230, 2, 1.1, 1e9},  {"saturation down", 4, 30, 2, 0, 0.9},
                {"saturation 0 is grey", 4, 0, 2, 0, 0.01}};
    const auto read = [] { return ReadFrame(100, 0, 400, 576, 200, 288, 1); };
    const double neutral[3] = {MeanOf(read(), 0), MeanOf(vt::LastFrame(), 1), MeanOf(vt::LastFrame(), 2)};
    for (const Row &row : rows) {
        VcReset();
        CG400SetADParam(VC_DEFAULT_HANDLE, row.selector, row.value);
        const double value = MeanOf(read(), row.measure);
        EXPECT_GE(value, neutral[row.measure] * row.least) << row.name;
        EXPECT_LE(value, neutral[row.measure] * row.most) << row.name;
    }
}

TEST_F(VirtualCardTest, PictureMovesWithTheFrameCount) {
    VcSetStatusMode(VC_STATUS_EVERY_POLL);
    Bytes first = ReadFrame(168, 0, 432, 576, 288, 384, 1);
    EXPECT_EQ(ReadFrame(168, 0, 432, 576, 288, 384, 1), first) << "no frame finished between the reads";
    Poll(1);
    EXPECT_NE(ReadFrame(168, 0, 432, 576, 288, 384, 1), first) << "a frame finished between the reads";
}

// Where the bar sweeps off the right edge it comes in again on the left:
// each frame as delivered after the ones before must equal the same frame
// drawn afresh, with nothing left where the bar or the ball was.
TEST_F(VirtualCardTest, MovingPartsLeaveNothingBehind) {
    VcSetStatusMode(VC_STATUS_EVERY_POLL);
    const int kFrames[] = {0, 1, 2, 60, 61, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99, 100};
    int frame = 0;
    for (int wanted : kFrames) {
        Poll(wanted - frame);
        frame = wanted;
        const Bytes delivered = ReadFrame(0, 0, 768, 576, 768, 576, 1);
        VcSetScenePicture("");  // the next read draws the whole picture again
        const Bytes fresh = ReadFrame(0, 0, 768, 576, 768, 576, 1);
        int stale = 0;
        std::string first;
        for (int y = 0; y < 576; ++y)
            for (int x = 0; x < 768; ++x) {
                const Rgb got = FramePixel(delivered, 768, 576, x, y), want = FramePixel(fresh, 768, 576, x, y);
                if (got.r == want.r && got.g == want.g && got.b == want.b) continue;
                if (stale++ == 0) first = "x " + std::to_string(x) + ", y " + std::to_string(y);
            }
        EXPECT_EQ(stale, 0) << "frame " << frame << ": stale pixels, first at " << first;
    }
}

// Each read writes at most the limit's bytes of the frame; 0 writes none and
// only a negative limit lets the whole frame through.
TEST_F(VirtualCardTest, ReadLimitCutsEveryRead) {
    const size_t whole = 48 * 64 * 3;
    struct Row {
        const char *name;
        int32_t limit;
        size_t delivered;
    } rows[] = {{"no limit", -1, whole},  {"another negative", -5, whole}, {"0 reads nothing", 0, 0},
                {"one byte", 1, 1},       {"ten bytes", 10, 10},           {"the whole frame", whole, whole},
                {"more than the frame", 1 << 20, whole}};
    const Bytes full = ReadFrame(100, 0, 300, 400, 48, 64, 1);
    for (const Row &row : rows) {
        VcSetReadLimit(row.limit);
        const Bytes frame = ReadFrame(100, 0, 300, 400, 48, 64, 1);
        Bytes expected(full.begin(), full.begin() + row.delivered);
        expected.resize(whole, 0xEE);
        EXPECT_TRUE(frame == expected) << row.name;
        EXPECT_EQ(vt::LastFrame().size(), row.delivered) << row.name;
    }
}

// --- Footage: a folder of pictures ---

int32_t PlayFolder(const std::string &folder, std::string *why = nullptr) {
    char reason[512] = "untouched";
    const int32_t result = VcPlayFolder(folder.c_str(), reason, sizeof reason);
    if (why != nullptr) *why = reason;
    return result;
}

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

// Each row changes one thing; VcReset must put back the card a fresh
// process finds: its frame, handle, status, counts, A/D values and log.
TEST_F(VirtualCardTest, ResetPutsBackEverything) {
    const Bytes fresh = ReadFrame(100, 0, 72, 64, 36, 32, 1);
    const std::string footage = Subfolder("reset");
    WriteFlat("reset\\a.bmp", 4, 3, Rgb{200, 10, 10});
    const std::string picture = WriteFlat("reset.bmp", 4, 3, Rgb{10, 200, 10});
    struct Row {
        const char *name;
        std::function<void(int handle)> change;
    } rows[] = {
        {"scene picture", [&](int) { ASSERT_EQ(VcSetScenePicture(picture.c_str()), 1); }},
        {"footage", [&](int) { ASSERT_EQ(PlayFolder(footage), 1); }},
        {"failing call", [](int) { VcSetFailure(VC_END, 1); }},
        {"A/D values", [](int h) { CG400SetADParam(h, card::kAdSelector2, 7); }},
        {"begin result", [](int) { VcSetBeginResult(0); }},
        {"read limit", [](int) { VcSetReadLimit(10); }},
        {"status mode", [](int) { VcSetStatusMode(VC_STATUS_EVERY_POLL); }},
        {"counts of a capture",
         [](int h) {
             VcSetStatusMode(VC_STATUS_EVERY_POLL);
             CG400SnapOneToMem(h, VC_SNAP_TARGET, 0, 0);
             Poll(3);
         }},
    };
    for (const Row &row : rows) {
        VcReset();
        row.change(OpenCard());
        ReadFrame(100, 0, 72, 64, 36, 32, 1);  // takes the change up
        VcReset();
        const VcStats stats = vt::CardStats();
        EXPECT_EQ(VcLogCount(), 0) << row.name;
        EXPECT_EQ((std::vector<int64_t>{stats.open, stats.framesCompleted, stats.reads, stats.polls}), std::vector<int64_t>(4, 0))
            << row.name << ": open, frames, reads, polls";
        EXPECT_EQ(std::vector<int32_t>(stats.adValues, stats.adValues + 3), std::vector<int32_t>(3, 128)) << row.name;
        EXPECT_EQ(Poll(3), std::vector<uint32_t>(3, 0)) << row.name << ": the status moves without a capture";
        EXPECT_EQ(OpenCard(), VC_DEFAULT_HANDLE) << row.name;
        EXPECT_TRUE(ReadFrame(100, 0, 72, 64, 36, 32, 1) == fresh) << row.name << ": the frame";
        EXPECT_EQ(EndCG400(VC_DEFAULT_HANDLE), 1) << row.name;
    }
}

}  // namespace
