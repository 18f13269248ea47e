// The virtual card's control calls, as tests steer it: its log, blocked
// calls, read limits, and the reset that puts back a fresh card.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "card_library.h"
#include "test_support.h"
#include "virtual_card_fixture.h"
#include "vcard_control.h"

namespace {

using vt::Bytes;
using vt::OpenCard;
using vt::PlayFolder;
using vt::Poll;
using vt::ReadFrame;
using vt::Rgb;
using VirtualCardTest = vt::VirtualCardTest;

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
