// What the reading loop makes of the card's slots: two slots read in turn
// make a frame, offered at the time its first slot was read; and the gaps
// between frames, a long one being a stall of the card.
#pragma once

namespace recording {

// A read that fails spoils the frame under way, which is not kept: half of
// its lines would still be the frame before's.
struct SlotPairing {
    bool firstRead = false;  // the frame under way has its first slot
    double start = 0;        // when that slot was read
};

// A read of `slot` (0 or 1) at `now`; `read` is false when the driver
// refused it. True when it makes a whole frame, read from `start` on.
inline bool SlotRead(SlotPairing &pairing, int slot, bool read, double now) {
    const bool whole = read && slot == 1 && pairing.firstRead;
    pairing.firstRead = read && slot == 0;
    if (pairing.firstRead) pairing.start = now;
    return whole;
}

// A card that delivers no frame for this long has stalled: it is said on
// the console, and each stall counts whole in the figures.
constexpr double kStallSeconds = 2;

struct FrameGaps {
    double last = 0;            // the last frame, or when reading began
    bool named = false;         // the gap under way was said to be a stall
    double stalledSeconds = 0;  // in the stalls that have ended
};

// A frame came at `now`. Returns the length of the stall it ends, or 0.
inline double FrameCame(FrameGaps &gaps, double now) {
    const double gap = now - gaps.last;
    gaps.last = now;
    gaps.named = false;
    if (gap < kStallSeconds) return 0;
    gaps.stalledSeconds += gap;
    return gap;
}

// True once for each stall: when the gap under way reaches one.
inline bool StallBegins(FrameGaps &gaps, double now) {
    if (gaps.named || now - gaps.last < kStallSeconds) return false;
    gaps.named = true;
    return true;
}

// The seconds spent in stalls up to `now`, the one under way included.
inline double StalledSeconds(const FrameGaps &gaps, double now) {
    const double gap = now - gaps.last;
    return gaps.stalledSeconds + (gap >= kStallSeconds ? gap : 0);
}

}  // namespace recording
