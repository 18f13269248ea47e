// Reads the frame list of an AVI file (AVI 1.0 or OpenDML) holding one
// video stream of Motion JPEG or uncompressed 8- or 24-bit DIB frames, over
// reads at offsets, so that a file of any length stays on disk. Each RIFF
// segment's frames come from its standard index when that is whole, else by
// walking its movi list, as when the index is missing or damaged: a file cut
// anywhere gives every frame written whole before the cut. The list takes
// memory only for what the file's own bytes hold, never for a count it gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "avi_layout.h"

namespace avi {

// Reads `bytes` bytes at `offset` of the file; false when it cannot.
using ReadAt = bool (*)(void *file, uint64_t offset, uint8_t *into, size_t bytes);

// A frame with data: `size` bytes at `offset`. 12 bytes, as a long
// recording holds millions.
#pragma pack(push, 4)
struct Frame {
    uint64_t offset;
    uint32_t size;
};
#pragma pack(pop)

// A run of steps with no data, each showing the frame before it again: it
// begins at step `firstStep`, after `framesBefore` frames with data, and
// lasts until the next frame with data.
struct Repeats {
    uint64_t firstStep;
    uint64_t framesBefore;
};

// Where a RIFF segment lies, and its sizes as the file gives them: 0 while
// it was being written. What mending a cut file starts from.
struct SegmentPlace {
    uint64_t riffAt = 0;       // its RIFF header
    uint64_t moviAt = 0;       // its LIST 'movi' header
    uint32_t riffSize = 0, moviSize = 0;
    uint64_t firstStep = 0;    // the steps before it
    size_t firstFrame = 0;     // the frames with data before it
};

struct Movie {
    Codec codec = Codec::kMjpeg;
    bmp::InfoHeaderFields info{};  // as 'strf' gives it: a raw frame's DIB header
    bmp::PaletteEntry palette[bmp::kGreyPaletteEntries]{};  // 8-bit frames' colours
    uint32_t paletteEntries = 0;
    uint64_t frameBytes = 0;  // a raw frame's bytes
    uint32_t rate = 0, scale = 1;  // rate / scale time steps a second
    uint64_t steps = 0;            // time steps, with data or not
    std::vector<Frame> frames;     // the frames with data, in order
    std::vector<Repeats> repeats;  // the steps without, in order
    uint32_t segments = 0;   // RIFF segments read
    bool cut = false;        // a segment ended without its sizes: the file was cut
    std::vector<SegmentPlace> places;  // each segment read
    uint64_t end = 0;        // where the last segment read ends: what follows is no segment
    uint32_t superIndexRoom = 0;   // the entries the super index has room for,
    uint32_t superIndexInUse = 0;  // and those in use; 0 when it is damaged
};

// Reads the headers and the frame list of a file of `fileSize` bytes. On a
// file that cannot be played, false, with why in `why` (one sentence without
// the file's name).
bool ReadMovie(ReadAt read, void *file, uint64_t fileSize, Movie &movie, char *why, size_t whyBytes);

// The frame (an index into `frames`) whose bytes step `step` shows: its
// own, or for a repeat the last one before it; -1 when none comes before
// or the movie has no such step. A binary search over the runs of repeats.
int64_t ShownFrame(const Movie &movie, uint64_t step);

// A file held in memory, for ReadAt's `file`.
struct MemoryFile {
    const uint8_t *bytes;
    uint64_t size;
};
bool ReadMemory(void *file, uint64_t offset, uint8_t *into, size_t bytes);

}  // namespace avi
