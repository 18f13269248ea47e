// Turning an AVI recording's frames into the scene's pictures: which step
// the card shows at a given frame, and the fitting of decoded or raw
// frames into the frame, as footage pictures are fitted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "avi_reader.h"
#include "core/scene.h"

namespace vcard {

// Checks that the card can show the movie's frames: raw frames no larger
// than a picture file may be. False, with `why` (a sentence), when not.
bool CheckMovieFrames(const avi::Movie &movie, char *why, size_t whyBytes);

// The time step the card shows at its frame `cardFrame` (25 a second),
// counted from the first step at the file's rate, before looping.
int64_t StepAtCardFrame(const avi::Movie &movie, int64_t cardFrame);

// Draws a raw frame (`size` bytes of DIB pixels, as the movie's format
// gives them) fitted into `out`; `scratch` holds 8-bit frames widened.
// False when the bytes are not a whole frame.
bool DrawRawFrame(const avi::Movie &movie, const uint8_t *data, size_t size, Picture &out,
                  std::vector<uint8_t> &scratch);

// Draws width x height top-down B, G, R pixels (a decoded JPEG) fitted into `out`.
bool DrawTopDownFrame(const uint8_t *bgr, int width, int height, Picture &out);

}  // namespace vcard
