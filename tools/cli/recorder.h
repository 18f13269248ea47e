// Keeps the frames the card's reader hands over, from a thread of its own
// behind a bounded queue, so that a slow disk or encoder never holds the
// reader up: when the queue is full, the frame is dropped and counted
// instead. Where they go is a PictureStore: numbered 24-bit BMP files
// (000001.bmp, ...) in a folder, or one AVI file.
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

// A frame as the card delivers it: bottom-up DIB rows in the colour mode's
// width (8, 16 or 24 bits).
struct FrameFormat {
    int32_t width;
    int32_t height;
    int32_t colorMode;
};
size_t FrameBytes(const FrameFormat &format);
// The frame widened to 24 bits as EasyCapture widens it, in `bgr`.
void WidenFrame(const FrameFormat &format, const BYTE *frame, std::vector<BYTE> &bgr);

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

// Why writing stopped early: the file that failed and its Windows error.
struct WriteFailure {
    std::string path;
    DWORD error = 0;
    bool tooMany = false;  // the numbering ran out instead
    std::string reason;    // else, when no Windows error tells it: why
};

// Where the kept frames go. Called from the recorder's thread only; each
// call is false, with `failure`, when writing must stop.
class PictureStore {
public:
    virtual ~PictureStore() = default;
    // Picture `number` (from 1), as the card delivered it.
    virtual bool Keep(const BYTE *frame, int64_t number, WriteFailure &failure) = 0;
    // A time step with no new picture: the one before shows again.
    virtual bool Repeat(WriteFailure &failure) = 0;
    // After the last picture.
    virtual bool Close(WriteFailure &failure) = 0;
};

std::unique_ptr<PictureStore> MakeBmpFolderStore(std::string folder, FrameFormat format,
                                                 PictureWriter writer = WriteBmpPicture,
                                                 PictureRenamer renamer = MoveFileA);

// How frames are chosen for --rate. A folder keeps at most the rate's worth
// (RateBudget); a file keeps time: each step of 1/rate s holds the newest
// frame of the step (NextStep), or repeats the step before.
enum class Pacing { kBudget, kTimeSteps };

class Recorder {
public:
    Recorder(std::unique_ptr<PictureStore> store, FrameFormat format, double rate, Pacing pacing);
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
    void StopWriting(WriteFailure failure, size_t lost);
    void WriteQueued();

    std::unique_ptr<PictureStore> store_;
    const double rate_;
    const Pacing pacing_;
    const size_t pictureBytes_;
    RateBudget budget_;
    // Time steps: the newest frame of the step under way, not yet queued.
    Picture pending_;
    bool started_ = false;
    double firstTime_ = 0;

    guards::CriticalSection lock_;  // guards everything below
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
