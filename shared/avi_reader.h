// Reads the frame list of an AVI file (AVI 1.0 or OpenDML) holding one
// video stream of Motion JPEG or uncompressed 8- or 24-bit DIB frames, over
// reads at offsets, so that a file of any length stays on disk. Each RIFF
// segment's frames come from its standard index when that is whole, else by
// walking its movi list: a file cut anywhere gives every frame written
// whole before the cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "avi_layout.h"

namespace avi {

// Reads `bytes` bytes at `offset` of the file; false when it cannot.
using ReadAt = bool (*)(void *file, uint64_t offset, uint8_t *into, size_t bytes);

// One time step: `size` bytes of frame data at `offset`, or none (size 0),
// which shows the step before again.
struct Frame {
    uint64_t offset;
    uint32_t size;
};

// Where a RIFF segment lies, and its sizes as the file gives them: 0 while
// it was being written. What mending a cut file starts from.
struct SegmentPlace {
    uint64_t riffAt = 0;       // its RIFF header
    uint64_t moviAt = 0;       // its LIST 'movi' header
    uint32_t riffSize = 0, moviSize = 0;
    size_t firstFrame = 0;     // its first time step in Movie::frames
};

struct Movie {
    Codec codec = Codec::kMjpeg;
    bmp::InfoHeaderFields info{};  // as 'strf' gives it: a raw frame's DIB header
    bmp::PaletteEntry palette[bmp::kGreyPaletteEntries]{};  // 8-bit frames' colours
    uint32_t paletteEntries = 0;
    uint64_t frameBytes = 0;  // a raw frame's bytes
    uint32_t rate = 0, scale = 1;  // rate / scale frames a second
    std::vector<Frame> frames;
    uint32_t segments = 0;   // RIFF segments read
    bool cut = false;        // a segment ended without its sizes: the file was cut
    std::vector<SegmentPlace> places;  // each segment read
    uint64_t end = 0;        // where the last segment read ends: what follows is no segment
    uint32_t superIndexRoom = 0;       // the entries the super index has room for
    std::vector<SuperIndexEntry> superIndex;  // those in use
};

// Reads the headers and the frame list of a file of `fileSize` bytes. On a
// file that cannot be played, false, with why in `why` (one sentence without
// the file's name).
bool ReadMovie(ReadAt read, void *file, uint64_t fileSize, Movie &movie, char *why, size_t whyBytes);

// The frame whose bytes step `step` shows: itself, or for a repeat the last
// frame with data before it; -1 when none comes before.
int64_t ShownFrame(const Movie &movie, size_t step);

// A file held in memory, for ReadAt's `file`.
struct MemoryFile {
    const uint8_t *bytes;
    uint64_t size;
};
bool ReadMemory(void *file, uint64_t offset, uint8_t *into, size_t bytes);

}  // namespace avi
