#include "movie_file.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "core/movie_frames.h"
#include "core/picture_decoding.h"
#include "jpeg_decoding.h"

namespace vcard {

namespace {

// Far above any JPEG of a 4096 x 4096 picture; a larger size is a damaged index.
constexpr uint32_t kLargestJpegBytes = 64u << 20;
// Frames before one that cannot be decoded tried in its place: a second's.
constexpr int kFramesTriedBefore = 25;

// Reads at an offset without moving a shared file pointer.
bool ReadMovieAt(void *context, uint64_t offset, uint8_t *into, size_t bytes) {
    const HANDLE handle = static_cast<HANDLE>(context);
    while (bytes > 0) {
        const DWORD asked = bytes > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes);
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!ReadFile(handle, into, asked, &got, &at) || got == 0) return false;
        into += got;
        offset += got;
        bytes -= got;
    }
    return true;
}

bool DrawMovieFrame(MovieFile &file, const avi::Frame &frame, Picture &out) {
    if (file.movie.codec == avi::Codec::kMjpeg && frame.size > kLargestJpegBytes) return false;
    file.data.resize(frame.size);
    if (!ReadMovieAt(file.handle.get(), frame.offset, file.data.data(), frame.size)) return false;
    if (file.movie.codec == avi::Codec::kRaw)
        return DrawRawFrame(file.movie, file.data.data(), file.data.size(), out, file.pixels);
    int width = 0, height = 0;
    return DecodeJpeg(file.data.data(), file.data.size(), kMaxPictureSide, file.pixels, width, height) &&
           DrawTopDownFrame(file.pixels.data(), width, height, out);
}

}  // namespace

bool OpenMovie(const char *path, MovieFile &file, char *why, size_t whyBytes) {
    // Shared for writing too: a recording still being made can be played.
    const HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        std::snprintf(why, whyBytes, "cannot be opened (error %lu)", GetLastError());
        return false;
    }
    file.handle.reset(handle);
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle, &size)) {
        std::snprintf(why, whyBytes, "cannot be read (error %lu)", GetLastError());
        return false;
    }
    return avi::ReadMovie(ReadMovieAt, handle, static_cast<uint64_t>(size.QuadPart), file.movie, why, whyBytes) &&
           CheckMovieFrames(file.movie, why, whyBytes);
}

bool DrawMovieStep(MovieFile &file, size_t step, Picture &out) {
    // A frame that cannot be decoded shows the last one before it that can.
    int64_t shown = avi::ShownFrame(file.movie, step);
    for (int tried = 0; shown >= 0; ++tried, --shown) {
        if (tried == kFramesTriedBefore) return false;
        if (DrawMovieFrame(file, file.movie.frames[static_cast<size_t>(shown)], out)) return true;
    }
    std::memset(out.bgr, 0, sizeof out.bgr);
    return true;
}

}  // namespace vcard
