// record FILE.avi --continue: a recording cut by a power cut or a kill goes
// on in its next part. The last part is mended first (avi_file_mend.h), the
// parts so far are counted, and FILE.txt notes the gap.
#pragma once

#include <string>
#include <vector>

#include "avi_building.h"
#include "picture_store.h"

namespace recording {

struct Continuation {
    std::vector<FilePart> parts;    // the recording's parts so far, with their steps
    std::vector<std::string> gaps;  // FILE.txt's notes of each cut, this one's last
    std::string nextPart;           // where the recording goes on
    std::string mended;             // what mending the last part found and did
    std::string report;             // FILE.txt as it was, put back if recording never starts
};

// Mends the last part of the recording `path` (FILE.avi) and fills `out`.
// `frames` is what the recording will write, which must be what its parts
// hold. "" when the recording may go on, else one line that says why not.
std::string PrepareContinuation(const std::string &path, const avi::WriterSettings &frames, Continuation &out);

// Puts FILE.txt back as it was and removes the next part.
void ReleaseContinuation(const std::string &path, const Continuation &continuation);

}  // namespace recording
