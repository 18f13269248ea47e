// The card maker's driver: the values Vorlane passes it and reads back. The
// calls themselves are declared in card_library.h.
#pragma once

#include <cstdint>

namespace card {

constexpr int kCardNumber = 1;
constexpr uint32_t kMemPageBytes = 4096;

// The video frame the card digitises.
constexpr int kInputWidth = 768;
constexpr int kInputHeight = 576;

// A/D adjustment selectors for CG400SetADParam.
constexpr int kAdSelector1 = 1;
constexpr int kAdSelector2 = 2;
constexpr int kAdSelector4 = 4;
constexpr int kAdMiddle = 128;

// CG400GetSnappingStatus: slot 0 holds a whole frame once the status has
// turned to kStatusSlot0Ready, slot 1 once it has turned to kStatusSlot1Ready.
constexpr uint32_t kStatusSlot0Ready = 2;
constexpr uint32_t kStatusSlot1Ready = 0;
// Put in the status before a poll: it stands for "the card stored no status"
// and matches neither ready value, so such a poll reads nothing.
constexpr uint32_t kNoStatus = 0xFFFFFFFFu;

// BeginCG400 reports failure with exactly these four values; any other is
// an open card's handle.
constexpr bool IsCardHandle(int32_t handle) {
    return handle != 0 && handle != 1 && handle != 2 && handle != -1;
}

// What StaticMemAlloc hands out; the values are opaque to us.
struct StaticMemory {
    uint32_t memPages;
    uint32_t snapTarget;
    uint32_t unused;
    uint32_t readSource;
};

}  // namespace card
