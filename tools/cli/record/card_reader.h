// record's own way to the card: the driver's calls looked up at run time in
// the CG400D32.dll that Vorlane.dll would load, the set-up in the preview's
// order, and the reads of each slot the card finishes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "card_library.h"
#include "frame_geometry.h"
#include "hot_key_table.h"
#include "win32_guards.h"

namespace cli {

struct CardCalls {
    decltype(&::BeginCG400) BeginCG400 = nullptr;
    decltype(&::EndCG400) EndCG400 = nullptr;
    decltype(&::CG400SetInpVideoWindow) CG400SetInpVideoWindow = nullptr;
    decltype(&::CG400SetDispWindow) CG400SetDispWindow = nullptr;
    decltype(&::CG400SetColorSpace) CG400SetColorSpace = nullptr;
    decltype(&::CG400SetADParam) CG400SetADParam = nullptr;
    decltype(&::StaticMemAlloc) StaticMemAlloc = nullptr;
    decltype(&::CG400SnapOneToMem) CG400SnapOneToMem = nullptr;
    decltype(&::CG400GetSnappingStatus) CG400GetSnappingStatus = nullptr;
    decltype(&::CG400ReadFromMem) CG400ReadFromMem = nullptr;
};

// Finds the driver as check does, loads it and looks up its calls. Returns
// "" or one line that says what is wrong.
std::string LoadCardDriver(guards::UniqueModule &driver, CardCalls &calls);

// An open card, set up as Vorlane's preview sets it up; EndCG400 when it goes.
class CardSession {
public:
    // "" when the card is open and capturing, else why not.
    std::string Open(const CardCalls &calls, geometry::FrameSize frame, int32_t colorMode);
    ~CardSession();
    CardSession() = default;
    CardSession(const CardSession &) = delete;
    CardSession &operator=(const CardSession &) = delete;

    // Polls the status once; when a slot is ready in turn, reads it into
    // Frame() and returns its number (0 or 1), else geometry::kNoSlot.
    // `read` is false when the driver refused the read, which is counted.
    int ReadNextSlot(bool &read);
    const uint8_t *Frame() const { return buffer_.get(); }
    long long FailedReads() const { return failedReads_; }

    // Applies the first A/D chord row `isHeld` holds, as the DLL's hot keys
    // do; true when a value was stepped.
    template <typename IsHeld>
    bool StepAdValues(IsHeld isHeld) {
        const int index = hotkeys::FindRow(values_, isHeld);
        if (index == hotkeys::kNoRow) return false;
        const hotkeys::Row &row = hotkeys::kRows[index];
        int32_t &value = row.selector == card::kAdSelector1   ? values_.param1
                         : row.selector == card::kAdSelector2 ? values_.param2
                                                              : values_.param4;
        value += row.step;
        calls_.CG400SetADParam(handle_, row.selector, value);
        return true;
    }

private:
    CardCalls calls_{};
    int handle_ = 0;
    bool open_ = false;
    card::StaticMemory memory_{};
    uint32_t captureBytes_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;
    bool slotToggle_ = false;
    long long failedReads_ = 0;
    hotkeys::AdValues values_{card::kAdMiddle, card::kAdMiddle, card::kAdMiddle};
};

}  // namespace cli
