// Writes one OpenDML (AVI 2.0) video stream, Motion JPEG or uncompressed
// DIB frames, through a sink that appends and patches bytes: RIFF segments
// of a bounded size, each with its own standard index, the first also with
// the legacy index, and a super index in the headers.
//
// A file cut anywhere (killed, disk full, power lost) still plays: the
// sizes of the segment being written stay 0 ("to the end of the file") until
// it is closed, indexes are on the disk (flushed) before anything points at
// them, and the headers' frame counts are brought up to date, and flushed,
// once a second.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "avi_building.h"

namespace avi {

// Where the file goes. Each call returns false unless it did all it was asked.
struct WriterSink {
    void *context;
    // Appends at the end of what was written so far.
    bool (*write)(void *context, const void *bytes, size_t size);
    // Overwrites bytes already written, at `offset` from the file's start;
    // the next append still goes to the end.
    bool (*writeAt)(void *context, uint64_t offset, const void *bytes, size_t size);
    // Puts what was written on the disk itself, past the system's cache; null
    // leaves that to the system.
    bool (*flush)(void *context);
};

class Writer {
public:
    // Writes the headers. False, with Error(), when the settings cannot be
    // written or the sink fails.
    bool Open(const WriterSink &sink, const WriterSettings &settings);
    // True when a step of `size` bytes (0: a repeat) still fits in the file
    // with every index it closes with: within the file limit, and in as many
    // segments as the super index has room for. A step that does not fit is
    // refused, the file left whole to be closed; the recording goes on in a
    // file of its own.
    bool Fits(size_t size) const;
    // What the file grows by when it takes that step and is then closed.
    uint64_t GrowthToClose(size_t size) const;
    // One time step showing `bytes` (a JPEG, or a DIB of DibBytes()).
    bool AddFrame(const uint8_t *bytes, size_t size);
    // One time step with no frame kept: it shows the step before again.
    bool AddRepeat();
    // Flushes what was written, brings the headers' counts up to date and
    // flushes them: a power cut after it loses none of the steps so far. The
    // writer does it itself every `rate` steps since the last refresh; a
    // recorder calls it once a second besides, so that a stall shows in the
    // file too.
    bool Refresh();
    // Writes the last indexes and every size. After any failure the file is
    // left as it is, which plays as a cut file does.
    bool Close();
    // After a failed write: the headers' counts brought to the steps written
    // whole, patched in place, never growing the file. A file cut by its
    // volume's limit then tells readers that go by them every step it holds.
    bool SettleCounts();

    // Why the last call failed: a sentence without the file's name.
    const char *Error() const { return error_; }
    uint64_t Steps() const { return steps_; }
    uint64_t Repeats() const { return repeats_; }
    uint32_t Segments() const { return segmentsClosed_ + (open_ ? 1u : 0u); }
    uint64_t Bytes() const { return end_; }

private:
    bool Fail(const char *why);
    bool Append(const void *bytes, size_t size);
    bool Patch(uint64_t offset, const void *bytes, size_t size);
    bool AddChunk(const uint8_t *bytes, uint32_t size);
    bool Flush();
    bool StartSegment();
    bool CloseSegment();
    bool StartsSegment(uint64_t chunkBytes) const;
    bool WriteCounts();

    WriterSink sink_{};
    WriterSettings settings_{};
    const char *error_ = nullptr;
    bool open_ = false;
    bool failed_ = false;
    bool unflushed_ = false;     // written since the last flush
    Fourcc frameId_ = 0;
    uint64_t end_ = 0;           // bytes appended so far
    Head head_;                  // where the headers lie
    uint64_t segmentAt_ = 0;     // the current segment's RIFF header
    uint64_t moviAt_ = 0;        // its LIST 'movi' header
    uint32_t segmentsClosed_ = 0;
    std::vector<IndexEntry> entries_;  // the current segment's
    uint64_t firstSegmentSteps_ = 0;
    uint64_t steps_ = 0, repeats_ = 0;
    uint64_t stepsSinceRefresh_ = 0;
    uint32_t largestChunk_ = 0;
};

}  // namespace avi
