#include "card_watch.h"

#include <cstdio>
#include <utility>

namespace cli {
namespace {

// A stall is said within this much of its second second.
constexpr DWORD kLookMs = 250;

}  // namespace

CardWatch::CardWatch(recording::Clock clock)
    : clock_(std::move(clock)), stop_(guards::CreateUnnamedEvent(true, false)) {
    gaps_.last = clock_();
    // Without the thread the figures still count; only the console is quiet.
    if (stop_) thread_.reset(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
}

CardWatch::~CardWatch() {
    if (!thread_) return;
    SetEvent(stop_.get());
    WaitForSingleObject(thread_.get(), INFINITE);
}

DWORD WINAPI CardWatch::ThreadMain(void *self) {
    static_cast<CardWatch *>(self)->Watch();
    return 0;
}

void CardWatch::Watch() {
    while (WaitForSingleObject(stop_.get(), kLookMs) == WAIT_TIMEOUT) {
        const double now = clock_();
        bool begins = false;
        {
            guards::CriticalSectionLock lock(lock_);
            begins = recording::StallBegins(gaps_, now);
        }
        if (!begins) continue;
        std::printf("record: %6.1f s  the card has delivered no frame for %g s\n", now, recording::kStallSeconds);
        std::fflush(stdout);
    }
}

// The console is written outside the lock: the reader never waits on it.
void CardWatch::FrameCame(double now) {
    double stall = 0;
    {
        guards::CriticalSectionLock lock(lock_);
        stall = recording::FrameCame(gaps_, now);
    }
    if (stall <= 0) return;
    std::printf("record: %6.1f s  the card delivers again, after %.1f s without a frame\n", now, stall);
    std::fflush(stdout);
}

double CardWatch::StalledSeconds(double now) {
    guards::CriticalSectionLock lock(lock_);
    return recording::StalledSeconds(gaps_, now);
}

}  // namespace cli
