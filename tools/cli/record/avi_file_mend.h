// Mends, in place, an AVI file that the recorder was writing when it was cut
// (killed, power lost, disk full): the segment being written gets its
// indexes, sizes and counts, so that players that go by the index open it.
// The file is opened for this alone, so one still being written is refused;
// a file that needs nothing is left byte for byte as it was.
#pragma once

#include <string>

#include "avi_mend.h"

namespace recording {

using avi::MendOutcome;
using avi::MendStatus;

// kRefused also when the file is missing or open elsewhere (still being
// written). The line names neither the file nor the command.
MendOutcome MendAviFile(const std::string &path);

}  // namespace recording
