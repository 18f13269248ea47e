#include "recording_claims.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "file_places.h"
#include "recording_parts.h"
#include "win32_guards.h"
#include "windows_error.h"

namespace recording {
namespace {

using cli::IsFolder;

// Creates each missing folder of the path in turn, from the top. Only the
// last one's failure counts: a drive or a share above it cannot be made.
DWORD CreateFolders(const std::string &folder) {
    for (size_t end = folder.find_first_of("\\/", 1); end != std::string::npos;
         end = folder.find_first_of("\\/", end + 1)) {
        const std::string step = folder.substr(0, end);
        if (!IsFolder(step)) CreateDirectoryA(step.c_str(), nullptr);
    }
    if (IsFolder(folder) || CreateDirectoryA(folder.c_str(), nullptr)) return 0;
    return GetLastError();
}

// A wildcard would also match each file's 8.3 name: "*.bmp" finds a.bmpx.
// Names are compared whole, as the card's folder reader does.
std::string FirstBmpFile(const std::string &folder) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return "";
    std::string name;
    do {
        const size_t length = std::strlen(found.cFileName);
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && length > 4 &&
            _stricmp(found.cFileName + length - 4, ".bmp") == 0)
            name = found.cFileName;
    } while (name.empty() && FindNextFileA(search, &found));
    FindClose(search);
    return name;
}

// A place by what it is, not how it is spelled: the nearest existing folder
// on its path, by volume and file index, and the names still missing below it.
struct Place {
    bool known = false;
    DWORD volume = 0, indexHigh = 0, indexLow = 0;
    std::vector<std::string> missing;
    bool operator==(const Place &other) const {
        if (!known || !other.known || volume != other.volume || indexHigh != other.indexHigh ||
            indexLow != other.indexLow || missing.size() != other.missing.size())
            return false;
        for (size_t i = 0; i < missing.size(); ++i)
            if (_stricmp(missing[i].c_str(), other.missing[i].c_str()) != 0) return false;
        return true;
    }
};

std::string FullPath(const std::string &path) {
    char full[4 * MAX_PATH];
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) return "";
    std::string result(full, length);
    while (result.size() > 3 && (result.back() == '\\' || result.back() == '/')) result.pop_back();
    return result;
}

// "C:" alone names the drive's current folder, not its root.
std::string ParentOf(const std::string &full) {
    const size_t slash = full.find_last_of("\\/");
    if (slash == std::string::npos || slash + 1 == full.size()) return "";
    std::string parent = full.substr(0, slash);
    if (parent.size() == 2 && parent[1] == ':') parent += '\\';
    return parent;
}

Place Locate(const std::string &full) {
    Place place;
    for (std::string at = full; !at.empty(); at = ParentOf(at)) {
        const HANDLE opened = CreateFileA(at.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (opened != INVALID_HANDLE_VALUE) {
            const guards::UniqueKernelHandle handle(opened);
            BY_HANDLE_FILE_INFORMATION info;
            if (!GetFileInformationByHandle(handle.get(), &info)) return Place{};
            place.known = true;
            place.volume = info.dwVolumeSerialNumber;
            place.indexHigh = info.nFileIndexHigh;
            place.indexLow = info.nFileIndexLow;
            return place;
        }
        place.missing.insert(place.missing.begin(), at.substr(at.find_last_of("\\/") + 1));
    }
    return Place{};
}



}  // namespace

std::string PrepareFolder(const std::string &folder) {
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return folder + " is a file, not a folder; record into a new or empty folder";
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (const DWORD error = CreateFolders(folder))
            return "the folder " + folder + " cannot be created (" + cli::WindowsError(error) + ")";
    } else {
        const std::string bmp = FirstBmpFile(folder);
        if (!bmp.empty())
            return folder + " already holds BMP files (" + bmp +
                   "); record into a new or empty folder, nothing was overwritten";
        if (GetFileAttributesA(ReportPath(folder).c_str()) != INVALID_FILE_ATTRIBUTES)
            return folder + " already holds a " + kReportName +
                   "; record into a new or empty folder, nothing was overwritten";
    }
    if (const DWORD error = WriteTextFile(ReportPath(folder), CREATE_NEW, kUnderWay))
        return "the folder " + folder + " cannot be written (" + cli::WindowsError(error) + ")";
    return "";
}

bool LiesWithin(const std::string &file, const std::string &folder) {
    const std::string home = FullPath(folder);
    if (home.empty()) return false;
    const Place recording = Locate(home);
    for (std::string at = ParentOf(FullPath(file)); !at.empty(); at = ParentOf(at))
        if (Locate(at) == recording) return true;
    return false;
}

void ReleaseFolder(const std::string &folder) { DeleteFileA(ReportPath(folder).c_str()); }

std::string ExistingRecordingFile(const std::string &path) {
    for (const std::string &file : {path, AviReportPath(path)})
        if (GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES) return file;
    // Names compared whole: the wildcard also matches short 8.3 names.
    const size_t stem = path.size() - 4;
    const size_t slash = path.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string first = path.substr(folder.size());
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((path.substr(0, stem) + "_*" + path.substr(stem)).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return "";
    std::string part;
    do {
        if (parts::PartNumber(found.cFileName, first) != 0) part = folder + found.cFileName;
    } while (part.empty() && FindNextFileA(search, &found));
    FindClose(search);
    return part;
}

std::string PrepareAviFile(const std::string &path) {
    const std::string report = AviReportPath(path);
    const std::string existing = ExistingRecordingFile(path);
    if (!existing.empty()) return existing + " already exists; record into a new file, nothing was overwritten";
    if (const DWORD error = WriteTextFile(report, CREATE_NEW, kUnderWay))
        return report + " cannot be written (" + cli::WindowsError(error) + ")";
    return "";
}

void ReleaseAviFile(const std::string &path) {
    DeleteFileA(path.c_str());
    DeleteFileA(AviReportPath(path).c_str());
}

}  // namespace recording
