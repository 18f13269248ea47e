// The arithmetic of the preview: frame size, the part of the video frame
// that is captured and the choice of capture slot.
#pragma once

#include <cstdint>

#include "card_constants.h"

namespace geometry {

constexpr int32_t kMinHeight = 80;
constexpr int32_t kMaxHeight = 576;

struct FrameSize {
    int32_t width;
    int32_t height;
};

// The frame is upright, 3 wide for 4 high; heights snap down to a multiple of
// 16 so that the width is a multiple of 12 and every 24-bit, 16-bit and
// 8-bit row is a whole number of 32-bit words.
constexpr FrameSize FrameSizeForHeight(int32_t requested) {
    int32_t height = requested < kMinHeight ? kMinHeight
                   : requested > kMaxHeight ? kMaxHeight
                                            : requested;
    height &= ~int32_t{15};
    return {height / 4 * 3, height};
}

struct VideoWindow {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
};

// Small frames take the whole upright middle of the video frame and let the
// card scale it down; from 400 lines on, a centred cut-out at full scale.
constexpr int32_t kFullScaleFromHeight = 400;
constexpr VideoWindow kUprightMiddle = {168, 0, 432, 576};

constexpr VideoWindow InputWindowFor(FrameSize frame) {
    if (frame.height < kFullScaleFromHeight) return kUprightMiddle;
    return {(card::kInputWidth - frame.width) / 2, (card::kInputHeight - frame.height) / 2,
            frame.width, frame.height};
}

// Which capture slot to read after a status poll, or kNoSlot. Reads go
// strictly 0, 1, 0, 1, ... one for each change of the status between the
// two ready values, starting with the first time slot 0 is ready.
constexpr int kNoSlot = -1;

constexpr int ChooseSlot(uint32_t status, bool &slotToggle) {
    if (status == card::kStatusSlot0Ready && !slotToggle) {
        slotToggle = true;
        return 0;
    }
    if (status == card::kStatusSlot1Ready && slotToggle) {
        slotToggle = false;
        return 1;
    }
    return kNoSlot;
}

}  // namespace geometry
