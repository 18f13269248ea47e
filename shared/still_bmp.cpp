#include "still_bmp.h"

#include "win32_guards.h"
#include "file_io.h"
#include "bmp_headers.h"

int WriteStillBmp(const char *path, const BYTE *frame, int32_t width, int32_t height) {
    // Without a frame there is nothing to save: leave any existing file alone.
    if (!frame) return 0;

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
    const bool written = fileio::WriteAll(file.get(), &fileHeader, sizeof fileHeader) &&
                         fileio::WriteAll(file.get(), &infoHeader, sizeof infoHeader) &&
                         fileio::WriteAll(file.get(), frame, pixelBytes);
    // A close can still report a failed flush; only a closed file counts.
    const bool closed = _lclose(file.release()) != HFILE_ERROR;
    return written && closed ? 1 : 0;
}
