// The virtual card's status clock on its own, at exact moments that a test
// through the card could only hit by luck: field boundaries, the odd counter
// rates of real machines, counters far from zero, and capture stopping.
#include <gtest/gtest.h>

#include "core/status_clock.h"

namespace {

using namespace vcard;

constexpr int64_t kRate = 10000000;  // a 10 MHz counter, as Wine's
constexpr int64_t kMs = kRate / 1000;
constexpr int64_t kPmTimerRate = 3579545;  // the ACPI timer many XP machines count with

TEST(StatusClockUnitTest, RealTimeTurnsEvery20Milliseconds) {
    struct Row {
        const char *name;
        int64_t elapsed;
        int64_t perSecond;
        int64_t changes;
        uint32_t status;
    } rows[] = {
        // No slot is full before a whole field has come in.
        {"capture start", 0, kRate, 0, kSlot1Ready},
        {"a tick before the first field ends", 20 * kMs - 1, kRate, 0, kSlot1Ready},
        {"first field ends", 20 * kMs, kRate, 1, kSlot0Ready},
        {"second field ends", 40 * kMs, kRate, 2, kSlot1Ready},
        {"one second and a field", kRate + 20 * kMs, kRate, 51, kSlot0Ready},
        {"ACPI timer, a tick before 20 ms", 71590, kPmTimerRate, 0, kSlot1Ready},
        {"ACPI timer, 20 ms", 71591, kPmTimerRate, 1, kSlot0Ready},
        {"2^62 ticks, where ticks x 50 overflows", int64_t{1} << 62, kRate, 23058430092136, kSlot1Ready},
        {"counter read before the capture started", -1, kRate, 0, kSlot1Ready},
        {"no counter rate", kRate, 0, 0, kSlot1Ready},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(RealtimeChanges(row.elapsed, row.perSecond), row.changes) << row.name;
        EXPECT_EQ(RealtimeStatus(row.elapsed, row.perSecond), row.status) << row.name;
    }
}

TEST(StatusClockUnitTest, CaptureCountsFromItsStartAndStopKeepsTheCount) {
    const StatusScript noScript{nullptr, 0};
    const int64_t start = int64_t{1} << 40;  // counters do not start at 0
    const auto at = [start](int64_t ms) { return Ticks{start + ms * kMs, kRate}; };
    StatusClock clock;
    uint32_t status = 0x12345678;
    ASSERT_TRUE(PollStatus(clock, noScript, at(-100), true, status));
    EXPECT_EQ(status, kSlot1Ready) << "before capture";

    StartCapture(clock, start);
    struct Row {
        const char *name;
        int64_t ms;
        uint32_t status;
        int64_t frames;
    } rows[] = {{"first field", 10, kSlot1Ready, 0},
                {"second field", 30, kSlot0Ready, 1},
                {"three frames on", 125, kSlot1Ready, 6}};
    for (const Row &row : rows) {
        ASSERT_TRUE(PollStatus(clock, noScript, at(row.ms), true, status)) << row.name;
        EXPECT_EQ(status, row.status) << row.name;
        EXPECT_EQ(FramesCompleted(clock, at(row.ms)), row.frames) << row.name;
    }
    EXPECT_FALSE(PollStatus(clock, noScript, at(130), false, status)) << "nowhere to store";

    StopCapture(clock, at(150));
    EXPECT_EQ(FramesCompleted(clock, at(5000)), 7) << "stopped";
    ASSERT_TRUE(PollStatus(clock, noScript, at(5000), true, status));
    EXPECT_EQ(status, kSlot1Ready) << "stopped";
    StopCapture(clock, at(6000));
    EXPECT_EQ(FramesCompleted(clock, at(6000)), 7) << "stopped twice";

    StartCapture(clock, start + 7000 * kMs);
    EXPECT_EQ(FramesCompleted(clock, at(7000)), 0) << "restarted";
}

}  // namespace
