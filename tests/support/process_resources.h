// The process's handles, GDI objects and memory, for leak checks.
#pragma once

#include <windows.h>

namespace vt {

// The process's handle count, GDI objects and private bytes, for leak checks.
struct ResourceCounts {
    DWORD handles;
    DWORD gdiObjects;
    SIZE_T privateBytes;
};
ResourceCounts CurrentResources();

}  // namespace vt
