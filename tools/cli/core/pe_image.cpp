#include "core/pe_image.h"

#include <algorithm>
#include <cstdio>

namespace pe {
namespace {

// Every read is checked against the file's end; offsets are 64-bit so that
// sums of 32-bit fields cannot wrap.
struct Bytes {
    const uint8_t *data;
    size_t size;

    bool Has(uint64_t offset, uint64_t count) const {
        return offset <= size && count <= size - offset;
    }
    bool Read16(uint64_t offset, uint16_t &value) const {
        if (!Has(offset, 2)) return false;
        value = static_cast<uint16_t>(data[offset] | data[offset + 1] << 8);
        return true;
    }
    bool Read32(uint64_t offset, uint32_t &value) const {
        if (!Has(offset, 4)) return false;
        value = static_cast<uint32_t>(data[offset]) | static_cast<uint32_t>(data[offset + 1]) << 8 |
                static_cast<uint32_t>(data[offset + 2]) << 16 |
                static_cast<uint32_t>(data[offset + 3]) << 24;
        return true;
    }
};

struct Section {
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawSize;
    uint32_t rawOffset;
};

// Where the bytes at a relative virtual address lie in the file: the offset,
// and how many of them from there on one section's data in the file holds.
bool Locate(const Bytes &file, const std::vector<Section> &sections, uint32_t rva,
            uint64_t &offset, uint64_t &available) {
    for (const Section &section : sections) {
        if (rva < section.virtualAddress) continue;
        const uint64_t into = rva - section.virtualAddress;
        if (into >= section.rawSize) continue;
        offset = uint64_t{section.rawOffset} + into;
        if (offset >= file.size) return false;
        available = std::min<uint64_t>(section.rawSize - into, file.size - offset);
        return true;
    }
    return false;
}

// Where `count` bytes at a relative virtual address lie in the file, when
// one section's data in the file holds them all.
bool FileOffset(const Bytes &file, const std::vector<Section> &sections, uint32_t rva,
                uint32_t count, uint64_t &offset) {
    for (const Section &section : sections) {
        if (rva < section.virtualAddress) continue;
        const uint64_t into = rva - section.virtualAddress;
        if (into + count > section.rawSize) continue;
        offset = section.rawOffset + into;
        return file.Has(offset, count);
    }
    return false;
}

constexpr uint32_t kLongestName = 256;
constexpr uint16_t kMostSections = 96;

// The name's section is found once; the name must end within its data.
bool ReadName(const Bytes &file, const std::vector<Section> &sections, uint32_t rva,
              std::string &name) {
    name.clear();
    uint64_t at, available;
    if (!Locate(file, sections, rva, at, available)) return false;
    const uint64_t longest = std::min<uint64_t>(available, kLongestName);
    for (uint64_t i = 0; i < longest; ++i) {
        const char c = static_cast<char>(file.data[at + i]);
        if (c == '\0') return true;
        name += c;
    }
    return false;
}

}  // namespace

std::string Parse(const uint8_t *bytes, size_t size, Image &image) {
    image = Image{};
    const Bytes file{bytes, size};
    uint16_t dosMagic;
    uint32_t peOffset, signature;
    if (!file.Read16(0, dosMagic) || dosMagic != 0x5A4D || !file.Read32(0x3C, peOffset) ||
        !file.Read32(peOffset, signature) || signature != 0x00004550)
        return "not a Windows program file";

    const uint64_t header = uint64_t{peOffset} + 4;
    uint16_t sectionCount, optionalSize, characteristics, magic;
    if (!file.Read16(header, image.machine) || !file.Read16(header + 2, sectionCount) ||
        !file.Read16(header + 16, optionalSize) || !file.Read16(header + 18, characteristics))
        return "its headers are cut short";
    image.isDll = (characteristics & 0x2000) != 0;

    const uint64_t optional = header + 20;
    if (!file.Read16(optional, magic)) return "its headers are cut short";
    uint64_t directories;
    if (magic == 0x10B) directories = 96;
    else if (magic == 0x20B) directories = 112;
    else return "its optional header is of an unknown kind";
    uint32_t directoryCount = 0, exportRva = 0, exportSize = 0;
    if (optionalSize < directories || !file.Read32(optional + directories - 4, directoryCount))
        return "its headers are cut short";
    if (directoryCount > 0 && (optionalSize < directories + 8 ||
                               !file.Read32(optional + directories, exportRva) ||
                               !file.Read32(optional + directories + 4, exportSize)))
        return "its headers are cut short";

    // Microsoft's loader takes at most 96 sections; more is a damaged file,
    // and the count bounds the work each address below costs.
    if (sectionCount > kMostSections) return "its section table is damaged";
    std::vector<Section> sections;
    const uint64_t sectionTable = optional + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint64_t at = sectionTable + uint64_t{i} * 40;
        Section section{};
        if (!file.Read32(at + 8, section.virtualSize) || !file.Read32(at + 12, section.virtualAddress) ||
            !file.Read32(at + 16, section.rawSize) || !file.Read32(at + 20, section.rawOffset))
            return "its section table is cut short";
        sections.push_back(section);
    }
    if (exportRva == 0 || exportSize == 0) return "";  // exports nothing

    uint64_t directory;
    uint32_t base, functionCount, nameCount, functionsRva, namesRva, nameOrdinalsRva;
    if (!FileOffset(file, sections, exportRva, 40, directory) ||
        !file.Read32(directory + 16, base) || !file.Read32(directory + 20, functionCount) ||
        !file.Read32(directory + 24, nameCount) || !file.Read32(directory + 28, functionsRva) ||
        !file.Read32(directory + 32, namesRva) || !file.Read32(directory + 36, nameOrdinalsRva))
        return "its export table lies beyond the end of the file";
    // Each name takes at least 8 bytes of the file: more cannot be real.
    if (nameCount > size / 8) return "its export table is damaged";
    for (uint32_t i = 0; i < nameCount; ++i) {
        uint64_t nameAt, indexAt, functionAt;
        uint32_t nameRva, functionRva;
        uint16_t index;
        Export entry;
        if (!FileOffset(file, sections, namesRva + 4 * i, 4, nameAt) ||
            !FileOffset(file, sections, nameOrdinalsRva + 2 * i, 2, indexAt) ||
            !file.Read32(nameAt, nameRva) || !file.Read16(indexAt, index) ||
            !ReadName(file, sections, nameRva, entry.name))
            return "its export table lies beyond the end of the file";
        // A name whose slot is out of range or empty exports nothing.
        if (index >= functionCount || !FileOffset(file, sections, functionsRva + 4 * uint32_t{index}, 4, functionAt) ||
            !file.Read32(functionAt, functionRva) || functionRva == 0)
            continue;
        entry.ordinal = base + index;
        image.exports.push_back(entry);
    }
    return "";
}

std::string Bitness(uint16_t machine) {
    if (machine == kMachineI386) return "32-bit";
    if (machine == kMachineAmd64) return "64-bit";
    char text[48];
    std::snprintf(text, sizeof text, "for another processor (machine 0x%04X)", machine);
    return text;
}

uint32_t OrdinalOf(const Image &image, const char *name) {
    for (const Export &entry : image.exports)
        if (entry.name == name) return entry.ordinal;
    return 0;
}

bool HasExport(const Image &image, const char *name) {
    for (const Export &entry : image.exports)
        if (entry.name == name) return true;
    return false;
}

}  // namespace pe
