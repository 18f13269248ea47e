// Mends, in place, an AVI file that the recorder was writing when it was cut
// (killed, power lost, disk full): the segment being written gets its
// indexes, sizes and counts, so that players that go by the index open it.
// The file is opened for this alone, so one still being written is refused;
// a file that needs nothing is left byte for byte as it was.
#pragma once

#include <cstdint>
#include <string>

namespace recording {

enum class MendStatus {
    kWhole,    // it needed nothing: left as it was
    kMended,   // its last segment was finished, or its sizes and counts put right
    kRefused,  // left untouched: missing, open elsewhere (still being written), not a
               // file this recorder writes, or no whole frame in it
    kFailed,   // no room for the index under the file system's largest file, or a
               // write failed; every whole frame still plays by a scan, as before
};

struct MendOutcome {
    MendStatus status = MendStatus::kRefused;
    std::string line;       // what was found and written, or why not; without the file's name
    uint64_t steps = 0;     // the time steps the file holds, repeats included
    uint32_t segments = 0;  // its RIFF segments
};

MendOutcome MendAviFile(const std::string &path);

}  // namespace recording
