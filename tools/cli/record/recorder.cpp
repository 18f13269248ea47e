#include "recorder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "color_modes.h"

namespace recording {

Recorder::Recorder(std::unique_ptr<PictureStore> store, FrameFormat format, double rate, Pacing pacing,
                   Clock clock)
    : store_(std::move(store)), rate_(rate), pacing_(pacing), pictureBytes_(FrameBytes(format)),
      clock_(std::move(clock)), wake_(guards::CreateUnnamedEvent(false, false)) {}

Recorder::Recorder(std::string folder, int32_t width, int32_t height, double rate, PictureWriter writer,
                   PictureRenamer renamer)
    : Recorder(MakeBmpFolderStore(std::move(folder), FrameFormat{width, height, colormode::kRgb24}, 0, writer,
                                  renamer),
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
    // The steps the clock gave the writer are written: a frame read before
    // them but offered after takes the first step left.
    const int64_t step = std::max(NextStep(lastStep_, time - firstTime_, rate_), clockSteps_);
    lastStep_ = step;
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

// A frame held past its step goes to the writer, and the steps that have
// ended since become repeats: the file shows a stall as it happens.
void Recorder::ClaimStepsByClock() {
    if (!clock_ || pacing_ != Pacing::kTimeSteps) return;
    const double now = clock_();
    guards::CriticalSectionLock lock(lock_);
    if (!started_ || stopped_ || finishing_) return;
    const int64_t over = StepsOver(now - firstTime_, rate_);
    if (pending_.bytes && pending_.step < over) {
        queue_.push_back(std::move(pending_));
        pending_ = Picture{};
    }
    if (!pending_.bytes) clockSteps_ = std::max(clockSteps_, over);
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
    DWORD lastTick = GetTickCount();
    bool refreshDue = false;
    for (;;) {
        if (GetTickCount() - lastTick >= kRefreshMs) {
            lastTick = GetTickCount();
            ClaimStepsByClock();
            refreshDue = true;
        }
        Picture picture;
        int64_t number = 0;
        int64_t endStep = 0;
        int64_t clockSteps = 0;
        bool finished = false;
        {
            guards::CriticalSectionLock lock(lock_);
            if (queue_.empty()) {
                finished = finishing_;
                endStep = endStep_;
                clockSteps = clockSteps_;
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
            // Nothing queued: the repeats the clock claimed (after a first
            // frame: a file starts with one), then the counts.
            if (pacing_ == Pacing::kTimeSteps && stepsWritten_ > 0 && !WriteRepeatsUpTo(clockSteps)) return;
            WriteFailure failure;
            if (refreshDue && !store_->Refresh(failure)) {
                StopWriting(std::move(failure), 0);
                return;
            }
            refreshDue = false;
            const DWORD since = GetTickCount() - lastTick;
            WaitForSingleObject(wake_.get(), since >= kRefreshMs ? 0 : kRefreshMs - since);
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
        if (started_ && !stopped_ && !finishing_) {
            endStep_ = std::max({lastStep_ + 1, clockSteps_, StepAt(endTime - firstTime_, rate_)});
            if (pending_.bytes) Queue(std::move(pending_));
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
