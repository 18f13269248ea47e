// Saving the frame buffer as an uncompressed 24-bit BMP file.
#pragma once

#include <windows.h>

#include <cstdint>

// Writes one 24-bit frame of `width` x `height` pixels, bottom row first as
// the card delivers it, to `path`. 1 when the whole file was written and
// closed, 0 otherwise; no frame (nullptr) writes nothing.
int WriteStillBmp(const char *path, const BYTE *frame, int32_t width, int32_t height);
