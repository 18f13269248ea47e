// Whether two paths lead to one file or folder, however they are spelled
// (relative, other case, 8.3 names, another hard link, another drive letter
// or share): the volume's serial number and the file index decide. Header
// only and without the C++ runtime, so that Vorlane.dll can use it too.
#pragma once

#include <windows.h>

namespace samefile {

enum class Answer { kSame, kDifferent, kNotKnown };

struct Identity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};

inline bool operator==(const Identity &a, const Identity &b) {
    return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

// False when the handle's file cannot be identified.
inline bool IdentityOf(HANDLE handle, Identity &identity) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) return false;
    identity = Identity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

// A file or a folder, opened without access and shared every way, so that
// nothing another program holds open stands in the way.
inline bool IdentityOfPath(const char *path, Identity &identity) {
    const HANDLE opened = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return false;
    const bool known = IdentityOf(opened, identity);
    CloseHandle(opened);
    return known;
}

// An open file against the one at `path`. Each caller decides what a file
// that cannot be identified counts as.
inline Answer Compare(HANDLE handle, const char *path) {
    Identity first, second;
    if (!IdentityOf(handle, first) || !IdentityOfPath(path, second)) return Answer::kNotKnown;
    return first == second ? Answer::kSame : Answer::kDifferent;
}

}  // namespace samefile
