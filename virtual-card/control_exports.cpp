// The control calls of vcard_control.h, with which tests and tools steer
// the card and see what was called.

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "card_state.h"
#include "footage_player.h"
#include "movie_file.h"
#include "picture_files.h"

using namespace vcard;

namespace {

bool IsCall(int32_t call) {
    return call >= VC_BEGIN && call < VC_CALL_COUNT;
}

}  // namespace

extern "C" {

void __stdcall VcReset(void) {
    ResetCard(*g_card.Lock());
}

void __stdcall VcSetBeginResult(int32_t result) {
    g_card.Lock()->state.beginResult = result;
}

void __stdcall VcSetFailure(int32_t call, int32_t failing) {
    if (IsCall(call)) g_card.Lock()->state.failing[call] = failing > 0 ? failing : 0;
}

void __stdcall VcSetStatusMode(int32_t mode) {
    if (mode >= VC_STATUS_REALTIME && mode <= VC_STATUS_NONE) RestartSequence(g_card.Lock()->state.clock, mode);
}

void __stdcall VcScriptStatus(const uint32_t *statuses, int32_t count) {
    if (statuses == nullptr || count < 0) count = 0;
    if (count > kScriptCapacity) count = kScriptCapacity;
    CardAccess card = g_card.Lock();
    if (count > 0) std::memcpy(card->script, statuses, static_cast<size_t>(count) * sizeof(uint32_t));
    card->state.scriptCount = count;
    RestartSequence(card->state.clock, VC_STATUS_SCRIPT);
}

void __stdcall VcSetReadLimit(int32_t bytes) {
    g_card.Lock()->state.readLimit = bytes;
}

void __stdcall VcBlockCall(int32_t call) {
    if (IsCall(call)) BlockCalls(*g_card.Lock(), call);
}

int32_t __stdcall VcWaitBlocked(int32_t call, uint32_t timeoutMs) {
    return IsCall(call) && WaitUntilBlocked(call, timeoutMs) ? 1 : 0;
}

void __stdcall VcReleaseCall(int32_t call) {
    if (IsCall(call)) ReleaseCalls(*g_card.Lock(), call);
}

void __stdcall VcLogPolls(int32_t enabled) {
    g_card.Lock()->state.logPolls = enabled != 0;
}

int32_t __stdcall VcLogCount(void) {
    return g_card.Lock()->state.logCount;
}

int32_t __stdcall VcLogGet(int32_t index, VcLogEntry *entry) {
    CardAccess card = g_card.Lock();
    if (entry == nullptr || index < 0 || index >= card->state.logCount) return 0;
    *entry = card->log[index];
    return 1;
}

void __stdcall VcLogClear(void) {
    g_card.Lock()->state.logCount = 0;
}

void __stdcall VcGetStats(VcStats *stats) {
    if (stats == nullptr) return;
    CardAccess card = g_card.Lock();
    stats->framesCompleted = FramesCompleted(*card);
    stats->reads = card->state.reads;
    stats->polls = card->state.polls;
    for (int i = 0; i < 3; ++i) stats->adValues[i] = card->state.ad[i];
    stats->open = card->state.open ? 1 : 0;
}

int32_t __stdcall VcCopyLastFrame(void *destination, int32_t capacity) {
    CardAccess card = g_card.Lock();
    const int32_t count = card->state.lastFrameBytes < capacity ? card->state.lastFrameBytes : capacity;
    if (count < 0 || destination == nullptr) return 0;
    std::memcpy(destination, g_frames.Front(card), static_cast<size_t>(count));
    return count;
}

int32_t __stdcall VcSetScenePicture(const char *bmpPath) {
    std::unique_ptr<Picture> picture;
    if (bmpPath != nullptr && bmpPath[0] != '\0') {
        // Read and decode outside the lock; the preview may be running.
        picture.reset(new (std::nothrow) Picture);
        char why[256];
        if (!picture || !LoadPicture(bmpPath, *picture, why, sizeof why)) return 0;
    }
    ChangeSceneAtNextRender(*g_card.Lock(), std::move(picture));
    return 1;
}

int32_t __stdcall VcPlayFolder(const char *folder, char *reason, int32_t reasonBytes) {
    if (reason != nullptr && reasonBytes > 0) reason[0] = '\0';
    std::vector<std::string> paths;
    if (!ListFolderPictures(folder, paths, reason, reasonBytes)) return 0;
    Footage *footage = StartFootage(std::move(paths), folder, reason, reasonBytes);
    if (footage == nullptr) return 0;
    ChangeSceneAtNextRender(*g_card.Lock(), nullptr, footage);
    return 1;
}

int32_t __stdcall VcPlayFile(const char *path, char *reason, int32_t reasonBytes) {
    WriteReason(reason, reasonBytes, "%s", "");
    if (path == nullptr || path[0] == '\0') {
        WriteReason(reason, reasonBytes, "no file given%s", "");
        return 0;
    }
    std::unique_ptr<MovieFile> movie(new (std::nothrow) MovieFile);
    if (!movie) {
        WriteReason(reason, reasonBytes, "%s: no memory for its frame list", path);
        return 0;
    }
    char why[256];
    if (!OpenMovie(path, *movie, why, sizeof why)) {
        WriteReason(reason, reasonBytes, "%s: %s", path, why);
        return 0;
    }
    Footage *footage = StartMovie(std::move(movie), path, reason, reasonBytes);
    if (footage == nullptr) return 0;
    ChangeSceneAtNextRender(*g_card.Lock(), nullptr, footage);
    return 1;
}

}  // extern "C"
