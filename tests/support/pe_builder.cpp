#include "pe_builder.h"

namespace vt {

void PeImageBytes::Put16(size_t at, uint16_t value) {
    bytes.at(at) = static_cast<uint8_t>(value);
    bytes.at(at + 1) = static_cast<uint8_t>(value >> 8);
}

void PeImageBytes::Put32(size_t at, uint32_t value) {
    Put16(at, static_cast<uint16_t>(value));
    Put16(at + 2, static_cast<uint16_t>(value >> 16));
}

PeImageBytes MakePeDll(bool is64, const std::vector<std::string> &names, uint32_t base) {
    constexpr size_t kPeOffset = 0x40;
    constexpr uint32_t kDirectoryCount = 16;
    const uint16_t directoriesAt = is64 ? 112 : 96;  // within the optional header
    const uint16_t optionalSize = static_cast<uint16_t>(directoriesAt + kDirectoryCount * 8);
    const uint32_t count = static_cast<uint32_t>(names.size());

    PeImageBytes image{};
    image.fileHeader = kPeOffset + 4;
    image.optionalHeader = image.fileHeader + 20;
    image.exportEntry = image.optionalHeader + directoriesAt;
    image.sectionTable = image.optionalHeader + optionalSize;
    image.sectionData = 0x200;
    image.sectionRva = 0x1000;
    image.exportDirectory = image.sectionData;

    // The section: the directory, the function, name and name-index arrays,
    // then the names one after another.
    const uint32_t functions = image.sectionRva + 40;
    const uint32_t nameArray = functions + 4 * count;
    const uint32_t indexArray = nameArray + 4 * count;
    uint32_t nextName = indexArray + 2 * count;
    size_t dataSize = nextName - image.sectionRva;
    for (const std::string &name : names) dataSize += name.size() + 1;
    image.bytes.assign(image.sectionData + dataSize, 0);

    image.Put16(0, 0x5A4D);  // MZ
    image.Put32(0x3C, kPeOffset);
    image.Put32(kPeOffset, 0x00004550);  // PE\0\0
    image.Put16(image.fileHeader, is64 ? 0x8664 : 0x014C);
    image.Put16(image.fileHeader + 2, 1);
    image.Put16(image.fileHeader + 16, optionalSize);
    image.Put16(image.fileHeader + 18, 0x2102);  // executable, 32-bit words, DLL
    image.Put16(image.optionalHeader, is64 ? 0x20B : 0x10B);
    image.Put32(image.exportEntry - 4, kDirectoryCount);
    image.Put32(image.exportEntry, image.sectionRva);
    image.Put32(image.exportEntry + 4, static_cast<uint32_t>(dataSize));
    image.Put32(image.sectionTable + 8, static_cast<uint32_t>(dataSize));
    image.Put32(image.sectionTable + 12, image.sectionRva);
    image.Put32(image.sectionTable + 16, static_cast<uint32_t>(dataSize));
    image.Put32(image.sectionTable + 20, static_cast<uint32_t>(image.sectionData));

    const auto fileAt = [&image](uint32_t rva) { return image.sectionData + (rva - image.sectionRva); };
    image.Put32(image.exportDirectory + 16, base);
    image.Put32(image.exportDirectory + 20, count);
    image.Put32(image.exportDirectory + 24, count);
    image.Put32(image.exportDirectory + 28, functions);
    image.Put32(image.exportDirectory + 32, nameArray);
    image.Put32(image.exportDirectory + 36, indexArray);
    for (uint32_t i = 0; i < count; ++i) {
        image.Put32(fileAt(functions + 4 * i), 0x2000 + 16 * i);
        image.Put32(fileAt(nameArray + 4 * i), nextName);
        image.Put16(fileAt(indexArray + 2 * i), static_cast<uint16_t>(i));
        image.lastName = fileAt(nextName);
        for (size_t c = 0; c < names[i].size(); ++c) image.bytes[image.lastName + c] = static_cast<uint8_t>(names[i][c]);
        nextName += static_cast<uint32_t>(names[i].size() + 1);
    }
    return image;
}

}  // namespace vt
