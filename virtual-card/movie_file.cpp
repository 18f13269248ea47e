#include "movie_file.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/movie_frames.h"
#include "core/picture_decoding.h"
#include "jpeg_decoding.h"
#include "ascii_names.h"
#include "recording_parts.h"

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

// The part that holds frame `frame` (an index into the frames with data).
HANDLE PartHolding(const MovieFile &file, size_t frame) {
    const size_t part = static_cast<size_t>(
        std::upper_bound(file.partStarts.begin(), file.partStarts.end(), frame) - file.partStarts.begin() - 1);
    return part < file.parts.size() ? file.parts[part].get() : nullptr;
}

bool DrawMovieFrame(MovieFile &file, size_t index, Picture &out) {
    const avi::Frame &frame = file.movie.frames[index];
    if (file.movie.codec == avi::Codec::kMjpeg && frame.size > kLargestJpegBytes) return false;
    const HANDLE part = PartHolding(file, index);
    if (part == nullptr) return false;
    file.data.resize(frame.size);
    if (!ReadMovieAt(part, frame.offset, file.data.data(), frame.size)) return false;
    if (file.movie.codec == avi::Codec::kRaw)
        return DrawRawFrame(file.movie, file.data.data(), file.data.size(), out, file.pixels);
    int width = 0, height = 0;
    return DecodeJpeg(file.data.data(), file.data.size(), kMaxPictureSide, file.pixels, width, height) &&
           DrawTopDownFrame(file.pixels.data(), width, height, out);
}

// One file of the recording, its frames appended to `movie`'s.
bool OpenPart(const std::string &path, MovieFile &file, avi::Movie &movie, char *why, size_t whyBytes) {
    // Shared for writing too: a recording still being made can be played.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        std::snprintf(why, whyBytes, "cannot be opened (error %lu)", GetLastError());
        return false;
    }
    file.parts.emplace_back(handle);
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle, &size)) {
        std::snprintf(why, whyBytes, "cannot be read (error %lu)", GetLastError());
        return false;
    }
    return avi::ReadMovie(ReadMovieAt, handle, static_cast<uint64_t>(size.QuadPart), movie, why, whyBytes);
}

bool SameFormat(const avi::Movie &a, const avi::Movie &b) {
    return a.codec == b.codec && a.info.biWidth == b.info.biWidth && a.info.biHeight == b.info.biHeight &&
           a.info.biBitCount == b.info.biBitCount && a.rate == b.rate && a.scale == b.scale;
}

// The steps of a later part after those of `movie`: its runs of repeats
// counted from the steps and frames before it.
void Append(avi::Movie &movie, const avi::Movie &more) {
    for (const avi::Repeats &run : more.repeats)
        movie.repeats.push_back(avi::Repeats{movie.steps + run.firstStep, movie.frames.size() + run.framesBefore});
    movie.frames.insert(movie.frames.end(), more.frames.begin(), more.frames.end());
    movie.steps += more.steps;
}

}  // namespace

bool OpenMovie(const char *path, MovieFile &file, char *why, size_t whyBytes) {
    file.partStarts.assign(1, 0);
    if (!OpenPart(path, file, file.movie, why, whyBytes) || !CheckMovieFrames(file.movie, why, whyBytes))
        return false;
    const std::string first = path;
    if (first.size() <= 4 || !names::SameIgnoringCase(first.c_str() + first.size() - 4, ".avi")) return true;
    for (int number = 2; number <= parts::kMostParts; ++number) {
        const std::string part = parts::PartPath(first, number);
        if (GetFileAttributesA(part.c_str()) == INVALID_FILE_ATTRIBUTES) break;
        const char *name = part.c_str() + part.find_last_of("\\/") + 1;
        avi::Movie more;
        char partWhy[256];
        if (!OpenPart(part, file, more, partWhy, sizeof partWhy)) {
            std::snprintf(why, whyBytes, "its part %s: %s", name, partWhy);
            return false;
        }
        if (!SameFormat(more, file.movie)) {
            std::snprintf(why, whyBytes, "its part %s holds frames of another size, kind or rate", name);
            return false;
        }
        Append(file.movie, more);
        file.partStarts.push_back(file.movie.frames.size() - more.frames.size());
    }
    return true;
}

void CloseMovie(MovieFile &file) { file.parts.clear(); }

bool DrawMovieStep(MovieFile &file, size_t step, Picture &out) {
    // A frame that cannot be decoded shows the last one before it that can.
    int64_t shown = avi::ShownFrame(file.movie, step);
    for (int tried = 0; shown >= 0; ++tried, --shown) {
        if (tried == kFramesTriedBefore) return false;
        if (DrawMovieFrame(file, static_cast<size_t>(shown), out)) return true;
    }
    std::memset(out.bgr, 0, sizeof out.bgr);
    return true;
}

}  // namespace vcard
