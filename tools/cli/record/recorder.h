// Keeps the frames the card's reader hands over, from a thread of its own
// behind a bounded queue, so that a slow disk or encoder never holds the
// reader up: when the queue is full, the frame is dropped and counted
// instead. Where they go is a PictureStore (picture_store.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bmp_folder_store.h"
#include "picture_store.h"
#include "record_rate.h"
#include "win32_guards.h"

namespace recording {

// Pictures held in memory at most: this many seconds of the source's pictures.
constexpr double kQueueSeconds = 2;
constexpr double kFastestSource = 50;  // a PAL card finishes two slots a frame
constexpr int QueueCapacity(double rate) {
    const double pictures = kQueueSeconds * (rate < kFastestSource ? rate : kFastestSource);
    return pictures < 2 ? 2 : static_cast<int>(pictures + 0.999);
}

// The writer wakes at least this often, waiting or not, and keeps time by
// the clock: a card that stalls shows as repeats in the file, and the
// store's counts are brought up to date.
constexpr DWORD kRefreshMs = 1000;
// Seconds on the timeline of the times the frames are offered at.
using Clock = std::function<double()>;

struct Counts {
    int64_t seen = 0;         // new pictures offered
    int64_t kept = 0;         // written in full
    int64_t repeats = 0;      // time steps that show the step before again
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

// How frames are chosen for --rate. A folder keeps at most the rate's worth
// (RateBudget); a file keeps time: each step of 1/rate s holds the newest
// frame of the step (NextStep), or repeats the step before.
enum class Pacing { kBudget, kTimeSteps };

class Recorder {
public:
    // With time steps, `clock` lets the writer keep time while no frame comes.
    Recorder(std::unique_ptr<PictureStore> store, FrameFormat format, double rate, Pacing pacing,
             Clock clock = nullptr);
    // 24-bit pictures of `width` x `height` pixels into `folder` as BMP files.
    Recorder(std::string folder, int32_t width, int32_t height, double rate,
             PictureWriter writer = WriteBmpPicture, PictureRenamer renamer = MoveFileA);
    ~Recorder();
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    // Starts the writing thread; false when it cannot be started.
    bool Start();
    // A new frame (FrameBytes), read at `time` seconds. Only copies it:
    // never waits for the disk.
    void Offer(const BYTE *frame, double time);
    // True once writing has failed: the recording should end.
    bool Stopped();
    // Writes what is still queued, ends the thread and gives the figures.
    // With time steps, the steps up to `endTime` are filled with repeats.
    // `failure` tells why writing stopped early, if it did.
    Counts Finish(WriteFailure &failure, double endTime = 0);
    // The files written, once finished (PictureStore::Parts).
    std::vector<FilePart> Parts() const { return store_->Parts(); }

private:
    struct Picture {
        std::unique_ptr<BYTE[]> bytes;
        double time = 0;
        int64_t step = 0;
    };
    static DWORD WINAPI ThreadMain(void *self);
    std::unique_ptr<BYTE[]> TakeBuffer();
    void Queue(Picture picture);
    bool WriteRepeatsUpTo(int64_t step);
    void ClaimStepsByClock();
    void StopWriting(WriteFailure failure, size_t lost);
    void WriteQueued();

    std::unique_ptr<PictureStore> store_;
    const double rate_;
    const Pacing pacing_;
    const size_t pictureBytes_;
    RateBudget budget_;
    const Clock clock_;

    guards::CriticalSection lock_;  // guards everything below
    // Time steps: the newest frame of the step under way, not yet queued.
    Picture pending_;
    bool started_ = false;
    double firstTime_ = 0;
    int64_t lastStep_ = -1;     // the newest frame's step
    int64_t clockSteps_ = 0;    // the steps before it are the clock's: repeats
    std::vector<Picture> queue_;     // oldest first
    std::vector<std::unique_ptr<BYTE[]>> spare_;
    size_t buffers_ = 0;             // all taken, queued or spare
    bool finishing_ = false;
    bool stopped_ = false;
    int64_t endStep_ = 0;       // time steps: the steps the file must hold
    int64_t stepsWritten_ = 0;  // the writer thread's own
    Counts counts_;
    WriteFailure failure_;
    guards::UniqueKernelHandle wake_;  // auto-reset: a picture was queued, or finish
    guards::UniqueKernelHandle thread_;
};

}  // namespace recording
