// A recording into an AVI file: the card's frames as Motion JPEG or
// uncompressed DIBs, through the AVI writer, written straight to the file.
// Where the volume takes files of a bounded size, the recording goes on in
// parts (recording_parts.h), each closed whole before the next begins; where
// the disk fills, the file is closed whole while there is room for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "avi_writer.h"
#include "picture_store.h"

namespace recording {

constexpr uint64_t kAskTheVolume = UINT64_MAX;

// Grey frames (mode 0) stay 8-bit: a grey palette when uncompressed, a
// one-component JPEG in Motion JPEG. 16- and 15-bit frames are widened to
// 24 bits as EasyCapture widens them; 24-bit frames are kept as read.
struct AviFileSettings {
    avi::Codec codec = avi::Codec::kMjpeg;
    int quality = 90;
    uint32_t rate = 25;
    uint64_t segmentBytes = avi::kDefaultSegmentBytes;
    uint64_t fileLimit = 0;                 // the largest file; 0: as the volume says
    uint64_t freeBytes = kAskTheVolume;     // else the room the volume had at the start
    std::vector<FilePart> partsBefore;      // a recording that goes on: its parts so far
    std::vector<std::string> gaps;          // and FILE.txt's notes of its cuts
    bool flush = true;  // false only to measure what the flushes cost
};

// Room kept beyond the file's own indexes and sizes: the figures' file, its
// draft, and the volume's rounding of files to whole clusters.
constexpr uint64_t kRoomToCloseBytes = uint64_t{1} << 20;

// What the writer is given for `format` and `settings`.
avi::WriterSettings WriterSettingsFor(FrameFormat format, const AviFileSettings &settings);

// Creates the recording's first part `path` (or the part after
// `partsBefore`), which must not exist yet, and writes the AVI headers.
// Null, with `failure`, when it cannot be made.
std::unique_ptr<PictureStore> MakeAviFileStore(const std::string &path, FrameFormat format,
                                               const AviFileSettings &settings, WriteFailure &failure);

}  // namespace recording
