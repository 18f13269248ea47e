// What vorlane-cli reads from a DLL's file before it lets Windows load it:
// the machine it was built for and its export table. Pure functions over the
// file's bytes, so a damaged file gives a reason, never a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pe {

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;

struct Export {
    std::string name;
    uint32_t ordinal;
};

struct Image {
    uint16_t machine = 0;
    bool isDll = false;
    std::vector<Export> exports;  // the exports that have a name
};

// Fills `image` and returns "" when the bytes hold a PE image whose headers
// and export table lie within them; otherwise returns why not.
std::string Parse(const uint8_t *bytes, size_t size, Image &image);

// "32-bit", "64-bit", or the machine number for other processors.
std::string Bitness(uint16_t machine);

// The ordinal the image exports `name` at, or 0 when it does not.
uint32_t OrdinalOf(const Image &image, const char *name);

// Whether the image exports `name`, which the loader finds by name whatever
// its ordinal: an export table may start at ordinal 0.
bool HasExport(const Image &image, const char *name);

}  // namespace pe
