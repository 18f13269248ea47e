#include "still_bmp.h"

#include <algorithm>

#include "common/win32_guards.h"
#include "file_io.h"
#include "pure/bmp_headers.h"
#include "pure/color_modes.h"
#include "pure/widening.h"

namespace {

// Frames in the narrower modes are widened a piece at a time into this many
// pixels on the stack, each piece written as it fills: no second frame-sized
// block, and the piece stays in the processor's cache.
constexpr size_t kPiecePixels = 8192;

bool WritePixels(HFILE file, const BYTE *frame, size_t pixelCount, int32_t colorMode) {
    if (colorMode == colormode::kRgb24) return fileio::WriteAll(file, frame, pixelCount * 3);
    const size_t sourceBytesPerPixel = colorMode == colormode::kGrey8 ? 1 : 2;
    BYTE piece[kPiecePixels * 3];
    for (size_t done = 0; done < pixelCount;) {
        const size_t count = std::min(kPiecePixels, pixelCount - done);
        stillbmp::ExpandToBgr24(frame + done * sourceBytesPerPixel, piece, count, colorMode);
        if (!fileio::WriteAll(file, piece, count * 3)) return false;
        done += count;
    }
    return true;
}

}  // namespace

int WriteStillBmp(const char *path, const BYTE *frame, int32_t width, int32_t height,
                  int32_t colorMode) {
    // Without a frame there is nothing to save: leave any existing file alone.
    if (!frame) return 0;

    const SIZE_T pixelCount = static_cast<SIZE_T>(width) * static_cast<SIZE_T>(height);
    const SIZE_T pixelBytes = bmp::Bgr24Bytes(width, height);
    const bmp::FileHeaderFields fileHeader =
        bmp::FileHeader(bmp::kHeadersBytes, static_cast<uint32_t>(pixelBytes));
    const bmp::InfoHeaderFields infoHeader = bmp::InfoHeader(width, height, 24);

    // A read-only file stays as it is, as Windows keeps it; Wine running as
    // root would let _lcreat truncate it.
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return 0;

    guards::UniqueLFile file(_lcreat(path, 0));
    if (!file) return 0;
    // Frames in the narrower modes are widened so that the file really is
    // what its 24-bit header says.
    const bool written = fileio::WriteAll(file.get(), &fileHeader, sizeof fileHeader) &&
                         fileio::WriteAll(file.get(), &infoHeader, sizeof infoHeader) &&
                         WritePixels(file.get(), frame, pixelCount, colorMode);
    // A close can still report a failed flush; only a closed file counts.
    const bool closed = _lclose(file.release()) != HFILE_ERROR;
    return written && closed ? 1 : 0;
}
