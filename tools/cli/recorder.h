// Saves the pictures the watch loop sees as numbered 24-bit BMP files
// (000001.bmp, ...), from a thread of its own behind a bounded queue, so that
// a slow disk never holds the watch loop up: when the queue is full, the
// picture is dropped and counted instead.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "win32_guards.h"
#include "core/record_rate.h"

namespace recording {

// Writes one picture of 24-bit rows, bottom-up, to `path`. Returns 0 when
// the whole file was written, else the Windows error.
using PictureWriter = DWORD (*)(const char *path, const BYTE *bgr, int32_t width, int32_t height);
DWORD WriteBmpPicture(const char *path, const BYTE *bgr, int32_t width, int32_t height);

// Gives a whole picture its name; MoveFileA's signature and errors.
using PictureRenamer = BOOL(WINAPI *)(const char *from, const char *to);
// A reader that has just opened the file (a virus scanner, an indexer) makes
// the rename fail for a moment: it is tried this many times, this far apart.
constexpr int kRenameAttempts = 20;
constexpr DWORD kRenameRetryMs = 50;

// 32-bit blue, green, red, unused pixels to 24-bit ones, in the same order.
void Bgrx32ToBgr24(const BYTE *bgrx, BYTE *bgr, size_t pixelCount);

// File names stay six digits long, so that name order is time order.
constexpr int64_t kMostPictures = 999999;
std::string PictureFileName(int64_t number);
// A picture is written under its name with this added, then renamed.
constexpr char kPartialSuffix[] = ".part";

// Pictures held in memory at most: this many seconds of the source's pictures.
constexpr double kQueueSeconds = 2;
constexpr double kFastestSource = 50;  // a PAL card finishes two slots a frame
constexpr int QueueCapacity(double rate) {
    const double pictures = kQueueSeconds * (rate < kFastestSource ? rate : kFastestSource);
    return pictures < 2 ? 2 : static_cast<int>(pictures + 0.999);
}

struct Counts {
    int64_t seen = 0;         // new pictures offered
    int64_t kept = 0;         // written in full
    int64_t overRate = 0;     // left out to keep to the rate
    int64_t diskBehind = 0;   // dropped: the queue was full
    int64_t notWritten = 0;   // still queued when writing had to stop
    double firstKept = 0;     // times of the first and last picture kept
    double lastKept = 0;
    double rate() const {
        return kept > 1 && lastKept > firstKept ? static_cast<double>(kept - 1) / (lastKept - firstKept)
                                                : 0;
    }
};

// Why writing stopped early: the file that failed and its Windows error.
struct WriteFailure {
    std::string path;
    DWORD error = 0;
    bool tooMany = false;  // the numbering ran out instead
};

class Recorder {
public:
    // Pictures of `width` x `height` pixels go to `folder`, at most `rate` a second.
    Recorder(std::string folder, int32_t width, int32_t height, double rate,
             PictureWriter writer = WriteBmpPicture, PictureRenamer renamer = MoveFileA);
    ~Recorder();
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    // Starts the writing thread; false when it cannot be started.
    bool Start();
    // A new picture of 32-bit rows, bottom-up, seen at `time` seconds. Only
    // copies it: never waits for the disk.
    void Offer(const BYTE *bgrx, double time);
    // True once writing has failed: the recording should end.
    bool Stopped();
    // Writes what is still queued, ends the thread and gives the figures.
    // `failure` tells why writing stopped early, if it did.
    Counts Finish(WriteFailure &failure);

private:
    struct Picture {
        std::unique_ptr<BYTE[]> bgrx;
        double time = 0;
    };
    static DWORD WINAPI ThreadMain(void *self);
    DWORD WriteWhole(const std::string &path, const BYTE *bgr) const;
    void WriteQueued();

    const std::string folder_;
    const int32_t width_;
    const int32_t height_;
    const double rate_;
    const PictureWriter writer_;
    const PictureRenamer renamer_;
    const size_t pictureBytes_;
    RateBudget budget_;

    guards::CriticalSection lock_;  // guards everything below
    std::vector<Picture> queue_;     // oldest first
    std::vector<std::unique_ptr<BYTE[]>> spare_;
    size_t buffers_ = 0;             // all taken, queued or spare
    bool finishing_ = false;
    bool stopped_ = false;
    Counts counts_;
    WriteFailure failure_;
    guards::UniqueKernelHandle wake_;  // auto-reset: a picture was queued, or finish
    guards::UniqueKernelHandle thread_;
};

}  // namespace recording
