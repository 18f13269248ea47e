#include "card_state.h"

#include <utility>

#include "footage_player.h"

namespace vcard {

Guarded<Card> g_card;
Guarded<Renderer> g_renderer;
FramePair g_frames;

CardAccess EnterCall(int32_t call) {
    CardAccess card = g_card.Lock();
    CallGate &gate = card->gates[call];
    if (gate.blocked) {
        if (gate.waiting++ == 0) SetEvent(gate.occupied.get());
        while (gate.blocked) card.WaitUnlocked(gate.open.get(), INFINITE);
        if (--gate.waiting == 0) ResetEvent(gate.occupied.get());
    }
    return card;
}

void BlockCalls(Card &card, int32_t call) {
    card.gates[call].blocked = true;
    ResetEvent(card.gates[call].open.get());
}

void ReleaseCalls(Card &card, int32_t call) {
    card.gates[call].blocked = false;
    SetEvent(card.gates[call].open.get());
}

bool WaitUntilBlocked(int32_t call, uint32_t timeoutMs) {
    CardAccess card = g_card.Lock();
    const CallGate &gate = card->gates[call];
    const DWORD start = GetTickCount();  // the difference survives the wrap
    while (gate.waiting == 0) {
        const DWORD waited = GetTickCount() - start;
        if (waited >= timeoutMs) return false;
        card.WaitUnlocked(gate.occupied.get(), timeoutMs - waited);
    }
    return true;
}

void Log(Card &card, int32_t call, std::initializer_list<int64_t> args, int64_t result) {
    if (card.state.logCount >= kLogCapacity) return;
    VcLogEntry &e = card.log[card.state.logCount++];
    e = VcLogEntry{};
    e.call = call;
    for (int64_t a : args) {
        if (e.argCount < 6) e.args[e.argCount++] = a;
    }
    e.result = result;
    e.threadId = GetCurrentThreadId();
}

Ticks CurrentTicks() {
    LARGE_INTEGER now, perSecond;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&perSecond);
    return Ticks{now.QuadPart, perSecond.QuadPart};
}

int64_t FramesCompleted(const Card &card) {
    return FramesCompleted(card.state.clock, CurrentTicks());
}

void ChangeSceneAtNextRender(Card &card, std::unique_ptr<Picture> picture, Footage *footage) {
    if (card.playingFootage != nullptr) StopLoading(*card.playingFootage);
    card.playingFootage = nullptr;
    DeleteFootage(card.sceneChange.footage);
    card.sceneChange.pending = true;
    card.sceneChange.picture = std::move(picture);
    card.sceneChange.footage = footage;
}

SceneChange TakeSceneChange(const RendererAccess &, Card &card) {
    SceneChange taken = std::move(card.sceneChange);
    card.sceneChange = SceneChange{};
    if (taken.pending) card.playingFootage = taken.footage;
    return taken;
}

void ResetCard(Card &card) {
    card.state = CardState{};
    for (int32_t call = 0; call < VC_CALL_COUNT; ++call) ReleaseCalls(card, call);
    ChangeSceneAtNextRender(card, nullptr);
}

}  // namespace vcard
