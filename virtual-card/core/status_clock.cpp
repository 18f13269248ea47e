#include "core/status_clock.h"

namespace vcard {

namespace {

// The status the next poll gives; false when it gives none.
bool NextStatus(const StatusClock &clock, const StatusScript &script, const Ticks &time,
                uint32_t &status) {
    switch (clock.mode) {
        case VC_STATUS_REALTIME:
            status = clock.capturing ? RealtimeStatus(time.now - clock.captureStart, time.perSecond)
                                     : kSlot1Ready;
            return true;
        case VC_STATUS_EVERY_POLL:
            if (clock.closed) break;
            status = clock.sequencePolls % 2 == 0 ? kSlot0Ready : kSlot1Ready;
            return true;
        case VC_STATUS_SCRIPT: {
            if (script.values == nullptr || script.count <= 0) return false;
            if (clock.closed) break;
            const int64_t last = script.count - 1;
            status = script.values[clock.sequencePolls < last ? clock.sequencePolls : last];
            return true;
        }
        default:
            return false;
    }
    status = clock.lastSlotStatus;  // a closed card's status stands
    return true;
}

}  // namespace

int64_t RealtimeChanges(int64_t elapsed, int64_t ticksPerSecond) {
    if (elapsed < 0 || ticksPerSecond <= 0) return 0;
    return elapsed / ticksPerSecond * kFieldsPerSecond +
           elapsed % ticksPerSecond * kFieldsPerSecond / ticksPerSecond;
}

uint32_t RealtimeStatus(int64_t elapsed, int64_t ticksPerSecond) {
    return RealtimeChanges(elapsed, ticksPerSecond) % 2 == 1 ? kSlot0Ready : kSlot1Ready;
}

bool IsSlotChange(uint32_t previous, uint32_t status) {
    return (previous == kSlot0Ready && status == kSlot1Ready) ||
           (previous == kSlot1Ready && status == kSlot0Ready);
}

void RestartSequence(StatusClock &clock, int32_t mode) {
    clock.mode = mode;
    clock.sequencePolls = 0;
    clock.lastSlotStatus = kSlot1Ready;
    clock.sequenceChanges = 0;
}

void OpenClock(StatusClock &clock) {
    RestartSequence(clock, clock.mode);
    clock.capturing = false;
    clock.changesAtStop = 0;
    clock.closed = false;
}

void StartCapture(StatusClock &clock, int64_t now) {
    OpenClock(clock);
    clock.capturing = true;
    clock.captureStart = now;
}

void StopCapture(StatusClock &clock, const Ticks &time) {
    if (clock.capturing) clock.changesAtStop = FramesCompleted(clock, time);
    clock.capturing = false;
    clock.closed = true;
}

int64_t FramesCompleted(const StatusClock &clock, const Ticks &time) {
    if (clock.mode != VC_STATUS_REALTIME) return clock.sequenceChanges;
    if (!clock.capturing) return clock.changesAtStop;
    return RealtimeChanges(time.now - clock.captureStart, time.perSecond);
}

bool PollStatus(StatusClock &clock, const StatusScript &script, const Ticks &time, bool canStore,
                uint32_t &status) {
    uint32_t next = 0;
    const bool stores = NextStatus(clock, script, time, next) && canStore;
    if (stores) status = next;
    // Real time runs by the clock; the sequences move with the polls.
    if (clock.mode != VC_STATUS_REALTIME) {
        ++clock.sequencePolls;
        if (stores && (next == kSlot0Ready || next == kSlot1Ready)) {
            if (IsSlotChange(clock.lastSlotStatus, next)) ++clock.sequenceChanges;
            clock.lastSlotStatus = next;
        }
    }
    return stores;
}

}  // namespace vcard
