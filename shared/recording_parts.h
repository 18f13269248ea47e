// The names of a recording's parts: a volume that takes files of a bounded
// size (FAT32: 4 GB less a byte) gets the recording in several files beside
// one another, FILE.avi, then FILE_002.avi, FILE_003.avi, ... Zero-padded so
// that name order is recording order, and never ".part", which marks a
// picture still being written. vorlane-cli writes the parts and refuses to
// overwrite any of them; the virtual card plays them in turn.
#pragma once

#include <cstdio>
#include <string>

#include "ascii_names.h"

namespace parts {

constexpr int kMostParts = 999;  // three digits keep name order
constexpr size_t kNumberDigits = 3;

// Part `number` (1 to kMostParts) of the recording whose first part is
// `firstPath`, a name ending in ".avi": part 1 is `firstPath` itself.
inline std::string PartPath(const std::string &firstPath, int number) {
    if (number <= 1 || firstPath.size() < 4) return firstPath;
    const size_t stem = firstPath.size() - 4;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%0*d", static_cast<int>(kNumberDigits), number);
    return firstPath.substr(0, stem) + suffix + firstPath.substr(stem);
}

// Which part of that recording `path` names (1 to kMostParts), its letters
// compared without case as Windows compares names; 0 when none. Both are
// spelled alike (both full paths, or both bare names).
inline int PartNumber(const std::string &path, const std::string &firstPath) {
    if (firstPath.size() < 4) return 0;
    if (names::SameIgnoringCase(path.c_str(), firstPath.c_str())) return 1;
    const size_t stem = firstPath.size() - 4;
    if (path.size() != firstPath.size() + 1 + kNumberDigits ||
        !names::SameIgnoringCase(path.substr(0, stem).c_str(), firstPath.substr(0, stem).c_str()) ||
        path[stem] != '_' || !names::SameIgnoringCase(path.c_str() + path.size() - 4, firstPath.c_str() + stem))
        return 0;
    int number = 0;
    for (size_t i = stem + 1; i < stem + 1 + kNumberDigits; ++i) {
        if (path[i] < '0' || path[i] > '9') return 0;
        number = number * 10 + (path[i] - '0');
    }
    // FILE_001.avi is no part: the first has the name given.
    return number >= 2 ? number : 0;
}

}  // namespace parts
