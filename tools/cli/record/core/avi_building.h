// The bytes the AVI writer writes, built apart from the writing: the head of
// the file (headers and the first movi list's start), the headers' counts
// and a segment's indexes. Mending a cut file builds
// the same bytes, so that a mended file is the file the writer would have
// closed after the last whole frame.
#pragma once

#include <cstdint>
#include <vector>

#include "avi_layout.h"

namespace avi {

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

// Why the writer cannot write these settings, or null when it can.
const char *SettingsProblem(const WriterSettings &settings);

// The chunk id of the settings' frames.
Fourcc FrameId(Codec codec);

// What the headers count, as of the last refresh.
struct HeaderCounts {
    uint64_t firstSegmentSteps = 0;
    uint64_t steps = 0;
    uint32_t largestChunk = 0;  // the largest frame's bytes
};
MainHeader MainHeaderFor(const WriterSettings &settings, const HeaderCounts &counts);
StreamHeader StreamHeaderFor(const WriterSettings &settings, const HeaderCounts &counts);
ExtendedHeader ExtendedHeaderFor(const HeaderCounts &counts);

// The file's first bytes up to its first frame, every size that grows 0 and
// every count 0, with where the parts a writer patches lie.
struct Head {
    std::vector<uint8_t> bytes;
    uint64_t avihAt = 0, strhAt = 0, indxAt = 0, dmlhAt = 0;  // their data's offsets
    uint64_t moviAt = 0;                                       // the LIST 'movi' header
    uint64_t SuperIndexEntryAt(uint32_t segment) const {
        return indxAt + sizeof(SuperIndexHeader) + uint64_t{segment} * sizeof(SuperIndexEntry);
    }
};
// For settings SettingsProblem() accepts.
Head MakeHead(const WriterSettings &settings);

// One time step's chunk in a segment: where its header lies, and its data's
// bytes (0 for a repeat).
struct IndexEntry {
    uint64_t chunk;
    uint32_t size;
};
// The bytes of a segment's indexes: its standard index, and the legacy index
// the first segment also has.
uint64_t IndexBytes(uint64_t entries, bool firstSegment);
std::vector<uint8_t> StandardIndex(Fourcc frameId, uint64_t moviAt, const std::vector<IndexEntry> &entries);
std::vector<uint8_t> LegacyIndex(Fourcc frameId, uint64_t moviAt, const std::vector<IndexEntry> &entries);

}  // namespace avi
