// Mends, in place, an AVI file that the recorder was writing when it was cut
// (killed, power lost, disk full): the segment being written gets its
// indexes, sizes and counts, so that players that go by the index open it.
// The file is opened for this alone, so one still being written is refused;
// a file that needs nothing is left byte for byte as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "avi_mend.h"

namespace recording {

using avi::MendOutcome;
using avi::MendStatus;

// Reads at an offset from a Windows file (`file`, its HANDLE) without moving
// its file pointer, for avi::ReadMovie and the mend: headers, indexes and
// chunk headers, far below 4 GB each.
bool ReadAviFileAt(void *file, uint64_t offset, uint8_t *into, size_t bytes);

// kRefused also when the file is missing or open elsewhere (still being
// written). The line names neither the file nor the command.
MendOutcome MendAviFile(const std::string &path);

}  // namespace recording
