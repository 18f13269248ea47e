#include "volume_room.h"

#include <windows.h>

#include "ascii_names.h"

namespace recording {
namespace {

std::string FullPath(const std::string &path) {
    char full[4 * MAX_PATH];
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length == 0 || length >= sizeof full ? path : std::string(full, length);
}

// The folder `path` lies in, ending in a backslash as the volume calls want.
std::string FolderOf(const std::string &full) {
    const size_t slash = full.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".\\") : full.substr(0, slash + 1);
}

}  // namespace

VolumeLimits LimitsOf(const std::string &path) {
    char volume[4 * MAX_PATH], fileSystem[MAX_PATH + 1];
    if (!GetVolumePathNameA(FullPath(path).c_str(), volume, sizeof volume) ||
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
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(FolderOf(FullPath(path)).c_str(), &available, nullptr, nullptr)) return false;
    bytes = available.QuadPart;
    return true;
}

}  // namespace recording
