#include <windows.h>

#include <initializer_list>

#include "capture/capture_state.h"
#include "capture/operator_messages.h"
#include "vorlane.h"

extern "C" int __stdcall HDReset() {
    // Opening again would orphan the open card's handle.
    if (CardIsOpen(captureState.cardHandle)) return 0;

    captureState.cardHandle = BeginCG400(card::kCardNumber);
    if (!CardIsOpen(captureState.cardHandle)) {
        messages::Show(messages::kCardInitFailed, nullptr);
        return 0;
    }
    // Only the card goes back to the middle; the kept values stay, so the
    // next key step starts from them.
    for (int selector : {card::kAdSelector1, card::kAdSelector2, card::kAdSelector4})
        CG400SetADParam(captureState.cardHandle, selector, card::kAdMiddle);
    return FreeCG200();
}
