// AVI files edited in place, and damage to a recording's indexes alone,
// after which every step must still play (the frames are walked instead):
// rows for the virtual card's playback test and the fuzz seeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "avi_layout.h"

namespace avi_edit {

using Bytes = std::vector<uint8_t>;

// Where `fourcc` first occurs from `from`; the file's size when nowhere.
inline size_t Find(const Bytes &file, const char (&fourcc)[5], size_t from = 0) {
    for (size_t i = from; i + 4 <= file.size(); ++i)
        if (std::memcmp(&file[i], fourcc, 4) == 0) return i;
    return file.size();
}

// Writes `value` at `at`; nothing where it does not fit.
template <typename T>
void Put(Bytes &file, size_t at, T value) {
    if (at <= file.size() && sizeof value <= file.size() - at) std::memcpy(&file[at], &value, sizeof value);
}

// The first segment's standard index chunk.
inline size_t Ix00(const Bytes &f) { return Find(f, "ix00", Find(f, "movi")); }

struct IndexDamage {
    const char *name;
    void (*damage)(Bytes &file);
};

inline const IndexDamage kIndexDamage[] = {
    {"super index entries of 3 longs", [](Bytes &f) { Put<uint16_t>(f, Find(f, "indx") + 8, 3); }},
    {"standard index's second entry pointing at no frame",
     [](Bytes &f) {
         const size_t first = Ix00(f) + sizeof(avi::ChunkHeader) + sizeof(avi::StandardIndexHeader);
         Put(f, first + sizeof(avi::StandardIndexEntry), avi::StandardIndexEntry{0x40, 0});
     }},
    {"standard index chunk running past its list", [](Bytes &f) { Put<uint32_t>(f, Ix00(f) + 4, 0x7FFFFFF0); }},
    // The list's last 4 bytes and the legacy index after them then read as
    // a standard index of 100 million entries.
    {"super index entry pointing 4 bytes before the end of the movi list",
     [](Bytes &f) {
         const size_t index = Find(f, "idx1") - 4;
         Put(f, Find(f, "indx") + 8 + sizeof(avi::SuperIndexHeader), avi::SuperIndexEntry{index, 4, 0});
         Put(f, index + sizeof(avi::ChunkHeader),
             avi::StandardIndexHeader{2, 0, avi::kIndexOfChunks, 100000000, 0, 0, 0});
     }},
};

}  // namespace avi_edit
