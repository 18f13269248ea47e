// Which pictures a recording keeps under --rate: a budget that fills at the
// rate asked for and holds at most two pictures. A source at exactly that
// rate loses none to the jitter of its arrival times, a faster one is thinned
// to the rate, and a burst after a stall keeps two pictures at most.
#pragma once

#include <algorithm>

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

}  // namespace recording
