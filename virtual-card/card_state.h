// The virtual card's shared state, each part behind the lock that guards it.
//
// Two locks. The state lock (g_card) guards the settings, counters, log and
// call gates and is only ever held briefly; a call that a test has blocked
// waits on its gate's event with the lock let go. The render lock
// (g_renderer) guards the scene, so a preview reading frames as fast as it
// can never keeps the controls out. A read takes the render lock before the
// state lock, never the other way round. Footage has a lock of its own,
// taken last.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <memory>

#include "card_library.h"
#include "guarded.h"
#include "win32_guards.h"
#include "core/scene.h"
#include "core/status_clock.h"
#include "vcard_control.h"

namespace vcard {

constexpr int kLogCapacity = 65536;
constexpr int kScriptCapacity = 65536;

struct Footage;

// Everything VcReset puts back; the initialisers are the defaults.
struct CardState {
    int32_t beginResult = VC_DEFAULT_HANDLE;
    int32_t failing[VC_CALL_COUNT] = {};  // VC_READ: every n-th read fails
    int32_t readLimit = -1;
    bool logPolls = false;

    StatusClock clock;
    int32_t scriptCount = 0;

    int64_t reads = 0;
    int64_t polls = 0;
    int32_t ad[3] = {card::kAdMiddle, card::kAdMiddle, card::kAdMiddle};
    bool open = false;

    Window input = {0, 0, kSceneWidth, kSceneHeight};
    int displayWidth = kSceneWidth;
    int displayHeight = kSceneHeight;
    int colorCode = 1;

    int32_t logCount = 0;
    int32_t lastFrameBytes = 0;
};

// Whether a test holds calls of one kind back, and how many wait. Each
// event follows its condition whenever the state lock is let go, so a
// waiter that has let go of the lock misses no change.
struct CallGate {
    bool blocked = false;
    int32_t waiting = 0;  // VcReset leaves this to the waiters
    guards::UniqueKernelHandle open = guards::CreateUnnamedEvent(true, true);  // set while not blocked
    guards::UniqueKernelHandle occupied = guards::CreateUnnamedEvent(true, false);  // set while waiting > 0
};

// A new background or footage for the next read to take up; pending with
// neither means the built-in picture.
struct SceneChange {
    bool pending = false;
    std::unique_ptr<Picture> picture;
    Footage *footage = nullptr;  // owned (see Renderer)
};

// Everything the calls share, behind the state lock.
struct Card {
    CardState state;
    CallGate gates[VC_CALL_COUNT];
    uint32_t script[kScriptCapacity];
    VcLogEntry log[kLogCapacity];
    SceneChange sceneChange;
    // The footage a read has taken up (owned by the renderer): stopped as
    // soon as the scene changes again, so its files are let go at once.
    Footage *playingFootage = nullptr;
};

// What reads render with, behind the render lock.
struct Renderer {
    Scene scene;
    // Owned, but a plain pointer: never freed at unload, when its reading
    // thread may have been cut off by the process's end holding its lock.
    Footage *footage = nullptr;
    int64_t footageShown = -1;  // the picture number now in the scene
};

using CardAccess = Guarded<Card>::Access;
using RendererAccess = Guarded<Renderer>::Access;

// The last frame delivered and the one being drawn. A read draws into the
// back one holding the render lock and swaps them holding both locks, so
// the controls may copy the front one holding the state lock alone.
class FramePair {
public:
    uint8_t *Back(const RendererAccess &) { return frames_[1 - front_]; }
    const uint8_t *Front(const CardAccess &) const { return frames_[front_]; }
    void Swap(const RendererAccess &, const CardAccess &) { front_ = 1 - front_; }

private:
    uint8_t frames_[2][kSceneBytes];
    int front_ = 0;
};

extern Guarded<Card> g_card;
extern Guarded<Renderer> g_renderer;
extern FramePair g_frames;

// The state lock for one driver call, taken once no test blocks `call`.
CardAccess EnterCall(int32_t call);
// Makes calls of this kind wait in EnterCall until released.
void BlockCalls(Card &card, int32_t call);
void ReleaseCalls(Card &card, int32_t call);
// Waits until a call of this kind waits at its gate; false on time-out.
bool WaitUntilBlocked(int32_t call, uint32_t timeoutMs);

void Log(Card &card, int32_t call, std::initializer_list<int64_t> args, int64_t result);

// The performance counter now, for the status clock.
Ticks CurrentTicks();
int64_t FramesCompleted(const Card &card);

// Hands the next read a new scene (both nullptr: the built-in picture) and
// stops the footage playing now.
void ChangeSceneAtNextRender(Card &card, std::unique_ptr<Picture> picture, Footage *footage = nullptr);
// Takes up the scene change waiting, if any; under the render lock, so that
// reads on several threads apply the changes in the order they were made.
SceneChange TakeSceneChange(const RendererAccess &, Card &card);

// Everything back to the defaults; blocked calls go on.
void ResetCard(Card &card);

}  // namespace vcard
