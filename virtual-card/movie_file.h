// An AVI recording played as footage: the file stays open and each frame is
// read from it as it plays, so a recording of many GB needs no more memory
// than a few pictures. A recording kept in parts (FILE.avi, FILE_002.avi,
// ...: recording_parts.h) plays as one, its parts in turn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "avi_reader.h"
#include "win32_guards.h"
#include "core/scene.h"

namespace vcard {

struct MovieFile {
    std::vector<guards::UniqueKernelHandle> parts;  // FILE.avi first
    std::vector<size_t> partStarts;                 // each part's first frame with data
    avi::Movie movie;  // the first part's format, and the steps of every part
    std::vector<uint8_t> data;    // the frame being drawn, as the file holds it
    std::vector<uint8_t> pixels;  // and its pixels, decoded or widened
};

// Opens the recording and the parts beside it, and reads their frame lists.
// False, with `why` (a sentence without the file's name), when it cannot be
// played.
bool OpenMovie(const char *path, MovieFile &file, char *why, size_t whyBytes);

// Closes its files; its format and rate stay.
void CloseMovie(MovieFile &file);

// Draws what time step `step` shows: its frame, or for a repeat the frame
// before it; for a frame that cannot be read or decoded, the last one
// before it that can; black before the first frame. False when none of
// the frames a second before it can be drawn.
bool DrawMovieStep(MovieFile &file, size_t step, Picture &out);

}  // namespace vcard
