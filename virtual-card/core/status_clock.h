// How the card's snapping status moves, as pure arithmetic over a count of
// ticks: in real time (PAL, a slot filled every 20 ms), one change a poll,
// or a scripted sequence. The driver calls pass the time in.
#pragma once

#include <cstdint>

#include "vcard_control.h"

namespace vcard {

constexpr int kFieldsPerSecond = 50;  // PAL: 25 frames, each 2 status changes
constexpr uint32_t kSlot0Ready = 2;
constexpr uint32_t kSlot1Ready = 0;
constexpr int64_t kChangesPerFrame = 2;  // each frame fills both slots

// A moment of the performance counter, with the counter's rate.
struct Ticks {
    int64_t now;
    int64_t perSecond;
};

// The values VcScriptStatus gave, played one a poll.
struct StatusScript {
    const uint32_t *values;
    int32_t count;
};

// The initialisers are the state after VcReset.
struct StatusClock {
    int32_t mode = VC_STATUS_REALTIME;
    int64_t sequencePolls = 0;  // polls since the mode was chosen
    uint32_t lastSlotStatus = kSlot1Ready;
    int64_t sequenceChanges = 0;  // every-poll and script modes
    bool capturing = false;
    int64_t captureStart = 0;
    int64_t changesAtStop = 0;  // real-time mode, after capture stopped
    bool closed = false;        // since EndCG400: no status moves until capture starts
};

// Status changes after `elapsed` ticks of real time: one every 20 ms.
int64_t RealtimeChanges(int64_t elapsed, int64_t ticksPerSecond);
// 0 until the first field has been captured, as on a real card, which needs
// one field to fill slot 0; then 2 and 0 by turns, 20 ms each.
uint32_t RealtimeStatus(int64_t elapsed, int64_t ticksPerSecond);
// A change between 2 and 0 (other values leave the last one standing).
bool IsSlotChange(uint32_t previous, uint32_t status);

// Switches to `mode` and starts its sequence from the beginning.
void RestartSequence(StatusClock &clock, int32_t mode);
// A card just opened: nothing captured yet, every count at 0.
void OpenClock(StatusClock &clock);
// Starts the count and the mode's sequence afresh.
void StartCapture(StatusClock &clock, int64_t now);
// The card closed: the count stands and the status no longer moves.
void StopCapture(StatusClock &clock, const Ticks &time);
// The status changes made since capture started.
int64_t FramesCompleted(const StatusClock &clock, const Ticks &time);

// One poll. True, with `status`, when the poll stores a status: the mode
// has one to give and the caller gave somewhere to store it (`canStore`).
bool PollStatus(StatusClock &clock, const StatusScript &script, const Ticks &time, bool canStore,
                uint32_t &status);

}  // namespace vcard
