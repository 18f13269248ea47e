// The virtual card: the ten driver calls of CG400D32.dll, modelling a PAL
// camera on the card, plus the control calls of vcard_control.h that tests
// use to steer it and to see what was called.
//
// All state is constant- or zero-initialised, so loading the DLL runs no
// code of ours. The state lock guards the settings, counters and log and is
// only ever held briefly; a call that a test has blocked waits on a condition
// variable, which lets go of it. Rendering runs under a lock of its own, so
// a preview reading frames as fast as it can never keeps the controls out.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "capture/card_library.h"
#include "scene.h"
#include "vcard_control.h"

namespace {

constexpr int kLogCapacity = 65536;
constexpr int kScriptCapacity = 65536;
constexpr int kFieldsPerSecond = 50;  // PAL: 25 frames, each 2 status changes
constexpr uint32_t kSlot0Ready = 2;
constexpr uint32_t kSlot1Ready = 0;

// --- Pure helpers ---

bool IsFailedHandle(int32_t handle) {
    return handle == 0 || handle == 1 || handle == 2 || handle == -1;
}

// Status changes after `elapsed` ticks of real time: one every 20 ms.
int64_t RealtimeChanges(int64_t elapsed, int64_t ticksPerSecond) {
    if (elapsed < 0 || ticksPerSecond <= 0) return 0;
    return elapsed / ticksPerSecond * kFieldsPerSecond +
           elapsed % ticksPerSecond * kFieldsPerSecond / ticksPerSecond;
}

// 2 in the first 20 ms of each 40 ms frame, 0 in the second.
uint32_t RealtimeStatus(int64_t elapsed, int64_t ticksPerSecond) {
    return RealtimeChanges(elapsed, ticksPerSecond) % 2 == 0 ? kSlot0Ready : kSlot1Ready;
}

// A change between 2 and 0 (other values leave the last one standing).
bool IsSlotChange(uint32_t previous, uint32_t status) {
    return (previous == kSlot0Ready && status == kSlot1Ready) ||
           (previous == kSlot1Ready && status == kSlot0Ready);
}

bool IsCall(int32_t call) {
    return call >= VC_BEGIN && call < VC_CALL_COUNT;
}

int64_t PointerValue(const void *p) {
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(p));
}

int64_t Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

int64_t TicksPerSecond() {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
}

// --- State ---

// Everything VcReset puts back; the initialisers are the defaults.
struct CardState {
    int32_t beginResult = VC_DEFAULT_HANDLE;
    bool failing[VC_CALL_COUNT] = {};
    bool blocked[VC_CALL_COUNT] = {};
    int32_t readLimit = -1;
    bool logPolls = false;

    int32_t statusMode = VC_STATUS_REALTIME;
    int32_t scriptCount = 0;
    int64_t sequencePolls = 0;    // polls since the status mode was chosen
    uint32_t lastSlotStatus = kSlot1Ready;
    int64_t sequenceChanges = 0;  // every-poll and script modes
    bool capturing = false;
    int64_t captureStart = 0;
    int64_t changesAtStop = 0;    // real-time mode, after EndCG400

    int64_t reads = 0;
    int64_t polls = 0;
    int32_t ad[3] = {card::kAdMiddle, card::kAdMiddle, card::kAdMiddle};
    bool open = false;

    vcard::Window input = {0, 0, vcard::kSceneWidth, vcard::kSceneHeight};
    int displayWidth = vcard::kSceneWidth;
    int displayHeight = vcard::kSceneHeight;
    int colorCode = 1;

    int32_t logCount = 0;
    int32_t lastFrameBytes = 0;
};

// Critical sections, not slim locks and condition variables: the card runs
// on Windows XP as well, which has neither.
struct Lock {
    Lock() { InitializeCriticalSection(&section); }
    ~Lock() { DeleteCriticalSection(&section); }
    CRITICAL_SECTION section;
};
Lock g_lock;
CardState g_state;
// Calls now waiting inside the card; VcReset leaves these to the waiters.
int32_t g_waiting[VC_CALL_COUNT];
uint32_t g_script[kScriptCapacity];
VcLogEntry g_log[kLogCapacity];
// A new background waiting for the next render (under the state lock);
// nullptr with the flag raised means the built-in picture.
bool g_sceneChangePending;
vcard::Picture *g_pendingPicture;
int g_frontFrame;  // which of g_frames was delivered last (state lock)

// Under the render lock.
Lock g_renderLock;
vcard::Scene g_scene;
uint8_t g_frames[2][vcard::kSceneBytes];

class Locked {
public:
    explicit Locked(Lock *lock = &g_lock) : lock_(lock) { EnterCriticalSection(&lock_->section); }
    ~Locked() { LeaveCriticalSection(&lock_->section); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

private:
    Lock *lock_;
};

// With the state lock held: lets it go for a moment, so that the other
// threads' calls can change what the caller waits for.
void PauseUnlocked() {
    LeaveCriticalSection(&g_lock.section);
    Sleep(1);
    EnterCriticalSection(&g_lock.section);
}

// With the state lock held.
void ChangeSceneAtNextRender(vcard::Picture *picture) {
    delete g_pendingPicture;
    g_pendingPicture = picture;
    g_sceneChangePending = true;
}

// With the lock held: waits, without the lock, while a test blocks `call`.
void WaitIfBlocked(int32_t call) {
    if (!g_state.blocked[call]) return;
    ++g_waiting[call];
    while (g_state.blocked[call]) PauseUnlocked();
    --g_waiting[call];
}

void Log(int32_t call, std::initializer_list<int64_t> args, int64_t result) {
    if (g_state.logCount >= kLogCapacity) return;
    VcLogEntry &e = g_log[g_state.logCount++];
    e = VcLogEntry{};
    e.call = call;
    for (int64_t a : args) {
        if (e.argCount < 6) e.args[e.argCount++] = a;
    }
    e.result = result;
    e.threadId = GetCurrentThreadId();
}

int64_t FramesCompleted() {
    if (g_state.statusMode != VC_STATUS_REALTIME) return g_state.sequenceChanges;
    if (!g_state.capturing) return g_state.changesAtStop;
    return RealtimeChanges(Now() - g_state.captureStart, TicksPerSecond());
}

// The status the next poll stores; false when it stores none.
bool NextStatus(uint32_t &status) {
    switch (g_state.statusMode) {
        case VC_STATUS_REALTIME:
            status = g_state.capturing
                         ? RealtimeStatus(Now() - g_state.captureStart, TicksPerSecond())
                         : kSlot1Ready;
            return true;
        case VC_STATUS_EVERY_POLL:
            status = g_state.sequencePolls % 2 == 0 ? kSlot0Ready : kSlot1Ready;
            return true;
        case VC_STATUS_SCRIPT: {
            if (g_state.scriptCount == 0) return false;
            int64_t last = g_state.scriptCount - 1;
            status = g_script[g_state.sequencePolls < last ? g_state.sequencePolls : last];
            return true;
        }
        default:
            return false;
    }
}

void RestartSequence(int32_t mode) {
    g_state.statusMode = mode;
    g_state.sequencePolls = 0;
    g_state.lastSlotStatus = kSlot1Ready;
    g_state.sequenceChanges = 0;
}

int SimpleResult(int32_t call) {
    return g_state.failing[call] ? 0 : 1;
}

int AdIndex(int selector) {
    switch (selector) {
        case card::kAdSelector1: return 0;
        case card::kAdSelector2: return 1;
        case card::kAdSelector4: return 2;
        default: return -1;
    }
}

bool ReadWholeFile(const char *path, std::vector<uint8_t> &bytes) {
    FILE *f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

}  // namespace

// Loading and unloading need nothing.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}

// --- The driver calls ---

extern "C" {

int __stdcall BeginCG400(int cardNumber) {
    Locked lock;
    WaitIfBlocked(VC_BEGIN);
    int result = g_state.beginResult;
    g_state.open = !IsFailedHandle(result);
    Log(VC_BEGIN, {cardNumber}, result);
    return result;
}

int __stdcall EndCG400(int handle) {
    Locked lock;
    WaitIfBlocked(VC_END);
    int result = SimpleResult(VC_END);
    if (result != 0) {
        if (g_state.capturing) g_state.changesAtStop = FramesCompleted();
        g_state.capturing = false;
        g_state.open = false;
    }
    Log(VC_END, {handle}, result);
    return result;
}

int __stdcall CG400SetInpVideoWindow(int handle, int left, int top, int width, int height) {
    Locked lock;
    WaitIfBlocked(VC_SET_INPUT);
    g_state.input = vcard::Window{left, top, width, height};
    Log(VC_SET_INPUT, {handle, left, top, width, height}, 1);
    return 1;
}

int __stdcall CG400SetDispWindow(int handle, int left, int top, int width, int height) {
    Locked lock;
    WaitIfBlocked(VC_SET_DISPLAY);
    int result = SimpleResult(VC_SET_DISPLAY);
    if (result != 0) {
        // The card's memory holds at most one full-size frame.
        g_state.displayWidth = width < 0 ? 0 : (width > vcard::kSceneWidth ? vcard::kSceneWidth : width);
        g_state.displayHeight =
            height < 0 ? 0 : (height > vcard::kSceneHeight ? vcard::kSceneHeight : height);
    }
    Log(VC_SET_DISPLAY, {handle, left, top, width, height}, result);
    return result;
}

int __stdcall CG400SetColorSpace(int handle, unsigned char code) {
    Locked lock;
    WaitIfBlocked(VC_SET_COLOR);
    int result = SimpleResult(VC_SET_COLOR);
    if (vcard::BytesPerPixel(code) == 0) result = 0;
    if (result != 0) g_state.colorCode = code;
    Log(VC_SET_COLOR, {handle, code}, result);
    return result;
}

int __stdcall CG400SetADParam(int handle, int selector, int value) {
    Locked lock;
    WaitIfBlocked(VC_SET_AD);
    int index = AdIndex(selector);
    if (index >= 0) g_state.ad[index] = value;
    int result = index >= 0 ? 1 : 0;
    Log(VC_SET_AD, {handle, selector, value}, result);
    return result;
}

int __stdcall StaticMemAlloc(uint32_t *memPages, uint32_t *snapTarget, uint32_t *unused,
                             uint32_t *readSource) {
    Locked lock;
    WaitIfBlocked(VC_STATIC_MEM);
    int result = SimpleResult(VC_STATIC_MEM);
    if (result != 0) {
        if (memPages != nullptr) *memPages = VC_MEM_PAGES;
        if (snapTarget != nullptr) *snapTarget = VC_SNAP_TARGET;
        if (readSource != nullptr) *readSource = VC_READ_SOURCE;
    }
    Log(VC_STATIC_MEM,
        {PointerValue(memPages), PointerValue(snapTarget), PointerValue(unused), PointerValue(readSource)},
        result);
    return result;
}

int __stdcall CG400SnapOneToMem(int handle, uint32_t snapTarget, uint32_t byteCount, int zero) {
    Locked lock;
    WaitIfBlocked(VC_SNAP);
    g_state.capturing = true;
    g_state.captureStart = Now();
    g_state.changesAtStop = 0;
    g_state.sequenceChanges = 0;
    Log(VC_SNAP, {handle, snapTarget, byteCount, zero}, 1);
    return 1;
}

int __stdcall CG400GetSnappingStatus(int handle, uint32_t *status) {
    Locked lock;
    WaitIfBlocked(VC_STATUS);
    ++g_state.polls;
    uint32_t next = 0;
    bool stores = NextStatus(next) && status != nullptr;
    if (stores) *status = next;
    if (g_state.statusMode != VC_STATUS_REALTIME) {
        ++g_state.sequencePolls;
        if (stores && (next == kSlot0Ready || next == kSlot1Ready)) {
            if (IsSlotChange(g_state.lastSlotStatus, next)) ++g_state.sequenceChanges;
            g_state.lastSlotStatus = next;
        }
    }
    // -1: nothing was stored.
    if (g_state.logPolls) Log(VC_STATUS, {handle, PointerValue(status), stores ? int64_t{next} : -1}, 1);
    return 1;
}

int __stdcall CG400ReadFromMem(int handle, uint32_t readSource, uint32_t byteCount, int slot,
                               void *destination, int one) {
    // Take what the frame needs, then render without the state lock.
    vcard::Window input;
    int width, height, colorCode;
    vcard::AdSettings ad;
    int64_t frame;
    int32_t limit;
    bool sceneChange;
    vcard::Picture *picture;
    {
        Locked lock;
        WaitIfBlocked(VC_READ);
        ++g_state.reads;
        input = g_state.input;
        width = g_state.displayWidth;
        height = g_state.displayHeight;
        colorCode = g_state.colorCode;
        ad = vcard::AdSettings{g_state.ad[0], g_state.ad[1], g_state.ad[2]};
        frame = FramesCompleted();
        limit = g_state.readLimit;
        sceneChange = g_sceneChangePending;
        picture = g_pendingPicture;
        g_sceneChangePending = false;
        g_pendingPicture = nullptr;
    }
    Locked renderLock(&g_renderLock);
    if (sceneChange) vcard::SetBackground(g_scene, picture);
    delete picture;
    // The front buffer only changes under both locks, so the back one is ours.
    uint8_t *back = g_frames[1 - g_frontFrame];
    size_t bytes = vcard::RenderFrame(g_scene, input, width, height, colorCode, ad, frame, back);
    if (limit >= 0 && bytes > static_cast<size_t>(limit)) bytes = static_cast<size_t>(limit);
    if (destination != nullptr) std::memcpy(destination, back, bytes);

    Locked lock;
    g_frontFrame = 1 - g_frontFrame;
    g_state.lastFrameBytes = static_cast<int32_t>(bytes);
    Log(VC_READ, {handle, readSource, byteCount, slot, PointerValue(destination), one}, 1);
    return 1;
}

// --- The control calls ---

void __stdcall VcReset(void) {
    Locked lock;
    g_state = CardState{};
    ChangeSceneAtNextRender(nullptr);  // blocked calls go at their next look
}

void __stdcall VcSetBeginResult(int32_t result) {
    Locked lock;
    g_state.beginResult = result;
}

void __stdcall VcSetFailure(int32_t call, int32_t failing) {
    Locked lock;
    if (IsCall(call)) g_state.failing[call] = failing != 0;
}

void __stdcall VcSetStatusMode(int32_t mode) {
    Locked lock;
    if (mode >= VC_STATUS_REALTIME && mode <= VC_STATUS_NONE) RestartSequence(mode);
}

void __stdcall VcScriptStatus(const uint32_t *statuses, int32_t count) {
    Locked lock;
    if (statuses == nullptr || count < 0) count = 0;
    if (count > kScriptCapacity) count = kScriptCapacity;
    if (count > 0) std::memcpy(g_script, statuses, static_cast<size_t>(count) * sizeof(uint32_t));
    g_state.scriptCount = count;
    RestartSequence(VC_STATUS_SCRIPT);
}

void __stdcall VcSetReadLimit(int32_t bytes) {
    Locked lock;
    g_state.readLimit = bytes;
}

void __stdcall VcBlockCall(int32_t call) {
    Locked lock;
    if (IsCall(call)) g_state.blocked[call] = true;
}

int32_t __stdcall VcWaitBlocked(int32_t call, uint32_t timeoutMs) {
    if (!IsCall(call)) return 0;
    Locked lock;
    const DWORD start = GetTickCount();  // the difference survives the wrap
    while (g_waiting[call] == 0) {
        if (GetTickCount() - start >= timeoutMs) return 0;
        PauseUnlocked();
    }
    return 1;
}

void __stdcall VcReleaseCall(int32_t call) {
    Locked lock;
    if (!IsCall(call)) return;
    g_state.blocked[call] = false;
}

void __stdcall VcLogPolls(int32_t enabled) {
    Locked lock;
    g_state.logPolls = enabled != 0;
}

int32_t __stdcall VcLogCount(void) {
    Locked lock;
    return g_state.logCount;
}

int32_t __stdcall VcLogGet(int32_t index, VcLogEntry *entry) {
    Locked lock;
    if (entry == nullptr || index < 0 || index >= g_state.logCount) return 0;
    *entry = g_log[index];
    return 1;
}

void __stdcall VcLogClear(void) {
    Locked lock;
    g_state.logCount = 0;
}

void __stdcall VcGetStats(VcStats *stats) {
    if (stats == nullptr) return;
    Locked lock;
    stats->framesCompleted = FramesCompleted();
    stats->reads = g_state.reads;
    stats->polls = g_state.polls;
    for (int i = 0; i < 3; ++i) stats->adValues[i] = g_state.ad[i];
    stats->open = g_state.open ? 1 : 0;
}

int32_t __stdcall VcCopyLastFrame(void *destination, int32_t capacity) {
    Locked lock;
    int32_t count = g_state.lastFrameBytes < capacity ? g_state.lastFrameBytes : capacity;
    if (count < 0 || destination == nullptr) return 0;
    std::memcpy(destination, g_frames[g_frontFrame], static_cast<size_t>(count));
    return count;
}

int32_t __stdcall VcSetScenePicture(const char *bmpPath) {
    std::unique_ptr<vcard::Picture> picture;
    if (bmpPath != nullptr && bmpPath[0] != '\0') {
        // Read and decode outside the lock; the preview may be running.
        std::vector<uint8_t> bytes;
        if (!ReadWholeFile(bmpPath, bytes)) return 0;
        picture.reset(new vcard::Picture);
        if (!vcard::DecodeBmp24(bytes.data(), bytes.size(), *picture)) return 0;
    }
    Locked lock;
    ChangeSceneAtNextRender(picture.release());
    return 1;
}

}  // extern "C"
