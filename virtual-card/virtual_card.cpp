// The virtual card: the ten driver calls of CG400D32.dll, modelling a PAL
// camera on the card, plus the control calls of vcard_control.h that tests
// use to steer it and to see what was called.
//
// All state is constant- or zero-initialised, so loading the DLL runs no
// code of ours. The state lock guards the settings, counters and log and is
// only ever held briefly; a call that a test has blocked waits on a condition
// variable, which lets go of it. Rendering runs under a lock of its own, so
// a preview reading frames as fast as it can never keeps the controls out;
// it is taken before the state lock, never while holding it. Footage is read
// ahead by a thread that VcPlayFolder starts, with a lock of its own.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "capture/card_library.h"
#include "common/win32_guards.h"
#include "scene.h"
#include "vcard_control.h"

namespace {

constexpr int kLogCapacity = 65536;
constexpr int kScriptCapacity = 65536;
constexpr int kFieldsPerSecond = 50;  // PAL: 25 frames, each 2 status changes
constexpr uint32_t kSlot0Ready = 2;
constexpr uint32_t kSlot1Ready = 0;
constexpr int64_t kChangesPerFrame = 2;  // each frame fills both slots
// Footage: pictures decoded ahead of the one shown, and how long a read
// waits for a late one before showing the last picture again.
constexpr int kReadAhead = 8;
constexpr DWORD kLateFrameWaitMs = 2000;

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

// --- Picture files ---

// "a.bmp" before "B.bmp" before "b10.bmp": letters compared without case,
// then byte by byte so that the order is total.
bool NameBefore(const std::string &a, const std::string &b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    const bool caseless = std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) {
            return static_cast<unsigned char>(lower(x)) < static_cast<unsigned char>(lower(y));
        });
    if (caseless) return true;
    const bool caselessAfter = std::lexicographical_compare(
        b.begin(), b.end(), a.begin(), a.end(), [&](char x, char y) {
            return static_cast<unsigned char>(lower(x)) < static_cast<unsigned char>(lower(y));
        });
    return !caselessAfter && a < b;
}

bool IsBmpName(const char *name) {
    const size_t length = std::strlen(name);
    return length > 4 && _stricmp(name + length - 4, ".bmp") == 0;
}

void Reason(char *reason, int32_t capacity, const char *format, const char *path, const char *why = "") {
    if (reason != nullptr && capacity > 0) std::snprintf(reason, static_cast<size_t>(capacity), format, path, why);
}

inline void CloseFind(HANDLE find) { FindClose(find); }
using UniqueFind = guards::UniqueHandle<HANDLE, nullptr, CloseFind>;

HANDLE OrNull(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

// A picture file read through a buffer: DrawFitted asks for rows in file
// order, so most rows come from memory.
struct PictureFile {
    HANDLE handle;
    uint64_t bufferStart;
    size_t bufferBytes;
    uint8_t buffer[65536];
};

bool ReadPictureFile(void *file, uint64_t offset, uint8_t *into, size_t bytes) {
    PictureFile &f = *static_cast<PictureFile *>(file);
    if (bytes > sizeof f.buffer) return false;
    if (offset < f.bufferStart || offset + bytes > f.bufferStart + f.bufferBytes) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        DWORD got = 0;
        f.bufferStart = offset;
        f.bufferBytes = 0;
        if (!SetFilePointerEx(f.handle, at, nullptr, FILE_BEGIN) ||
            !ReadFile(f.handle, f.buffer, sizeof f.buffer, &got, nullptr) || got < bytes)
            return false;
        f.bufferBytes = got;
    }
    std::memcpy(into, f.buffer + (offset - f.bufferStart), bytes);
    return true;
}

// Opens a picture and checks its headers; `why` says what is wrong.
guards::UniqueKernelHandle OpenPicture(const char *path, vcard::BmpLayout &layout, char *why, size_t whyBytes) {
    guards::UniqueKernelHandle file(OrNull(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                       nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)));
    if (!file) {
        std::snprintf(why, whyBytes, "cannot be opened (error %lu)", GetLastError());
        return file;
    }
    LARGE_INTEGER size;
    uint8_t head[vcard::kBmpHeadBytes];
    DWORD got = 0;
    if (!GetFileSizeEx(file.get(), &size) || !ReadFile(file.get(), head, sizeof head, &got, nullptr)) {
        std::snprintf(why, whyBytes, "cannot be read (error %lu)", GetLastError());
        file.reset();
    } else if (!vcard::CheckBmp24(head, got, static_cast<uint64_t>(size.QuadPart), layout, why, whyBytes)) {
        file.reset();
    }
    return file;
}

// Reads a picture fitted into the frame; false, with `why`, when it cannot.
bool LoadPicture(const char *path, vcard::Picture &picture, char *why, size_t whyBytes) {
    vcard::BmpLayout layout;
    guards::UniqueKernelHandle file = OpenPicture(path, layout, why, whyBytes);
    if (!file) return false;
    std::unique_ptr<PictureFile> reader(new (std::nothrow) PictureFile{file.get(), 0, 0, {}});
    if (!reader) {
        std::snprintf(why, whyBytes, "no memory to read it");
        return false;
    }
    if (!vcard::DrawFitted(layout, ReadPictureFile, reader.get(), picture)) {
        std::snprintf(why, whyBytes, "could not be read to its end");
        return false;
    }
    return true;
}

// --- State ---

struct Footage;

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

// Critical sections and events, not slim locks and condition variables: the
// card runs on Windows XP as well, which has neither.
struct Lock {
    Lock() { InitializeCriticalSection(&section); }
    ~Lock() { DeleteCriticalSection(&section); }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;
    CRITICAL_SECTION section;
};
Lock g_lock;
CardState g_state;
// Calls now waiting inside the card; VcReset leaves these to the waiters.
int32_t g_waiting[VC_CALL_COUNT];
uint32_t g_script[kScriptCapacity];
VcLogEntry g_log[kLogCapacity];
// A new background or footage waiting for the next render (under the state
// lock); both nullptr with the flag raised means the built-in picture.
bool g_sceneChangePending;
vcard::Picture *g_pendingPicture;
Footage *g_pendingFootage;
// The footage a read has taken up (state lock); alive until a later read
// takes up the next scene.
Footage *g_playingFootage;
int g_frontFrame;  // which of g_frames was delivered last (state lock)

// Under the render lock.
Lock g_renderLock;
vcard::Scene g_scene;
uint8_t g_frames[2][vcard::kSceneBytes];
Footage *g_footage;
int64_t g_footageShown = -1;  // the picture number now in g_scene

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

// An auto-reset event: a signal given while nobody waits is kept for the
// next wait, so none is lost between leaving a lock and waiting.
struct Signal {
    Signal() : event(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    void Give() const { SetEvent(event.get()); }
    // With `lock` held: waits without it, at most `ms`.
    void Wait(Lock &lock, DWORD ms) const {
        LeaveCriticalSection(&lock.section);
        WaitForSingleObject(event.get(), ms);
        EnterCriticalSection(&lock.section);
    }
    guards::UniqueKernelHandle event;
};

// --- Footage: a folder of pictures played in name order ---

// A thread of its own decodes the next kReadAhead pictures into slots; the
// read that shows picture number n takes slot n % kReadAhead. Files that can
// no longer be read are dropped from the list and the next one plays.
struct Footage {
    Lock lock;
    Signal wanted;  // to the reading thread: `shown` moved on, or stop
    Signal loaded;  // to a read: a slot was filled or a file dropped
    std::vector<std::string> paths;  // guarded by `lock`, like everything below
    struct Slot {
        int64_t number = -1;  // which picture it holds; -1: none (or being read)
        vcard::Picture picture;
    } slots[kReadAhead];
    int64_t shown = 0;  // the picture the card shows now
    bool stopping = false;
    guards::UniqueKernelHandle thread;
    // The thread's hold on this DLL, so that a host unloading it while the
    // footage plays never pulls the code from under the thread.
    HMODULE module = nullptr;

    ~Footage();
};

// With the footage's lock held: the first picture of the read-ahead window
// that no slot holds yet, or -1.
int64_t NextToLoad(const Footage &footage) {
    if (footage.paths.empty()) return -1;
    for (int64_t n = footage.shown; n < footage.shown + kReadAhead; ++n)
        if (footage.slots[n % kReadAhead].number != n) return n;
    return -1;
}

DWORD WINAPI LoadAhead(LPVOID context) {
    Footage &footage = *static_cast<Footage *>(context);
    EnterCriticalSection(&footage.lock.section);
    for (;;) {
        int64_t number;
        while (!footage.stopping && (number = NextToLoad(footage)) < 0)
            footage.wanted.Wait(footage.lock, INFINITE);
        if (footage.stopping) break;
        Footage::Slot &slot = footage.slots[number % kReadAhead];
        slot.number = -1;
        const size_t entry = static_cast<size_t>(number % static_cast<int64_t>(footage.paths.size()));
        const std::string path = footage.paths[entry];
        // Decoded without the lock; no read touches a slot numbered -1.
        LeaveCriticalSection(&footage.lock.section);
        char why[256];
        const bool loaded = LoadPicture(path.c_str(), slot.picture, why, sizeof why);
        EnterCriticalSection(&footage.lock.section);
        if (loaded) {
            slot.number = number;
        } else {
            // Vanished or changed since the folder was checked: skip it. The
            // pictures after it move up, so the slots are read again.
            footage.paths.erase(footage.paths.begin() + static_cast<std::ptrdiff_t>(entry));
            for (Footage::Slot &other : footage.slots) other.number = -1;
        }
        footage.loaded.Give();
    }
    HMODULE module = footage.module;
    LeaveCriticalSection(&footage.lock.section);
    FreeLibraryAndExitThread(module, 0);
}

// Ends the reading ahead, and so closes every file of the folder; the
// pictures already read stay.
void StopLoading(Footage &footage) {
    if (!footage.thread) return;
    {
        Locked lock(&footage.lock);
        footage.stopping = true;
        footage.wanted.Give();
        footage.loaded.Give();
    }
    WaitForSingleObject(footage.thread.get(), INFINITE);
}

Footage::~Footage() {
    StopLoading(*this);
}

// Puts picture `number` into the scene, waiting a little for a late one.
// False (the scene unchanged) when it is not there in time or no file is
// left to play.
bool ShowFootagePicture(Footage &footage, int64_t number, vcard::Scene &scene) {
    Locked lock(&footage.lock);
    footage.shown = number;
    footage.wanted.Give();
    const DWORD start = GetTickCount();  // the difference survives the wrap
    const Footage::Slot &slot = footage.slots[number % kReadAhead];
    while (slot.number != number && !footage.paths.empty() && !footage.stopping) {
        const DWORD waited = GetTickCount() - start;
        if (waited >= kLateFrameWaitMs) break;
        footage.loaded.Wait(footage.lock, kLateFrameWaitMs - waited);
    }
    const bool ready = slot.number == number;
    if (ready) vcard::SetBackground(scene, &slot.picture, true);
    return ready;
}

// With the state lock held. Takes over both.
void ChangeSceneAtNextRender(vcard::Picture *picture, Footage *footage = nullptr) {
    // The footage playing lets go of its files now, not at the next read.
    if (g_playingFootage != nullptr) StopLoading(*g_playingFootage);
    g_playingFootage = nullptr;
    delete g_pendingPicture;
    delete g_pendingFootage;
    g_pendingPicture = picture;
    g_pendingFootage = footage;
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
    Footage *footage;
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
    }
    Locked renderLock(&g_renderLock);
    {
        // Taken up under the render lock, so that reads on several threads
        // apply scene changes in the order they were made.
        Locked lock;
        sceneChange = g_sceneChangePending;
        picture = g_pendingPicture;
        footage = g_pendingFootage;
        if (sceneChange) g_playingFootage = footage;
        g_sceneChangePending = false;
        g_pendingPicture = nullptr;
        g_pendingFootage = nullptr;
    }
    if (sceneChange) {
        delete g_footage;
        g_footage = footage;
        g_footageShown = -1;
        if (footage == nullptr) vcard::SetBackground(g_scene, picture);
    }
    delete picture;
    // Footage runs at the card's 25 frames a second.
    const int64_t footageNumber = (frame < 0 ? 0 : frame) / kChangesPerFrame;
    if (g_footage != nullptr && footageNumber != g_footageShown &&
        ShowFootagePicture(*g_footage, footageNumber, g_scene))
        g_footageShown = footageNumber;
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
    ChangeSceneAtNextRender(nullptr);
    // Blocked calls go at their next look.
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
        picture.reset(new (std::nothrow) vcard::Picture);
        char why[256];
        if (!picture || !LoadPicture(bmpPath, *picture, why, sizeof why)) return 0;
    }
    Locked lock;
    ChangeSceneAtNextRender(picture.release());
    return 1;
}

int32_t __stdcall VcPlayFolder(const char *folder, char *reason, int32_t reasonBytes) {
    if (reason != nullptr && reasonBytes > 0) reason[0] = '\0';
    if (folder == nullptr || folder[0] == '\0') {
        Reason(reason, reasonBytes, "no folder given%s", "");
        return 0;
    }
    const DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        Reason(reason, reasonBytes, "%s: no such folder", folder);
        return 0;
    }
    std::string prefix = folder;
    if (prefix.back() != '\\' && prefix.back() != '/') prefix += '\\';

    std::unique_ptr<Footage> footage(new (std::nothrow) Footage);
    if (!footage) {
        Reason(reason, reasonBytes, "%s: no memory for its pictures", folder);
        return 0;
    }
    WIN32_FIND_DATAA found;
    UniqueFind find(OrNull(FindFirstFileA((prefix + "*").c_str(), &found)));
    // Matched by hand: a wildcard "*.bmp" would also match names like "a.bmpx".
    for (bool more = find.valid(); more; more = FindNextFileA(find.get(), &found) != 0)
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && IsBmpName(found.cFileName))
            footage->paths.push_back(found.cFileName);
    find.reset();
    if (footage->paths.empty()) {
        Reason(reason, reasonBytes, "%s holds no .bmp file", folder);
        return 0;
    }
    std::sort(footage->paths.begin(), footage->paths.end(), NameBefore);
    // Every header up front, so that bad footage is refused before it plays.
    for (std::string &path : footage->paths) {
        path = prefix + path;
        vcard::BmpLayout layout;
        char why[256];
        if (!OpenPicture(path.c_str(), layout, why, sizeof why)) {
            Reason(reason, reasonBytes, "%s: %s", path.c_str(), why);
            return 0;
        }
    }
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(&LoadAhead), &footage->module)) {
        Reason(reason, reasonBytes, "%s: the virtual card cannot find itself", folder);
        return 0;
    }
    footage->thread.reset(CreateThread(nullptr, 0, LoadAhead, footage.get(), 0, nullptr));
    if (!footage->thread) {
        FreeLibrary(footage->module);
        Reason(reason, reasonBytes, "%s: no thread to read its pictures", folder);
        return 0;
    }
    Locked lock;
    ChangeSceneAtNextRender(nullptr, footage.release());
    return 1;
}

}  // extern "C"
