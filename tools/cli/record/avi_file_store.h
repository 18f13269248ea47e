// A recording into one AVI file: the card's frames as Motion JPEG or
// uncompressed DIBs, through the AVI writer, written straight to the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "avi_writer.h"
#include "picture_store.h"

namespace recording {

// Grey frames (mode 0) stay 8-bit: a grey palette when uncompressed, a
// one-component JPEG in Motion JPEG. 16- and 15-bit frames are widened to
// 24 bits as EasyCapture widens them; 24-bit frames are kept as read.
struct AviFileSettings {
    avi::Codec codec = avi::Codec::kMjpeg;
    int quality = 90;
    uint32_t rate = 25;
    uint64_t segmentBytes = avi::kDefaultSegmentBytes;
    bool flush = true;  // false only to measure what the flushes cost
};

// Creates `path`, which must not exist yet, and writes the AVI headers.
// Null, with `failure`, when the file cannot be made.
std::unique_ptr<PictureStore> MakeAviFileStore(const std::string &path, FrameFormat format,
                                               const AviFileSettings &settings, WriteFailure &failure);

}  // namespace recording
