#include "bmp_folder_store.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "still_bmp.h"
#include "win32_guards.h"

namespace recording {

DWORD WriteBmpPicture(const char *path, const BYTE *bgr, int32_t width, int32_t height) {
    SetLastError(0);
    if (WriteStillBmp(path, bgr, width, height)) return 0;
    const DWORD error = GetLastError();
    return error ? error : ERROR_WRITE_FAULT;
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
    BmpFolderStore(std::string folder, FrameFormat format, int64_t mostPictures, PictureWriter writer,
                   PictureRenamer renamer)
        : folder_(std::move(folder)), format_(format), mostPictures_(mostPictures), writer_(writer),
          renamer_(renamer) {}

    bool Keep(const BYTE *frame, int64_t number, WriteFailure &failure) override {
        std::string path = folder_ + "\\" + PictureFileName(number);
        if (number > kMostPictures) {
            failure = WriteFailure{std::move(path), 0, true, ""};
            return false;
        }
        if (mostPictures_ > 0 && number > mostPictures_) {
            failure = WriteFailure{std::move(path), 0, true,
                                   "the folder takes no more files: its volume holds " +
                                       std::to_string(mostPictures_) + " pictures in one folder"};
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
    const int64_t mostPictures_;
    const PictureWriter writer_;
    const PictureRenamer renamer_;
    std::vector<BYTE> bgr_;
};

}  // namespace

std::unique_ptr<PictureStore> MakeBmpFolderStore(std::string folder, FrameFormat format, int64_t mostPictures,
                                                 PictureWriter writer, PictureRenamer renamer) {
    return std::unique_ptr<PictureStore>(
        new BmpFolderStore(std::move(folder), format, mostPictures, writer, renamer));
}

}  // namespace recording
