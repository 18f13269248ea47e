// Reading picture files and folders for the scene: the file calls around
// the decoding.
#include "picture_files.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "ascii_names.h"
#include "win32_guards.h"

namespace vcard {

namespace {

HANDLE OrNull(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

// A picture file read through a buffer: DrawFitted asks for rows in file
// order, so most rows come from memory.
struct PictureFile {
    HANDLE handle;
    uint64_t bufferStart;
    size_t bufferBytes;
    uint8_t buffer[65536];
};

bool ReadPictureFile(void *file, uint64_t offset, uint8_t *into, size_t bytes) {
    PictureFile &f = *static_cast<PictureFile *>(file);
    if (bytes > sizeof f.buffer) return false;
    if (offset < f.bufferStart || offset + bytes > f.bufferStart + f.bufferBytes) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        DWORD got = 0;
        f.bufferStart = offset;
        f.bufferBytes = 0;
        if (!SetFilePointerEx(f.handle, at, nullptr, FILE_BEGIN) ||
            !ReadFile(f.handle, f.buffer, sizeof f.buffer, &got, nullptr) || got < bytes)
            return false;
        f.bufferBytes = got;
    }
    std::memcpy(into, f.buffer + (offset - f.bufferStart), bytes);
    return true;
}

// Opens a picture and checks its headers; `why` says what is wrong.
guards::UniqueKernelHandle OpenPicture(const char *path, BmpLayout &layout, char *why, size_t whyBytes) {
    guards::UniqueKernelHandle file(OrNull(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                       nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)));
    if (!file) {
        std::snprintf(why, whyBytes, "cannot be opened (error %lu)", GetLastError());
        return file;
    }
    LARGE_INTEGER size;
    uint8_t head[kBmpHeadBytes];
    DWORD got = 0;
    if (!GetFileSizeEx(file.get(), &size) || !ReadFile(file.get(), head, sizeof head, &got, nullptr)) {
        std::snprintf(why, whyBytes, "cannot be read (error %lu)", GetLastError());
        file.reset();
    } else if (!CheckBmp24(head, got, static_cast<uint64_t>(size.QuadPart), layout, why, whyBytes)) {
        file.reset();
    }
    return file;
}

// Whether the file holds nothing but zero bytes: what a power cut leaves of
// a picture whose size reached the disk before its bytes did.
bool HoldsOnlyZeros(const char *path) {
    guards::UniqueKernelHandle file(OrNull(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                       nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)));
    if (!file) return false;
    uint8_t chunk[16384];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) return false;
        if (got == 0) return true;
        for (DWORD i = 0; i < got; ++i)
            if (chunk[i] != 0) return false;
    }
}

// Adds "path: why" as a line of its own to what `reason` already holds.
void AppendReasonLine(char *reason, int32_t reasonBytes, const char *path, const char *why) {
    if (reason == nullptr || reasonBytes <= 0) return;
    const size_t held = std::strlen(reason);
    const size_t room = static_cast<size_t>(reasonBytes) - held;
    if (room > 1) std::snprintf(reason + held, room, "%s%s: %s", held > 0 ? "\n" : "", path, why);
}

}  // namespace

bool CheckPictureFile(const char *path, char *why, size_t whyBytes) {
    BmpLayout layout;
    return OpenPicture(path, layout, why, whyBytes).valid();
}

bool LoadPicture(const char *path, Picture &picture, char *why, size_t whyBytes) {
    BmpLayout layout;
    guards::UniqueKernelHandle file = OpenPicture(path, layout, why, whyBytes);
    if (!file) return false;
    std::unique_ptr<PictureFile> reader(new (std::nothrow) PictureFile{file.get(), 0, 0, {}});
    if (!reader) {
        std::snprintf(why, whyBytes, "no memory to read it");
        return false;
    }
    if (!DrawFitted(layout, ReadPictureFile, reader.get(), picture)) {
        std::snprintf(why, whyBytes, "could not be read to its end");
        return false;
    }
    return true;
}

void WriteReason(char *reason, int32_t reasonBytes, const char *format, const char *path, const char *why) {
    if (reason != nullptr && reasonBytes > 0) std::snprintf(reason, static_cast<size_t>(reasonBytes), format, path, why);
}

bool ListFolderPictures(const char *folder, std::vector<std::string> &paths, char *reason,
                        int32_t reasonBytes) {
    paths.clear();
    WriteReason(reason, reasonBytes, "%s", "");  // the lines of passed-over files are added to it
    if (folder == nullptr || folder[0] == '\0') {
        WriteReason(reason, reasonBytes, "no folder given%s", "");
        return false;
    }
    const DWORD attributes = GetFileAttributesA(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        WriteReason(reason, reasonBytes, "%s: no such folder", folder);
        return false;
    }
    std::string prefix = folder;
    if (prefix.back() != '\\' && prefix.back() != '/') prefix += '\\';

    WIN32_FIND_DATAA found;
    guards::UniqueFind find(OrNull(FindFirstFileA((prefix + "*").c_str(), &found)));
    for (bool more = find.valid(); more; more = FindNextFileA(find.get(), &found) != 0)
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && names::IsBmpName(found.cFileName))
            paths.push_back(found.cFileName);
    find.reset();
    if (paths.empty()) {
        WriteReason(reason, reasonBytes, "%s holds no .bmp file", folder);
        return false;
    }
    // Folders on FAT volumes and network shares list files in the order
    // they were written.
    std::sort(paths.begin(), paths.end(), NameBefore);
    std::vector<std::string> playable;
    for (const std::string &name : paths) {
        const std::string path = prefix + name;
        char why[256];
        if (CheckPictureFile(path.c_str(), why, sizeof why)) {
            playable.push_back(path);
        } else if (HoldsOnlyZeros(path.c_str())) {
            AppendReasonLine(reason, reasonBytes, path.c_str(), "nothing but zero bytes, passed over");
        } else {
            WriteReason(reason, reasonBytes, "%s: %s", path.c_str(), why);
            return false;
        }
    }
    if (playable.empty()) {
        WriteReason(reason, reasonBytes, "%s: every .bmp file holds nothing but zero bytes", folder);
        return false;
    }
    paths = std::move(playable);
    return true;
}

}  // namespace vcard
