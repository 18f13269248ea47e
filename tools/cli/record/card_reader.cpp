#include "card_reader.h"

#include <new>
#include <type_traits>

#include "picture_store.h"
#include "station.h"

namespace cli {

std::string LoadCardDriver(guards::UniqueModule &driver, CardCalls &calls) {
    const DllFile library = ExamineVorlane();
    const DllFile found = ExamineDriver(library);
    if (!found.problem.empty()) return found.problem;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    driver.reset(LoadLibraryExA(found.path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!driver)
        return "Windows could not load " + found.path + " (" + WindowsError(GetLastError()) + ").";
    const auto find = [&driver](const char *name, auto &function) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
            reinterpret_cast<void *>(GetProcAddress(driver.get(), name)));
        return function != nullptr;
    };
    const char *missing = !find("BeginCG400", calls.BeginCG400)                         ? "BeginCG400"
                          : !find("EndCG400", calls.EndCG400)                           ? "EndCG400"
                          : !find("CG400SetInpVideoWindow", calls.CG400SetInpVideoWindow) ? "CG400SetInpVideoWindow"
                          : !find("CG400SetDispWindow", calls.CG400SetDispWindow)       ? "CG400SetDispWindow"
                          : !find("CG400SetColorSpace", calls.CG400SetColorSpace)       ? "CG400SetColorSpace"
                          : !find("CG400SetADParam", calls.CG400SetADParam)             ? "CG400SetADParam"
                          : !find("StaticMemAlloc", calls.StaticMemAlloc)               ? "StaticMemAlloc"
                          : !find("CG400SnapOneToMem", calls.CG400SnapOneToMem)         ? "CG400SnapOneToMem"
                          : !find("CG400GetSnappingStatus", calls.CG400GetSnappingStatus) ? "CG400GetSnappingStatus"
                          : !find("CG400ReadFromMem", calls.CG400ReadFromMem)           ? "CG400ReadFromMem"
                                                                                        : nullptr;
    if (missing) return found.path + " does not export " + missing + "; it is not the card's driver.";
    return "";
}

// The order and the checks of Vorlane's preview thread.
std::string CardSession::Open(const CardCalls &calls, geometry::FrameSize frame, int32_t colorMode) {
    calls_ = calls;
    handle_ = calls_.BeginCG400(card::kCardNumber);
    if (!card::IsCardHandle(handle_))
        return "the card could not be opened (BeginCG400 gave " + std::to_string(handle_) + ")";
    open_ = true;
    const geometry::VideoWindow input = geometry::InputWindowFor(frame);
    calls_.CG400SetInpVideoWindow(handle_, input.left, input.top, input.width, input.height);
    if (!calls_.CG400SetDispWindow(handle_, 0, 0, frame.width, frame.height))
        return "the card refused the frame size (CG400SetDispWindow)";
    if (!calls_.CG400SetColorSpace(handle_, static_cast<unsigned char>(colorMode)))
        return "the card refused the colour mode (CG400SetColorSpace)";
    if (!calls_.StaticMemAlloc(&memory_.memPages, &memory_.snapTarget, &memory_.unused, &memory_.readSource))
        return "the card's capture memory could not be had (StaticMemAlloc)";
    captureBytes_ = memory_.memPages * card::kMemPageBytes;
    // The driver is told the whole capture memory, as the preview tells it:
    // room for that much, never less than a frame.
    const size_t frameBytes = recording::FrameBytes(recording::FrameFormat{frame.width, frame.height, colorMode});
    const size_t room = captureBytes_ > frameBytes ? captureBytes_ : frameBytes;
    buffer_.reset(new (std::nothrow) uint8_t[room]());
    if (!buffer_) return "no memory for a frame";
    calls_.CG400SnapOneToMem(handle_, memory_.snapTarget, captureBytes_, 0);
    return "";
}

CardSession::~CardSession() {
    if (open_) calls_.EndCG400(handle_);
}

int CardSession::ReadNextSlot(bool &read) {
    uint32_t status = card::kNoStatus;
    calls_.CG400GetSnappingStatus(handle_, &status);
    const int slot = geometry::ChooseSlot(status, slotToggle_);
    read = slot != geometry::kNoSlot &&
           calls_.CG400ReadFromMem(handle_, memory_.readSource, captureBytes_, slot, buffer_.get(), 1);
    if (slot != geometry::kNoSlot && !read) ++failedReads_;
    return slot;
}

}  // namespace cli
