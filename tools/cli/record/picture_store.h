// What the recorder hands its stores: frames in the card's format, and the
// interface a store keeps them through (a folder of BMP files, an AVI file).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace recording {

// A frame as the card delivers it: bottom-up DIB rows in the colour mode's
// width (8, 16 or 24 bits).
struct FrameFormat {
    int32_t width;
    int32_t height;
    int32_t colorMode;
};
size_t FrameBytes(const FrameFormat &format);
// The frame widened to 24 bits as EasyCapture widens it, in `bgr`.
void WidenFrame(const FrameFormat &format, const BYTE *frame, std::vector<BYTE> &bgr);

// Why writing stopped early: the file that failed and its Windows error.
struct WriteFailure {
    std::string path;
    DWORD error = 0;
    bool tooMany = false;  // the numbering ran out, or the folder takes no more files, instead
    std::string reason;    // else, when no Windows error tells it: why
    bool nearlyFull = false;  // the disk had room only to close the file, which is whole
};

// One file of a recording kept in several (recording_parts.h): its name and
// its time steps, pictures and repeats alike.
struct FilePart {
    std::string name;
    int64_t steps = 0;
};

// Where the kept frames go. Called from the recorder's thread only; each
// call is false, with `failure`, when writing must stop.
class PictureStore {
public:
    virtual ~PictureStore() = default;
    // Picture `number` (from 1), as the card delivered it.
    virtual bool Keep(const BYTE *frame, int64_t number, WriteFailure &failure) = 0;
    // A time step with no new picture: the one before shows again.
    virtual bool Repeat(WriteFailure &failure) = 0;
    // Called by the clock, at least once a second: what the store holds
    // back (a file's counts) goes out. A folder's pictures are whole as
    // each is written.
    virtual bool Refresh(WriteFailure &) { return true; }
    // After the last picture.
    virtual bool Close(WriteFailure &failure) = 0;
    // The files written so far, for a store that writes files of its own.
    virtual std::vector<FilePart> Parts() const { return {}; }
};

}  // namespace recording
