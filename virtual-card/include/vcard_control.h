// Control interface of the virtual card, a CG400D32.dll of our own for
// developing and testing without the hardware. These functions exist only in
// the virtual card; a host never needs them. Tests and tools that use them
// link against the virtual card's import library.
#pragma once

#include <cstdint>

// The calls' convention on Windows; the constants and types alone are also
// read where there is none (the card's pure code, built natively).
#if defined(_WIN32)
#define VC_CALL __stdcall
#else
#define VC_CALL
#endif

extern "C" {

// The card calls, as they appear in the log and in the fault controls.
enum VcCall : int32_t {
    VC_BEGIN = 1,          // BeginCG400
    VC_END = 2,            // EndCG400
    VC_SET_INPUT = 3,      // CG400SetInpVideoWindow
    VC_SET_DISPLAY = 4,    // CG400SetDispWindow
    VC_SET_COLOR = 5,      // CG400SetColorSpace
    VC_SET_AD = 6,         // CG400SetADParam
    VC_STATIC_MEM = 7,     // StaticMemAlloc
    VC_SNAP = 8,           // CG400SnapOneToMem
    VC_STATUS = 9,         // CG400GetSnappingStatus
    VC_READ = 10,          // CG400ReadFromMem
    VC_CALL_COUNT = 11
};

// How CG400GetSnappingStatus moves.
enum VcStatusMode : int32_t {
    VC_STATUS_REALTIME = 0,  // PAL timing: 0 for the first field, then 2 and 0 by turns, 20 ms each
    VC_STATUS_EVERY_POLL = 1,  // a frame finishes at every poll: 2, 0, 2, 0, ...
    VC_STATUS_SCRIPT = 2,    // the scripted values, one a poll, then the last one held
    VC_STATUS_NONE = 3       // the status is never stored
};

// One logged call. args holds the call's arguments in order; pointers and
// the status stored by a poll are given as integers.
struct VcLogEntry {
    int32_t call;
    int32_t argCount;
    int64_t args[6];
    int64_t result;
    uint32_t threadId;
};

// The counts start afresh when BeginCG400 opens a closed card; a closed card's
// status no longer moves, so its frame count stands.
struct VcStats {
    int64_t framesCompleted;  // status changes the card has made since capture started
    int64_t reads;            // CG400ReadFromMem calls since the card was opened
    int64_t polls;            // CG400GetSnappingStatus calls since the card was opened
    int32_t adValues[3];      // what the card holds for selectors 1, 2 and 4
    int32_t open;             // 1 between a successful BeginCG400 and EndCG400
};

// Everything back to the defaults: BeginCG400 gives VC_DEFAULT_HANDLE, no
// faults, real-time status, A/D values 128, no block, an empty log.
void VC_CALL VcReset(void);

// What BeginCG400 returns next (a handle, or a failure value 0, 1, 2, -1).
void VC_CALL VcSetBeginResult(int32_t result);

// Makes VC_END, VC_SET_DISPLAY, VC_SET_COLOR or VC_STATIC_MEM return 0
// (failing = 1) or succeed again (failing = 0). VC_READ: every `failing`-th
// read since the card was opened returns 0 and delivers nothing (1: each).
void VC_CALL VcSetFailure(int32_t call, int32_t failing);

void VC_CALL VcSetStatusMode(int32_t mode);
// Switches to VC_STATUS_SCRIPT with these values (copied).
void VC_CALL VcScriptStatus(const uint32_t *statuses, int32_t count);

// At most this many bytes are written by each read; negative = no limit.
void VC_CALL VcSetReadLimit(int32_t bytes);

// Makes the next calls of this kind wait inside the card until released.
void VC_CALL VcBlockCall(int32_t call);
// Waits until a call of this kind is blocked; 1 when it is, 0 on time-out.
int32_t VC_CALL VcWaitBlocked(int32_t call, uint32_t timeoutMs);
// Lets blocked and future calls of this kind run.
void VC_CALL VcReleaseCall(int32_t call);

// Status polls are counted but not logged unless asked for: a running
// preview polls millions of times.
void VC_CALL VcLogPolls(int32_t enabled);
int32_t VC_CALL VcLogCount(void);
// Copies entry `index` into `entry`; 1 when it exists.
int32_t VC_CALL VcLogGet(int32_t index, VcLogEntry *entry);
void VC_CALL VcLogClear(void);

void VC_CALL VcGetStats(VcStats *stats);

// Copies the bytes of the last frame delivered by a read; returns their
// count (at most `capacity`).
int32_t VC_CALL VcCopyLastFrame(void *destination, int32_t capacity);

// Uses a 24-bit BMP file of up to 4096 x 4096 pixels as the scene instead of
// the built-in test picture: scaled to fit 768 x 576, proportions kept,
// centred on black. NULL or "" goes back to the built-in picture. 1 on success.
int32_t VC_CALL VcSetScenePicture(const char *bmpPath);

// Plays the folder's 24-bit BMP files (fitted as above, without the test
// picture's moving parts) in name order at 25 frames a second, looping,
// from the first one each time capture starts. Every file's header is
// checked here; on failure the scene stays as it was, the result is 0 and
// `reason` gets a line naming the file and what is wrong with it. A file of
// nothing but zero bytes (what a power cut leaves) is passed over instead,
// and `reason` gets a line naming it, also on success. A file that cannot
// be read once playing is skipped. The pictures are read as
// they play, a few ahead.
int32_t VC_CALL VcPlayFolder(const char *folder, char *reason, int32_t reasonBytes);

// Plays an AVI recording (as vorlane-cli records it: one video stream of
// Motion JPEG, or uncompressed 24-bit or 8-bit pictures with their palette)
// as the folder above is played: fitted the same way, looping, from its
// first frame each time capture starts, one time step at a time at the
// file's own rate. A step with no data shows the step before again (black
// before the first frame). A file cut short plays up to its last whole
// frame. The file is read as it plays, never whole. On failure the scene
// stays as it was, the result is 0 and `reason` gets one line naming the
// file and what is wrong with it.
int32_t VC_CALL VcPlayFile(const char *path, char *reason, int32_t reasonBytes);

}  // extern "C"

// The handle BeginCG400 returns after VcReset.
constexpr int32_t VC_DEFAULT_HANDLE = 0x4C00;
// The opaque tokens StaticMemAlloc hands out, checked for passing through.
constexpr uint32_t VC_MEM_PAGES = 864;  // two 768 x 576 x 4 byte slots
constexpr uint32_t VC_SNAP_TARGET = 0x5A5A0000u;
constexpr uint32_t VC_READ_SOURCE = 0x5A5B0000u;
