#include "footage_player.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "core/movie_frames.h"
#include "guarded.h"
#include "movie_file.h"
#include "win32_guards.h"
#include "picture_files.h"

namespace vcard {

namespace {

// Pictures decoded ahead of the one shown, and how long a read waits for a
// late one before showing the last picture again.
constexpr int kReadAhead = 8;
constexpr DWORD kLateFrameWaitMs = 2000;

// What the reading thread and the reads share. The read that shows picture
// number n takes slot n % kReadAhead.
struct ReadAhead {
    std::vector<std::string> paths;
    size_t entries = 0;  // the folder's files, or the recording's time steps
    struct Slot {
        int64_t number = -1;  // which picture it holds; -1: none (or being read)
        bool drawn = false;   // false: a frame that could not be decoded, shown as the one before
    } slots[kReadAhead];
    int64_t shown = 0;  // the picture the card shows now
    bool stopping = false;
};

// The first picture of the read-ahead window that no slot holds yet, or -1.
int64_t NextToLoad(const ReadAhead &queue) {
    if (queue.entries == 0) return -1;
    for (int64_t n = queue.shown; n < queue.shown + kReadAhead; ++n)
        if (queue.slots[n % kReadAhead].number != n) return n;
    return -1;
}

}  // namespace

struct Footage {
    Guarded<ReadAhead> queue;
    // The recording played, or none for a folder: its file and frames are
    // the reading thread's alone once it runs; its rate never changes.
    std::unique_ptr<MovieFile> movie;
    // Slot i's picture: the reading thread's alone while the slot's number
    // is -1, only read by the reads otherwise.
    Picture pictures[kReadAhead];
    // Auto-reset: a signal given while nobody waits is kept for the next
    // wait, so none is lost between letting go of the lock and waiting.
    guards::UniqueKernelHandle wanted = guards::CreateUnnamedEvent(false, false);  // `shown` moved on, or stop
    guards::UniqueKernelHandle loaded = guards::CreateUnnamedEvent(false, false);  // a slot filled or a file dropped
    guards::UniqueKernelHandle thread;
    // The thread's hold on this DLL, so that a host unloading it while the
    // footage plays never pulls the code from under the thread. Set before
    // the thread starts.
    HMODULE module = nullptr;

    ~Footage() { StopLoading(*this); }
};

namespace {

DWORD WINAPI LoadAhead(LPVOID context) {
    Footage &footage = *static_cast<Footage *>(context);
    const HMODULE module = footage.module;
    {
        auto queue = footage.queue.Lock();
        for (;;) {
            int64_t number;
            while (!queue->stopping && (number = NextToLoad(*queue)) < 0)
                queue.WaitUnlocked(footage.wanted.get(), INFINITE);
            if (queue->stopping) break;
            const int slot = static_cast<int>(number % kReadAhead);
            queue->slots[slot].number = -1;
            const size_t entry = static_cast<size_t>(number % static_cast<int64_t>(queue->entries));
            const std::string path = footage.movie ? std::string() : queue->paths[entry];
            bool loaded = false;
            queue.RunUnlocked([&] {
                char why[256];
                loaded = footage.movie ? DrawMovieStep(*footage.movie, entry, footage.pictures[slot])
                                       : LoadPicture(path.c_str(), footage.pictures[slot], why, sizeof why);
            });
            if (loaded || footage.movie) {
                // A recording's steps keep their times: a step that cannot
                // be drawn at all leaves the picture on show as it is.
                queue->slots[slot].number = number;
                queue->slots[slot].drawn = loaded;
            } else {
                // Vanished or changed since the folder was checked: skip it. The
                // pictures after it move up, so the slots are read again.
                queue->paths.erase(queue->paths.begin() + static_cast<std::ptrdiff_t>(entry));
                --queue->entries;
                for (ReadAhead::Slot &other : queue->slots) other.number = -1;
            }
            SetEvent(footage.loaded.get());
        }
    }
    FreeLibraryAndExitThread(module, 0);
}

// Starts the reading thread of footage whose files are set.
Footage *StartReading(std::unique_ptr<Footage> footage, const char *folder, char *reason, int32_t reasonBytes) {
    guards::UniqueModule selfReference =
        guards::ReferenceModuleAt(reinterpret_cast<const void *>(&LoadAhead));
    if (!selfReference) {
        WriteReason(reason, reasonBytes, "%s: the virtual card cannot find itself", folder);
        return nullptr;
    }
    footage->module = selfReference.get();
    footage->thread.reset(CreateThread(nullptr, 0, LoadAhead, footage.get(), 0, nullptr));
    if (!footage->thread) {
        WriteReason(reason, reasonBytes, "%s: no thread to read its pictures", folder);
        return nullptr;
    }
    selfReference.release();  // the thread lets go of it as it ends
    return footage.release();
}

}  // namespace

Footage *StartFootage(std::vector<std::string> paths, const char *folder, char *reason,
                      int32_t reasonBytes) {
    std::unique_ptr<Footage> footage(new (std::nothrow) Footage);
    if (!footage) {
        WriteReason(reason, reasonBytes, "%s: no memory for its pictures", folder);
        return nullptr;
    }
    {
        auto queue = footage->queue.Lock();
        queue->entries = paths.size();
        queue->paths = std::move(paths);
    }
    return StartReading(std::move(footage), folder, reason, reasonBytes);
}

Footage *StartMovie(std::unique_ptr<MovieFile> movie, const char *path, char *reason, int32_t reasonBytes) {
    std::unique_ptr<Footage> footage(new (std::nothrow) Footage);
    if (!footage) {
        WriteReason(reason, reasonBytes, "%s: no memory for its pictures", path);
        return nullptr;
    }
    footage->queue.Lock()->entries = static_cast<size_t>(std::min<uint64_t>(movie->movie.steps, SIZE_MAX));
    footage->movie = std::move(movie);
    return StartReading(std::move(footage), path, reason, reasonBytes);
}

int64_t FootageNumber(const Footage &footage, int64_t cardFrame) {
    return footage.movie ? StepAtCardFrame(footage.movie->movie, cardFrame) : cardFrame;
}

void StopLoading(Footage &footage) {
    if (!footage.thread) return;
    {
        auto queue = footage.queue.Lock();
        queue->stopping = true;
        SetEvent(footage.wanted.get());
        SetEvent(footage.loaded.get());
    }
    WaitForSingleObject(footage.thread.get(), INFINITE);
    // The renderer still reads the recording's rate: only its file goes.
    if (footage.movie) CloseMovie(*footage.movie);
}

void DeleteFootage(Footage *footage) {
    delete footage;
}

bool ShowFootagePicture(Footage &footage, int64_t number, Scene &scene) {
    auto queue = footage.queue.Lock();
    queue->shown = number;
    SetEvent(footage.wanted.get());
    const DWORD start = GetTickCount();  // the difference survives the wrap
    const int slot = static_cast<int>(number % kReadAhead);
    while (queue->slots[slot].number != number && queue->entries != 0 && !queue->stopping) {
        const DWORD waited = GetTickCount() - start;
        if (waited >= kLateFrameWaitMs) break;
        queue.WaitUnlocked(footage.loaded.get(), kLateFrameWaitMs - waited);
    }
    const bool ready = queue->slots[slot].number == number;
    if (ready && queue->slots[slot].drawn) SetBackground(scene, &footage.pictures[slot], true);
    return ready;
}

}  // namespace vcard
