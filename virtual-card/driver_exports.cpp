// The ten calls of CG400D32.dll, modelling a PAL camera on the card. Each
// takes the state lock through its call gate, so a test can hold it back,
// and logs itself.

#include <windows.h>

#include <cstring>
#include <utility>

#include "card_constants.h"
#include "card_state.h"
#include "footage_player.h"

using namespace vcard;

namespace {

int64_t PointerValue(const void *p) {
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(p));
}

// 0 while a test makes `call` fail, else 1.
int SimpleResult(const Card &card, int32_t call) {
    return card.state.failing[call] ? 0 : 1;
}

int AdIndex(int selector) {
    switch (selector) {
        case card::kAdSelector1: return 0;
        case card::kAdSelector2: return 1;
        case card::kAdSelector4: return 2;
        default: return -1;
    }
}

int ClampSide(int side, int largest) {
    return side < 0 ? 0 : (side > largest ? largest : side);
}

// What a read renders, taken under the state lock.
struct FrameRequest {
    Window input;
    int width;
    int height;
    int colorCode;
    AdSettings ad;
    int64_t frame;
    int32_t limit;
};

// Takes up a new scene, then the footage picture of `frame`, if any.
void PrepareScene(Renderer &renderer, SceneChange change, int64_t frame) {
    if (change.pending) {
        DeleteFootage(renderer.footage);
        renderer.footage = change.footage;
        renderer.footageShown = -1;
        if (change.footage == nullptr) SetBackground(renderer.scene, change.picture.get());
    }
    if (renderer.footage == nullptr) return;
    const int64_t footageNumber = FootageNumber(*renderer.footage, (frame < 0 ? 0 : frame) / kChangesPerFrame);
    if (footageNumber != renderer.footageShown && ShowFootagePicture(*renderer.footage, footageNumber, renderer.scene))
        renderer.footageShown = footageNumber;
}

}  // namespace

// Loading and unloading need nothing.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}

extern "C" {

int __stdcall BeginCG400(int cardNumber) {
    CardAccess card = EnterCall(VC_BEGIN);
    const int result = card->state.beginResult;
    const bool wasOpen = card->state.open;
    card->state.open = card::IsCardHandle(result);
    // Each opening counts afresh; a second BeginCG400 on an open card is no new opening.
    if (card->state.open && !wasOpen) {
        card->state.reads = 0;
        card->state.polls = 0;
        OpenClock(card->state.clock);
    }
    Log(*card, VC_BEGIN, {cardNumber}, result);
    return result;
}

int __stdcall EndCG400(int handle) {
    CardAccess card = EnterCall(VC_END);
    const int result = SimpleResult(*card, VC_END);
    if (result != 0) {
        StopCapture(card->state.clock, CurrentTicks());
        card->state.open = false;
    }
    Log(*card, VC_END, {handle}, result);
    return result;
}

int __stdcall CG400SetInpVideoWindow(int handle, int left, int top, int width, int height) {
    CardAccess card = EnterCall(VC_SET_INPUT);
    card->state.input = Window{left, top, width, height};
    Log(*card, VC_SET_INPUT, {handle, left, top, width, height}, 1);
    return 1;
}

int __stdcall CG400SetDispWindow(int handle, int left, int top, int width, int height) {
    CardAccess card = EnterCall(VC_SET_DISPLAY);
    const int result = SimpleResult(*card, VC_SET_DISPLAY);
    if (result != 0) {
        // The card's memory holds at most one full-size frame.
        card->state.displayWidth = ClampSide(width, kSceneWidth);
        card->state.displayHeight = ClampSide(height, kSceneHeight);
    }
    Log(*card, VC_SET_DISPLAY, {handle, left, top, width, height}, result);
    return result;
}

int __stdcall CG400SetColorSpace(int handle, unsigned char code) {
    CardAccess card = EnterCall(VC_SET_COLOR);
    int result = SimpleResult(*card, VC_SET_COLOR);
    if (BytesPerPixel(code) == 0) result = 0;
    if (result != 0) card->state.colorCode = code;
    Log(*card, VC_SET_COLOR, {handle, code}, result);
    return result;
}

int __stdcall CG400SetADParam(int handle, int selector, int value) {
    CardAccess card = EnterCall(VC_SET_AD);
    const int index = AdIndex(selector);
    if (index >= 0) card->state.ad[index] = value;
    const int result = index >= 0 ? 1 : 0;
    Log(*card, VC_SET_AD, {handle, selector, value}, result);
    return result;
}

int __stdcall StaticMemAlloc(uint32_t *memPages, uint32_t *snapTarget, uint32_t *unused,
                             uint32_t *readSource) {
    CardAccess card = EnterCall(VC_STATIC_MEM);
    const int result = SimpleResult(*card, VC_STATIC_MEM);
    if (result != 0) {
        if (memPages != nullptr) *memPages = VC_MEM_PAGES;
        if (snapTarget != nullptr) *snapTarget = VC_SNAP_TARGET;
        if (readSource != nullptr) *readSource = VC_READ_SOURCE;
    }
    Log(*card, VC_STATIC_MEM,
        {PointerValue(memPages), PointerValue(snapTarget), PointerValue(unused), PointerValue(readSource)},
        result);
    return result;
}

int __stdcall CG400SnapOneToMem(int handle, uint32_t snapTarget, uint32_t byteCount, int zero) {
    CardAccess card = EnterCall(VC_SNAP);
    StartCapture(card->state.clock, CurrentTicks().now);
    Log(*card, VC_SNAP, {handle, snapTarget, byteCount, zero}, 1);
    return 1;
}

int __stdcall CG400GetSnappingStatus(int handle, uint32_t *status) {
    CardAccess card = EnterCall(VC_STATUS);
    ++card->state.polls;
    uint32_t next = 0;
    const StatusScript script{card->script, card->state.scriptCount};
    const bool stores = PollStatus(card->state.clock, script, CurrentTicks(), status != nullptr, next);
    if (stores) *status = next;
    // -1: nothing was stored.
    if (card->state.logPolls) Log(*card, VC_STATUS, {handle, PointerValue(status), stores ? int64_t{next} : -1}, 1);
    return 1;
}

int __stdcall CG400ReadFromMem(int handle, uint32_t readSource, uint32_t byteCount, int slot,
                               void *destination, int one) {
    FrameRequest request;
    {
        CardAccess card = EnterCall(VC_READ);
        const CardState &state = card->state;
        ++card->state.reads;
        const int32_t every = state.failing[VC_READ];
        if (every > 0 && state.reads % every == 0) {
            Log(*card, VC_READ, {handle, readSource, byteCount, slot, PointerValue(destination), one}, 0);
            return 0;
        }
        request = FrameRequest{state.input, state.displayWidth, state.displayHeight, state.colorCode,
                               AdSettings{state.ad[0], state.ad[1], state.ad[2]}, FramesCompleted(*card),
                               state.readLimit};
    }
    // Rendered without the state lock, so the controls answer meanwhile.
    RendererAccess renderer = g_renderer.Lock();
    SceneChange change = TakeSceneChange(renderer, *g_card.Lock());
    PrepareScene(*renderer, std::move(change), request.frame);
    uint8_t *back = g_frames.Back(renderer);
    size_t bytes = RenderFrame(renderer->scene, request.input, request.width, request.height,
                               request.colorCode, request.ad, request.frame, back);
    if (request.limit >= 0 && bytes > static_cast<size_t>(request.limit)) bytes = static_cast<size_t>(request.limit);
    if (destination != nullptr) std::memcpy(destination, back, bytes);

    CardAccess card = g_card.Lock();
    g_frames.Swap(renderer, card);
    card->state.lastFrameBytes = static_cast<int32_t>(bytes);
    Log(*card, VC_READ, {handle, readSource, byteCount, slot, PointerValue(destination), one}, 1);
    return 1;
}

}  // extern "C"
