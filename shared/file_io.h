// Whole reads and writes through the simple file calls.
#pragma once

#include <windows.h>

#include <cstddef>

namespace fileio {

// True only when every byte asked for was written.
inline bool WriteAll(HFILE file, const void *bytes, size_t count) {
    if (count > 0xFFFFFFFEu) return false;  // _lwrite counts in 32 bits
    const UINT asked = static_cast<UINT>(count);
    return _lwrite(file, static_cast<LPCCH>(bytes), asked) == asked;
}

// True only when every byte asked for was read.
inline bool ReadAll(HFILE file, void *bytes, size_t count) {
    if (count > 0xFFFFFFFEu) return false;
    const UINT asked = static_cast<UINT>(count);
    return _lread(file, bytes, asked) == asked;
}

}  // namespace fileio
