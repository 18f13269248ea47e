// Small PE images made in memory, for the readers of DLL files: the DOS
// stub's pointer, the file and optional headers, one section holding an
// export table, and where each of those lies, so a test can damage any field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vt {

struct PeImageBytes {
    std::vector<uint8_t> bytes;
    size_t fileHeader;       // machine, section count, ..., characteristics
    size_t optionalHeader;   // starts with its magic
    size_t exportEntry;      // the data directory's export RVA, then its size
    size_t sectionTable;     // the one section's 40-byte entry
    size_t exportDirectory;  // base +16, counts +20 +24, array RVAs +28 +32 +36
    uint32_t sectionRva;     // where the section's data lies in memory
    size_t sectionData;      // and in the file; it runs to the end of the file
    size_t lastName;         // the last name's first byte; its terminator ends the file

    void Put16(size_t at, uint16_t value);
    void Put32(size_t at, uint32_t value);
};

// A DLL for i386 (or AMD64) exporting `names` in order, at ordinals from
// `base` on, each to a function of its own.
PeImageBytes MakePeDll(bool is64, const std::vector<std::string> &names, uint32_t base);

}  // namespace vt
