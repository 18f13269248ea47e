// Which pictures a recording keeps under --rate: a budget that fills at the
// rate asked for and holds at most two pictures. A source at exactly that
// rate loses none to the jitter of its arrival times, a faster one is thinned
// to the rate, and a burst after a stall keeps two pictures at most.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace recording {

constexpr double kDefaultRate = 25;  // PAL's frame rate
constexpr double kHighestRate = 1000;
constexpr double kBudgetPictures = 2;

struct RateBudget {
    double pictures = kBudgetPictures;  // how many may be kept at once
    double lastTime = 0;
    bool started = false;
};

// True when the picture that appeared at `time` seconds is kept.
inline bool KeepPicture(RateBudget &budget, double rate, double time) {
    if (budget.started) {
        const double elapsed = std::max(0.0, time - budget.lastTime);
        budget.pictures = std::min(kBudgetPictures, budget.pictures + elapsed * rate);
    }
    budget.started = true;
    budget.lastTime = time;
    if (budget.pictures < 1) return false;
    budget.pictures -= 1;
    return true;
}

// A file that keeps time in steps of 1/rate s. The step nearest to a frame
// read `elapsed` seconds after the first one.
inline int64_t StepAt(double elapsed, double rate) {
    return static_cast<int64_t>(std::floor(std::max(0.0, elapsed) * rate + 0.5));
}

// The step of the next frame, `last` holding the one before (-1 before the
// first): the step after `last` while the frame lies within a step of it,
// so that a source at the rate, read late or early by up to a step, keeps
// every frame. A frame later than that takes its nearest step (the steps
// between repeat the one before); one earlier shares `last` (the newer wins).
inline int64_t NextStep(int64_t last, double elapsed, double rate) {
    const double at = std::max(0.0, elapsed) * rate;
    const int64_t next = last + 1;
    if (at >= static_cast<double>(next + 1)) return StepAt(elapsed, rate);
    if (at <= static_cast<double>(next - 1)) return last;
    return next;
}

// The steps that have ended `elapsed` seconds after the first frame, short
// of the one before the step under way, which a frame read late but not yet
// handed over may still take. A stall fills them with repeats by the clock.
inline int64_t StepsOver(double elapsed, double rate) {
    return static_cast<int64_t>(std::floor(std::max(0.0, elapsed) * rate)) - 1;
}

}  // namespace recording
