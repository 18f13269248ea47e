#include "volume_room.h"

#include <windows.h>

#include "ascii_names.h"
#include "file_places.h"

namespace recording {
namespace {

// The full path, or `path` as it is when none can be made.
std::string FullOrAsGiven(const std::string &path) {
    const std::string full = cli::FullPath(path);
    return full.empty() ? path : full;
}

}  // namespace

VolumeLimits LimitsOf(const std::string &path) {
    char volume[4 * MAX_PATH], fileSystem[MAX_PATH + 1];
    if (!GetVolumePathNameA(FullOrAsGiven(path).c_str(), volume, sizeof volume) ||
        !GetVolumeInformationA(volume, nullptr, 0, nullptr, nullptr, nullptr, fileSystem, sizeof fileSystem))
        return VolumeLimits{};
    // "FAT", "FAT12", "FAT16", "FAT32"; exFAT has neither limit.
    const bool fat = names::SameIgnoringCase(fileSystem, "FAT") || names::SameIgnoringCase(fileSystem, "FAT12") ||
                     names::SameIgnoringCase(fileSystem, "FAT16") || names::SameIgnoringCase(fileSystem, "FAT32");
    return fat ? VolumeLimits{kLargestFatFile, kMostFatFolderFiles} : VolumeLimits{};
}

bool FreeBytes(const std::string &path, uint64_t &bytes) {
    // The folder itself, not its volume's root: a volume mounted on a folder
    // has room of its own.
    const std::string full = FullOrAsGiven(path);
    const std::string folder = full.substr(0, full.size() - cli::NameOf(full).size());
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(folder.empty() ? ".\\" : folder.c_str(), &available, nullptr, nullptr)) return false;
    bytes = available.QuadPart;
    return true;
}

}  // namespace recording
