#include "still_bmp.h"

#include "pure/color_modes.h"
#include "common/win32_guards.h"
#include "file_io.h"
#include "pure/bmp_headers.h"

namespace stillbmp {

void ExpandToBgr24(const BYTE *source, BYTE *destination, size_t pixelCount, int32_t colorMode) {
    if (colorMode == colormode::kGrey8) {
        for (size_t i = 0; i < pixelCount; ++i, destination += 3)
            destination[0] = destination[1] = destination[2] = source[i];
        return;
    }
    for (size_t i = 0; i < pixelCount; ++i, source += 2, destination += 3) {
        const unsigned word = static_cast<unsigned>(source[0]) | (static_cast<unsigned>(source[1]) << 8);
        destination[0] = Widen5To8(word & 0x1F);
        destination[1] = Widen5To8((word >> 5) & 0x1F);
        destination[2] = Widen5To8((word >> 10) & 0x1F);
    }
}

}  // namespace stillbmp

int WriteStillBmp(const char *path, const BYTE *frame, int32_t width, int32_t height,
                  int32_t colorMode) {
    // Without a frame there is nothing to save: leave any existing file alone.
    if (!frame) return 0;

    const SIZE_T pixelCount = static_cast<SIZE_T>(width) * static_cast<SIZE_T>(height);
    const SIZE_T pixelBytes = bmp::Bgr24Bytes(width, height);

    // Frames in the narrower modes are widened so that the file really is
    // what its 24-bit header says.
    const BYTE *pixels = frame;
    guards::LockedGlobalBlock widened;
    if (colorMode != colormode::kRgb24) {
        widened = guards::AllocateLockedBlock(pixelBytes);
        if (!widened) return 0;
        stillbmp::ExpandToBgr24(frame, widened.bytes(), pixelCount, colorMode);
        pixels = widened.bytes();
    }

    const BITMAPFILEHEADER fileHeader =
        bmp::FileHeader(bmp::kHeadersBytes, static_cast<DWORD>(pixelBytes));
    const BITMAPINFOHEADER infoHeader = bmp::InfoHeader(width, height, 24);

    // A read-only file stays as it is, as Windows keeps it; Wine running as
    // root would let _lcreat truncate it.
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return 0;

    guards::UniqueLFile file(_lcreat(path, 0));
    if (!file) return 0;
    const bool written = fileio::WriteAll(file.get(), &fileHeader, sizeof fileHeader) &&
                         fileio::WriteAll(file.get(), &infoHeader, sizeof infoHeader) &&
                         fileio::WriteAll(file.get(), pixels, pixelBytes);
    // A close can still report a failed flush; only a closed file counts.
    const bool closed = _lclose(file.release()) != HFILE_ERROR;
    return written && closed ? 1 : 0;
}
