// The virtual card called as the driver is: the frames each colour code
// delivers, how its status moves, and each call's answer.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "card_library.h"
#include "test_support.h"
#include "virtual_card_fixture.h"
#include "vcard_control.h"

namespace {

using vt::Bytes;
using vt::MsNow;
using vt::OpenCard;
using vt::Poll;
using vt::ReadFrame;
using vt::Rgb;
using VirtualCardTest = vt::VirtualCardTest;

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

}  // namespace
