// Writes one OpenDML (AVI 2.0) video stream, Motion JPEG or uncompressed
// DIB frames, through a sink that appends and patches bytes: RIFF segments
// of a bounded size, each with its own standard index, the first also with
// the legacy index, and a super index in the headers.
//
// A file cut anywhere (killed, disk full, power lost) still plays: the
// sizes of the segment being written stay 0 ("to the end of the file") until
// it is closed, indexes are written before anything points at them, and the
// headers' frame counts are brought up to date once a second.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "avi_layout.h"

namespace avi {

// Where the file goes. Both calls return false unless every byte was written.
struct WriterSink {
    void *context;
    // Appends at the end of what was written so far.
    bool (*write)(void *context, const void *bytes, size_t size);
    // Overwrites bytes already written, at `offset` from the file's start;
    // the next append still goes to the end.
    bool (*writeAt)(void *context, uint64_t offset, const void *bytes, size_t size);
};

constexpr uint64_t kDefaultSegmentBytes = uint64_t{1} << 30;
constexpr uint64_t kLargestSegmentBytes = uint64_t{1} << 31;
constexpr uint32_t kLargestFrameBytes = uint32_t{1} << 30;
// At the default segment size: 4 TB in one file.
constexpr uint32_t kDefaultSuperIndexEntries = 4096;
constexpr uint32_t kLargestSuperIndexEntries = 65536;

struct WriterSettings {
    int32_t width = 0;
    int32_t height = 0;
    uint16_t bits = 24;  // raw only: 24, or 8 for grey (stored with a grey palette)
    Codec codec = Codec::kMjpeg;
    uint32_t rate = 25;  // frames a second
    uint64_t segmentBytes = kDefaultSegmentBytes;
    uint32_t superIndexEntries = kDefaultSuperIndexEntries;  // the most segments a file holds
    uint64_t fileLimit = 0;  // the largest file the volume takes; 0: no limit
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
    // Writes the last indexes and every size. After any failure the file is
    // left as it is, which plays as a cut file does.
    bool Close();
    // After a failed write: the headers' counts brought to the steps written
    // whole, patched in place, never growing the file. A file cut by its
    // volume's limit then tells readers that go by them every step it holds.
    bool SettleCounts() { return open_ && RefreshHeaders(); }

    // Why the last call failed: a sentence without the file's name.
    const char *Error() const { return error_; }
    uint64_t Steps() const { return steps_; }
    uint64_t Repeats() const { return repeats_; }
    uint32_t Segments() const { return segmentsClosed_ + (open_ ? 1u : 0u); }
    uint64_t Bytes() const { return end_; }

private:
    struct Entry {
        uint64_t chunk;  // offset of its chunk header
        uint32_t size;   // 0: a repeat
    };

    bool Fail(const char *why);
    bool Append(const void *bytes, size_t size);
    bool Patch(uint64_t offset, const void *bytes, size_t size);
    bool AddChunk(const uint8_t *bytes, uint32_t size);
    bool StartSegment();
    bool CloseSegment();
    bool RefreshHeaders();
    bool StartsSegment(uint64_t chunkBytes) const;
    uint64_t IndexBytes(uint64_t entries, bool firstSegment) const;

    WriterSink sink_{};
    WriterSettings settings_{};
    const char *error_ = nullptr;
    bool open_ = false;
    bool failed_ = false;
    Fourcc frameId_ = 0;
    uint64_t end_ = 0;           // bytes appended so far
    uint64_t avihAt_ = 0, strhAt_ = 0, indxAt_ = 0, dmlhAt_ = 0;  // their data's offsets
    uint64_t segmentAt_ = 0;     // the current segment's RIFF header
    uint64_t moviAt_ = 0;        // its LIST 'movi' header
    uint32_t segmentsClosed_ = 0;
    std::vector<Entry> entries_;  // the current segment's
    uint64_t firstSegmentSteps_ = 0;
    uint64_t steps_ = 0, repeats_ = 0;
    uint64_t stepsSinceRefresh_ = 0;
    uint32_t largestChunk_ = 0;
};

}  // namespace avi
