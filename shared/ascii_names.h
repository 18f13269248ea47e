// File and option names compared as Windows compares ASCII names: letters
// without case, every other byte as it is.
#pragma once

#include <cstring>

namespace names {

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool SameIgnoringCase(const char *a, const char *b) {
    for (; *a && *b; ++a, ++b)
        if (AsciiLower(*a) != AsciiLower(*b)) return false;
    return *a == *b;
}

// A picture of a folder: a name ending in ".bmp", matched by hand. A wildcard
// "*.bmp" would also match "a.bmpx" through its short 8.3 name.
inline bool IsBmpName(const char *name) {
    const size_t length = std::strlen(name);
    return length > 4 && SameIgnoringCase(name + length - 4, ".bmp");
}

}  // namespace names
