// Says on the console when the card stalls, from a thread of its own, so
// that a driver call that hangs is told of as well as a card whose status
// stops; and counts the seconds without a frame for the figures.
#pragma once

#include <windows.h>

#include "card_frames.h"
#include "recorder.h"
#include "win32_guards.h"

namespace cli {

class CardWatch {
public:
    // Watches from now on, on `clock`, the frames' timeline.
    explicit CardWatch(recording::Clock clock);
    ~CardWatch();
    CardWatch(const CardWatch &) = delete;
    CardWatch &operator=(const CardWatch &) = delete;

    // A whole frame came at `now`: after a stall, the console says so.
    void FrameCame(double now);
    // The seconds spent in stalls up to `now`.
    double StalledSeconds(double now);

private:
    static DWORD WINAPI ThreadMain(void *self);
    void Watch();

    const recording::Clock clock_;
    guards::CriticalSection lock_;  // guards gaps_
    recording::FrameGaps gaps_;
    guards::UniqueKernelHandle stop_;
    guards::UniqueKernelHandle thread_;
};

}  // namespace cli
