// Mends, in place, an AVI file that the writer (avi_writer.h) was writing
// when it was cut: killed, power lost, disk full. The segment being written
// loses the part-written chunk after its last whole frame and gets the
// standard index, super index entry, legacy index (in the first segment),
// sizes and counts that the writer would have written had it closed there;
// a segment begun with no whole frame is dropped. A file that needs nothing
// is not written to at all, and anything the writer could not have written
// is refused untouched. Writes go in the writer's order, each index flushed
// before what points at it, so a mending that is itself cut leaves a file
// that plays as well as before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "avi_reader.h"

namespace avi {

// The file being mended.
struct MendIo {
    void *file;
    ReadAt read;
    // Writes at `offset`, also past the file's end (a gap reads as zeros).
    bool (*writeAt)(void *file, uint64_t offset, const void *bytes, size_t size);
    // Makes the file `size` bytes long.
    bool (*setSize)(void *file, uint64_t size);
    // Puts what was written on the disk itself.
    bool (*flush)(void *file);
};

enum class MendStatus {
    kWhole,    // it needed nothing: left as it was
    kMended,   // its last segment was finished, or its sizes and counts put right
    kRefused,  // left untouched: not a file the writer writes, or no whole frame in it
    kFailed,   // no room for the index under the file system's largest file, or a
               // write failed; every whole frame still plays by a scan, as before
};

struct MendOutcome {
    MendStatus status = MendStatus::kRefused;
    std::string line;       // what was found and written, or why not; without the file's name
    uint64_t steps = 0;     // the time steps the file holds, repeats included
    uint32_t segments = 0;  // its RIFF segments
};

// `size` is the file's length; `largestFile` the most bytes its file system
// lets one file hold.
MendOutcome MendFile(const MendIo &io, uint64_t size, uint64_t largestFile);

}  // namespace avi
