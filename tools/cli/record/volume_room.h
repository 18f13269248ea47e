// What the volume a recording goes to takes: the largest file and the most
// files in one folder its file system allows, and the bytes still free.
#pragma once

#include <cstdint>
#include <string>

namespace recording {

// FAT and FAT32 keep a file's size in 32 bits.
constexpr uint64_t kLargestFatFile = 0xFFFFFFFFu;
// A FAT32 folder holds 65,536 entries; a picture takes one, the one being
// written three, the figures' file and its draft five more. Room is left
// for a few files of the user's.
constexpr int64_t kMostFatFolderFiles = 65000;

struct VolumeLimits {
    uint64_t largestFile = 0;     // 0: none known
    int64_t mostFolderFiles = 0;  // 0: none known
};

// The limits of the volume `path` (a file or folder, which need not exist
// yet) lies on, by its file system's name.
VolumeLimits LimitsOf(const std::string &path);

// The bytes the volume holding `path` still takes for this user; false
// when it cannot be asked.
bool FreeBytes(const std::string &path, uint64_t &bytes);

}  // namespace recording
