#include "recording_claims.h"

#include <cstdio>
#include <vector>

#include "ascii_names.h"
#include "file_places.h"
#include "recording_parts.h"
#include "same_file.h"
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

// Names are matched whole, as the card's folder reader matches them.
std::string FirstBmpFile(const std::string &folder) {
    WIN32_FIND_DATAA found;
    const HANDLE opened = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (opened == INVALID_HANDLE_VALUE) return "";
    const guards::UniqueFind search(opened);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && names::IsBmpName(found.cFileName))
            return found.cFileName;
    } while (FindNextFileA(search.get(), &found));
    return "";
}

// A place by what it is, not how it is spelled: the nearest existing folder
// on its path, by volume and file index, and the names still missing below it.
struct Place {
    bool known = false;
    samefile::Identity folder{};
    std::vector<std::string> missing;
    bool operator==(const Place &other) const {
        if (!known || !other.known || !(folder == other.folder) || missing.size() != other.missing.size())
            return false;
        for (size_t i = 0; i < missing.size(); ++i)
            if (_stricmp(missing[i].c_str(), other.missing[i].c_str()) != 0) return false;
        return true;
    }
};

Place Locate(const std::string &full) {
    Place place;
    for (std::string at = full; !at.empty(); at = cli::FolderOf(at)) {
        if (samefile::IdentityOfPath(at.c_str(), place.folder)) {
            place.known = true;
            return place;
        }
        place.missing.insert(place.missing.begin(), cli::NameOf(at));
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
    const std::string home = cli::FullPath(folder);
    if (home.empty()) return false;
    const Place recording = Locate(home);
    for (std::string at = cli::FolderOf(cli::FullPath(file)); !at.empty(); at = cli::FolderOf(at))
        if (Locate(at) == recording) return true;
    return false;
}

bool NamesRecordingFile(const std::string &file, const std::string &aviPath) {
    const std::string fullFile = cli::FullPath(file), fullAvi = cli::FullPath(aviPath);
    if (fullFile.empty() || fullAvi.empty()) return false;
    const std::string name = cli::NameOf(fullFile), avi = cli::NameOf(fullAvi);
    if (parts::PartNumber(name, avi) == 0 && _stricmp(name.c_str(), AviReportPath(avi).c_str()) != 0) return false;
    return Locate(cli::FolderOf(fullFile)) == Locate(cli::FolderOf(fullAvi));
}

void ReleaseFolder(const std::string &folder) { DeleteFileA(ReportPath(folder).c_str()); }

std::string ExistingRecordingFile(const std::string &path) {
    for (const std::string &file : {path, AviReportPath(path)})
        if (GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES) return file;
    // Names compared whole: the wildcard also matches short 8.3 names.
    const size_t stem = path.size() - 4;
    const std::string first = cli::NameOf(path);
    const std::string folder = path.substr(0, path.size() - first.size());
    WIN32_FIND_DATAA found;
    const HANDLE opened = FindFirstFileA((path.substr(0, stem) + "_*" + path.substr(stem)).c_str(), &found);
    if (opened == INVALID_HANDLE_VALUE) return "";
    const guards::UniqueFind search(opened);
    std::string part;
    do {
        if (parts::PartNumber(found.cFileName, first) != 0) part = folder + found.cFileName;
    } while (part.empty() && FindNextFileA(search.get(), &found));
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
