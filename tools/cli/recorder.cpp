#include "recorder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "avi_layout.h"
#include "color_modes.h"
#include "still_bmp.h"
#include "widening.h"

namespace recording {

DWORD WriteBmpPicture(const char *path, const BYTE *bgr, int32_t width, int32_t height) {
    SetLastError(0);
    if (WriteStillBmp(path, bgr, width, height)) return 0;
    const DWORD error = GetLastError();
    return error ? error : ERROR_WRITE_FAULT;
}

size_t FrameBytes(const FrameFormat &format) {
    return static_cast<size_t>(avi::DibBytes(format.width, format.height,
                                             static_cast<uint16_t>(colormode::BitCount(format.colorMode))));
}

// Frame sizes keep every row a whole number of 32-bit words, so a frame's
// pixels follow one another without padding in every mode.
void WidenFrame(const FrameFormat &format, const BYTE *frame, std::vector<BYTE> &bgr) {
    const size_t pixels = static_cast<size_t>(format.width) * static_cast<size_t>(format.height);
    bgr.resize(pixels * 3);
    std::memcpy(bgr.data(), frame, FrameBytes(format));
    if (format.colorMode != colormode::kRgb24) widening::WidenInPlace(bgr.data(), pixels, format.colorMode);
}

std::string PictureFileName(int64_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "%06lld.bmp", static_cast<long long>(number));
    return name;
}

namespace {

// Through Windows' cache to the disk before the file takes its name: after a
// power cut a named picture holds its pixels, never the zeros of a file
// whose size was kept but whose data was not.
DWORD FlushToDisk(const std::string &path) {
    const HANDLE opened = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return GetLastError();
    const guards::UniqueKernelHandle file(opened);
    return FlushFileBuffers(file.get()) ? 0 : GetLastError();
}

class BmpFolderStore : public PictureStore {
public:
    BmpFolderStore(std::string folder, FrameFormat format, PictureWriter writer, PictureRenamer renamer)
        : folder_(std::move(folder)), format_(format), writer_(writer), renamer_(renamer) {}

    bool Keep(const BYTE *frame, int64_t number, WriteFailure &failure) override {
        std::string path = folder_ + "\\" + PictureFileName(number);
        if (number > kMostPictures) {
            failure = WriteFailure{std::move(path), 0, true, ""};
            return false;
        }
        WidenFrame(format_, frame, bgr_);
        const DWORD error = WriteWhole(path, bgr_.data());
        if (error) failure = WriteFailure{std::move(path), error, false, ""};
        return !error;
    }
    bool Repeat(WriteFailure &) override { return true; }  // a folder holds no time
    bool Close(WriteFailure &) override { return true; }

private:
    // A picture takes its name only once it is whole: a recording cut off
    // mid-write (a crash, a closed console, a power cut) leaves at most a
    // partial picture under a name that players pass over.
    DWORD WriteWhole(const std::string &path, const BYTE *bgr) const {
        const std::string partial = path + kPartialSuffix;
        DWORD error = writer_(partial.c_str(), bgr, format_.width, format_.height);
        if (!error) error = FlushToDisk(partial);
        // The wait is the writer thread's alone: the queue holds the pictures
        // meanwhile, and counts those it cannot hold.
        for (int attempt = 1; !error && !renamer_(partial.c_str(), path.c_str()); ++attempt) {
            error = GetLastError();
            if (!error) error = ERROR_WRITE_FAULT;
            if (attempt >= kRenameAttempts || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED))
                break;
            error = 0;
            Sleep(kRenameRetryMs);
        }
        if (error) DeleteFileA(partial.c_str());
        return error;
    }

    const std::string folder_;
    const FrameFormat format_;
    const PictureWriter writer_;
    const PictureRenamer renamer_;
    std::vector<BYTE> bgr_;
};

}  // namespace

std::unique_ptr<PictureStore> MakeBmpFolderStore(std::string folder, FrameFormat format, PictureWriter writer,
                                                 PictureRenamer renamer) {
    return std::unique_ptr<PictureStore>(new BmpFolderStore(std::move(folder), format, writer, renamer));
}

Recorder::Recorder(std::unique_ptr<PictureStore> store, FrameFormat format, double rate, Pacing pacing)
    : store_(std::move(store)), rate_(rate), pacing_(pacing), pictureBytes_(FrameBytes(format)),
      wake_(guards::CreateUnnamedEvent(false, false)) {}

Recorder::Recorder(std::string folder, int32_t width, int32_t height, double rate, PictureWriter writer,
                   PictureRenamer renamer)
    : Recorder(MakeBmpFolderStore(std::move(folder), FrameFormat{width, height, colormode::kRgb24}, writer, renamer),
               FrameFormat{width, height, colormode::kRgb24}, rate, Pacing::kBudget) {}

Recorder::~Recorder() {
    WriteFailure ignored;
    Finish(ignored);
}

bool Recorder::Start() {
    if (!wake_ || thread_) return false;
    thread_.reset(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
    return thread_.valid();
}

// A spare buffer, or a new one while the queue is below its size; null
// when the queue is full or memory ran out. Called with the lock held.
std::unique_ptr<BYTE[]> Recorder::TakeBuffer() {
    std::unique_ptr<BYTE[]> buffer;
    if (!spare_.empty()) {
        buffer = std::move(spare_.back());
        spare_.pop_back();
    } else if (buffers_ < static_cast<size_t>(QueueCapacity(rate_))) {
        buffer.reset(new (std::nothrow) BYTE[pictureBytes_]);
        if (buffer) ++buffers_;
    }
    return buffer;
}

// Called with the lock held.
void Recorder::Queue(Picture picture) {
    queue_.push_back(std::move(picture));
    SetEvent(wake_.get());
}

void Recorder::Offer(const BYTE *frame, double time) {
    guards::CriticalSectionLock lock(lock_);
    ++counts_.seen;
    if (stopped_ || finishing_) {
        ++counts_.notWritten;
        return;
    }
    if (pacing_ == Pacing::kBudget) {
        if (!KeepPicture(budget_, rate_, time)) {
            ++counts_.overRate;
            return;
        }
        Picture picture{TakeBuffer(), time, 0};
        if (!picture.bytes) {
            ++counts_.diskBehind;
            return;
        }
        std::memcpy(picture.bytes.get(), frame, pictureBytes_);
        Queue(std::move(picture));
        return;
    }
    if (!started_) {
        started_ = true;
        firstTime_ = time;
    }
    const int64_t step = NextStep(pending_.bytes ? pending_.step : -1, time - firstTime_, rate_);
    if (pending_.bytes && step <= pending_.step) {
        ++counts_.overRate;  // a newer frame of the same step takes its place
    } else if (pending_.bytes) {
        // The step before is over: its frame goes to the writer, or, with
        // the queue full, is dropped and the file repeats the step before it.
        std::unique_ptr<BYTE[]> next = TakeBuffer();
        if (next) {
            Queue(Picture{std::move(pending_.bytes), pending_.time, pending_.step});
            pending_.bytes = std::move(next);
        } else {
            ++counts_.diskBehind;
        }
    } else {
        pending_.bytes = TakeBuffer();
        if (!pending_.bytes) {
            ++counts_.diskBehind;
            return;
        }
    }
    std::memcpy(pending_.bytes.get(), frame, pictureBytes_);
    pending_.time = time;
    pending_.step = step;
}

bool Recorder::Stopped() {
    guards::CriticalSectionLock lock(lock_);
    return stopped_;
}

DWORD WINAPI Recorder::ThreadMain(void *self) {
    static_cast<Recorder *>(self)->WriteQueued();
    return 0;
}

// Ends the writing: the frame that failed and those queued are not kept.
void Recorder::StopWriting(WriteFailure failure, size_t lost) {
    guards::CriticalSectionLock lock(lock_);
    stopped_ = true;
    failure_ = std::move(failure);
    counts_.notWritten += static_cast<int64_t>(lost + queue_.size());
    for (Picture &left : queue_) spare_.push_back(std::move(left.bytes));
    queue_.clear();
}

// Repeats of the step before until `step` is the next to write.
bool Recorder::WriteRepeatsUpTo(int64_t step) {
    for (; stepsWritten_ < step; ++stepsWritten_) {
        WriteFailure failure;
        if (!store_->Repeat(failure)) {
            StopWriting(std::move(failure), 0);
            return false;
        }
        guards::CriticalSectionLock lock(lock_);
        ++counts_.repeats;
    }
    return true;
}

void Recorder::WriteQueued() {
    for (;;) {
        Picture picture;
        int64_t number = 0;
        int64_t endStep = 0;
        bool finished = false;
        {
            guards::CriticalSectionLock lock(lock_);
            if (queue_.empty()) {
                finished = finishing_;
                endStep = endStep_;
            } else {
                picture = std::move(queue_.front());
                queue_.erase(queue_.begin());
                number = counts_.kept + 1;
            }
        }
        if (finished) {
            WriteFailure failure;
            if (pacing_ == Pacing::kTimeSteps && !WriteRepeatsUpTo(endStep)) return;
            if (!store_->Close(failure)) StopWriting(std::move(failure), 0);
            return;
        }
        if (!picture.bytes) {
            WaitForSingleObject(wake_.get(), INFINITE);
            continue;
        }
        if (pacing_ == Pacing::kTimeSteps && !WriteRepeatsUpTo(picture.step)) {
            guards::CriticalSectionLock lock(lock_);
            ++counts_.notWritten;
            return;
        }
        WriteFailure failure;
        const bool kept = store_->Keep(picture.bytes.get(), number, failure);
        {
            guards::CriticalSectionLock lock(lock_);
            spare_.push_back(std::move(picture.bytes));
            if (kept) {
                if (counts_.kept++ == 0) counts_.firstKept = picture.time;
                counts_.lastKept = picture.time;
                stepsWritten_ = picture.step + 1;
                continue;
            }
        }
        StopWriting(std::move(failure), 1);
        return;
    }
}

Counts Recorder::Finish(WriteFailure &failure, double endTime) {
    {
        guards::CriticalSectionLock lock(lock_);
        if (pending_.bytes && !stopped_ && !finishing_) {
            endStep_ = std::max(pending_.step + 1, StepAt(endTime - firstTime_, rate_));
            Queue(std::move(pending_));
            pending_ = Picture{};
        }
        finishing_ = true;
    }
    if (thread_) {
        SetEvent(wake_.get());
        WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }
    guards::CriticalSectionLock lock(lock_);
    // Frames offered without a thread to write them were not kept.
    counts_.notWritten += static_cast<int64_t>(queue_.size()) + (pending_.bytes ? 1 : 0);
    queue_.clear();
    pending_ = Picture{};
    failure = failure_;
    return counts_;
}

}  // namespace recording
