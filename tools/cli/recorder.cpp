#include "recorder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "still_bmp.h"

namespace recording {

DWORD WriteBmpPicture(const char *path, const BYTE *bgr, int32_t width, int32_t height) {
    SetLastError(0);
    if (WriteStillBmp(path, bgr, width, height)) return 0;
    const DWORD error = GetLastError();
    return error ? error : ERROR_WRITE_FAULT;
}

void Bgrx32ToBgr24(const BYTE *bgrx, BYTE *bgr, size_t pixelCount) {
    for (size_t i = 0; i < pixelCount; ++i, bgrx += 4, bgr += 3) {
        bgr[0] = bgrx[0];
        bgr[1] = bgrx[1];
        bgr[2] = bgrx[2];
    }
}

std::string PictureFileName(int64_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "%06lld.bmp", static_cast<long long>(number));
    return name;
}

Recorder::Recorder(std::string folder, int32_t width, int32_t height, double rate,
                   PictureWriter writer, PictureRenamer renamer)
    : folder_(std::move(folder)), width_(width), height_(height), rate_(rate), writer_(writer),
      renamer_(renamer),
      pictureBytes_(static_cast<size_t>(width) * static_cast<size_t>(height) * 4),
      wake_(guards::CreateUnnamedEvent(false, false)) {}

Recorder::~Recorder() {
    WriteFailure ignored;
    Finish(ignored);
}

bool Recorder::Start() {
    if (!wake_ || thread_) return false;
    thread_.reset(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
    return thread_.valid();
}

void Recorder::Offer(const BYTE *bgrx, double time) {
    std::unique_ptr<BYTE[]> buffer;
    {
        guards::CriticalSectionLock lock(lock_);
        ++counts_.seen;
        if (stopped_ || finishing_) {
            ++counts_.notWritten;
            return;
        }
        if (!KeepPicture(budget_, rate_, time)) {
            ++counts_.overRate;
            return;
        }
        if (!spare_.empty()) {
            buffer = std::move(spare_.back());
            spare_.pop_back();
        } else if (buffers_ < static_cast<size_t>(QueueCapacity(rate_))) {
            ++buffers_;  // counted now, made outside the lock
        } else {
            ++counts_.diskBehind;
            return;
        }
    }
    if (!buffer) buffer.reset(new (std::nothrow) BYTE[pictureBytes_]);
    if (buffer) std::memcpy(buffer.get(), bgrx, pictureBytes_);
    guards::CriticalSectionLock lock(lock_);
    if (!buffer) {
        --buffers_;
        ++counts_.diskBehind;  // no memory to hold it until the disk takes it
        return;
    }
    queue_.push_back(Picture{std::move(buffer), time});
    SetEvent(wake_.get());
}

bool Recorder::Stopped() {
    guards::CriticalSectionLock lock(lock_);
    return stopped_;
}

DWORD WINAPI Recorder::ThreadMain(void *self) {
    static_cast<Recorder *>(self)->WriteQueued();
    return 0;
}

// Through Windows' cache to the disk before the file takes its name: after a
// power cut a named picture holds its pixels, never the zeros of a file
// whose size was kept but whose data was not.
static DWORD FlushToDisk(const std::string &path) {
    const HANDLE opened = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return GetLastError();
    const guards::UniqueKernelHandle file(opened);
    return FlushFileBuffers(file.get()) ? 0 : GetLastError();
}

// A picture takes its name only once it is whole: a recording cut off
// mid-write (a crash, a closed console, a power cut) leaves at most a
// partial picture under a name that players pass over.
DWORD Recorder::WriteWhole(const std::string &path, const BYTE *bgr) const {
    const std::string partial = path + kPartialSuffix;
    DWORD error = writer_(partial.c_str(), bgr, width_, height_);
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

void Recorder::WriteQueued() {
    const size_t pixelCount = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    std::vector<BYTE> bgr(pixelCount * 3);
    for (;;) {
        Picture picture;
        int64_t number = 0;
        {
            guards::CriticalSectionLock lock(lock_);
            if (queue_.empty()) {
                if (finishing_) return;
            } else {
                picture = std::move(queue_.front());
                queue_.erase(queue_.begin());
                number = counts_.kept + 1;
            }
        }
        if (!picture.bgrx) {
            WaitForSingleObject(wake_.get(), INFINITE);
            continue;
        }
        Bgrx32ToBgr24(picture.bgrx.get(), bgr.data(), pixelCount);
        std::string path = folder_ + "\\" + PictureFileName(number);
        const bool tooMany = number > kMostPictures;
        const DWORD error = tooMany ? 0 : WriteWhole(path, bgr.data());

        guards::CriticalSectionLock lock(lock_);
        spare_.push_back(std::move(picture.bgrx));
        if (!error && !tooMany) {
            if (counts_.kept++ == 0) counts_.firstKept = picture.time;
            counts_.lastKept = picture.time;
            continue;
        }
        stopped_ = true;
        failure_ = WriteFailure{std::move(path), error, tooMany};
        counts_.notWritten += 1 + static_cast<int64_t>(queue_.size());
        for (Picture &left : queue_) spare_.push_back(std::move(left.bgrx));
        queue_.clear();
        return;
    }
}

Counts Recorder::Finish(WriteFailure &failure) {
    {
        guards::CriticalSectionLock lock(lock_);
        finishing_ = true;
    }
    if (thread_) {
        SetEvent(wake_.get());
        WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }
    guards::CriticalSectionLock lock(lock_);
    // Pictures offered without a thread to write them were not kept.
    counts_.notWritten += static_cast<int64_t>(queue_.size());
    queue_.clear();
    failure = failure_;
    return counts_;
}

}  // namespace recording
