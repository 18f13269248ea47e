#include "station.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "driver_calls.h"
#include "file_places.h"
#include "same_file.h"
#include "win32_guards.h"

namespace cli {

#define VORLANE_EXPORT(name)                                                             \
    VorlaneExport {                                                                      \
        #name, VORLANE_ORDINAL_##name, [](VorlaneFunctions &functions, void *function) { \
            functions.name = reinterpret_cast<decltype(functions.name)>(function);       \
        }                                                                                \
    }
const VorlaneExport kVorlaneExports[kVorlaneExportCount] = {
    VORLANE_EXPORT(FreeCG200),  VORLANE_EXPORT(EasyInit), VORLANE_EXPORT(EasyCapture),
    VORLANE_EXPORT(Color2Gray), VORLANE_EXPORT(HDReset),
};
#undef VORLANE_EXPORT

bool IsVorlane(const DllFile &dll) { return std::strcmp(dll.name, kVorlaneName) == 0; }

namespace {

// A path without a folder lies in the current one.
std::string FolderOrHere(const std::string &path) {
    const std::string folder = FolderOf(path);
    return folder.empty() ? std::string(".") : folder;
}

std::string OwnFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::string(".") : FolderOrHere(path);
}

// The folders the loader searches for a DLL whose importer lies in `first`
// (loaded with its full path and LOAD_WITH_ALTERED_SEARCH_PATH).
std::vector<std::string> SearchFolders(const std::string &first) {
    std::vector<std::string> folders{first};
    char folder[MAX_PATH];
    UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH) folders.emplace_back(folder);
    length = GetWindowsDirectoryA(folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH) folders.emplace_back(folder);
    const DWORD current = GetCurrentDirectoryA(MAX_PATH, folder);
    if (current > 0 && current < MAX_PATH) folders.emplace_back(folder);
    const DWORD pathLength = GetEnvironmentVariableA("PATH", nullptr, 0);
    std::string path(pathLength, '\0');
    if (pathLength > 0 && GetEnvironmentVariableA("PATH", &path[0], pathLength) < pathLength) {
        path.resize(std::strlen(path.c_str()));
        size_t start = 0;
        while (start <= path.size()) {
            size_t end = path.find(';', start);
            if (end == std::string::npos) end = path.size();
            std::string entry = path.substr(start, end - start);
            entry.erase(std::remove(entry.begin(), entry.end(), '"'), entry.end());
            if (!entry.empty()) folders.push_back(entry);
            start = end + 1;
        }
    }
    return folders;
}

std::string InFolder(std::string folder, const char *name) {
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder + name;
}

// The first entry of that name, a folder too: the loader stops at it and
// fails rather than look further.
std::string FindInFolders(const char *name, const std::string &first) {
    for (const std::string &folder : SearchFolders(first)) {
        const std::string candidate = InFolder(folder, name);
        if (GetFileAttributesA(candidate.c_str()) != INVALID_FILE_ATTRIBUTES) return candidate;
    }
    return "";
}

// The whole file, or "" and why not. DLLs are small; a file of more than
// 256 MB is not one.
std::string ReadWholeFile(const std::string &path, std::vector<uint8_t> &bytes) {
    const HANDLE opened = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return "cannot be read (" + WindowsError(GetLastError()) + ")";
    const guards::UniqueKernelHandle file(opened);
    DWORD high = 0;
    const DWORD size = GetFileSize(file.get(), &high);
    if (high != 0 || size > (256u << 20)) return "is far too large for a DLL";
    bytes.resize(size);
    DWORD got = 0;
    if (size > 0 && (!ReadFile(file.get(), bytes.data(), size, &got, nullptr) || got != size))
        return "cannot be read (" + WindowsError(GetLastError()) + ")";
    return "";
}

// "Vorlane.dll beside it" or "CG400D32.dll in C:\elsewhere".
std::string Located(const DllFile &dll) {
    const std::string folder = FolderOrHere(dll.path);
    if (_stricmp(folder.c_str(), dll.firstFolder.c_str()) == 0) return std::string(dll.name) + " beside it";
    return std::string(dll.name) + " in " + folder;
}

std::string WhatToDo(const DllFile &dll) {
    const std::string bits = pe::Bitness(kOwnMachine);
    if (IsVorlane(dll))
        return "Copy bin\\Vorlane.dll of the " + bits + " SDK beside vorlane-cli.";
    return "Install the card maker's " + bits + " driver, or, for development, copy " +
           "virtual-card\\CG400D32.dll of the " + bits + " SDK beside Vorlane.dll.";
}

// Finds the DLL where the loader would and reads it: its machine, and its
// exports against what Vorlane needs. `vorlaneMachine` is 0 for Vorlane.dll
// itself, else the machine of the Vorlane.dll that will import the driver.
DllFile Examine(const char *name, const std::string &firstFolder, const char *firstOwner,
                uint16_t vorlaneMachine) {
    DllFile dll;
    dll.name = name;
    dll.firstFolder = firstFolder;
    dll.firstOwner = firstOwner;
    dll.path = FindInFolders(name, firstFolder);
    if (dll.path.empty()) {
        dll.problem = std::string(name) + " was not found beside " + firstOwner + " (" + firstFolder +
                      "), in the system folders, the current folder or on the PATH. " + WhatToDo(dll);
        return dll;
    }
    std::vector<uint8_t> bytes;
    std::string why = IsFolder(dll.path) ? "is a folder, not a DLL" : ReadWholeFile(dll.path, bytes);
    if (why.empty()) {
        why = pe::Parse(bytes.data(), bytes.size(), dll.image);
        if (!why.empty()) why = "cannot be used: " + why;
    }
    if (!why.empty()) {
        dll.unreadable = why;
        dll.problem = Located(dll) + " " + why + ". " + WhatToDo(dll);
        return dll;
    }
    dll.readable = true;
    const std::string own = pe::Bitness(kOwnMachine);
    if (dll.image.machine != kOwnMachine) {
        const bool withVorlane = std::strcmp(name, kDriverName) == 0 && vorlaneMachine == kOwnMachine;
        dll.problem = Located(dll) + " is " + pe::Bitness(dll.image.machine) + "; this vorlane-cli" +
                      (withVorlane ? " and Vorlane.dll are " : " is ") + own + ". " + WhatToDo(dll);
    } else if (!dll.image.isDll) {
        dll.problem = Located(dll) + " is a program, not a DLL. " + WhatToDo(dll);
    } else if (std::strcmp(name, kVorlaneName) == 0) {
        for (const VorlaneExport &wanted : kVorlaneExports) {
            if (pe::OrdinalOf(dll.image, wanted.name) == wanted.ordinal) continue;
            dll.problem = Located(dll) + " lacks " + wanted.name + " at ordinal " +
                          std::to_string(wanted.ordinal) + "; it is not the Vorlane.dll this " +
                          "vorlane-cli was made for. " + WhatToDo(dll);
            break;
        }
    } else {
        std::string missing;
        for (const char *call : kDriverCalls)
            if (!pe::HasExport(dll.image, call)) missing += (missing.empty() ? "" : ", ") + std::string(call);
        if (!missing.empty())
            dll.problem = Located(dll) + " lacks " + missing + ", which Vorlane calls; it is not " +
                          "the card's driver. " + WhatToDo(dll);
    }
    return dll;
}

}  // namespace

std::vector<std::string> VirtualCardsFound(const DllFile &library) {
    const std::string own = OwnFolder();
    const std::string vorlane = library.path.empty() ? own : FolderOrHere(library.path);
    std::vector<std::string> folders = SearchFolders(own);
    folders.insert(folders.begin() + 1, vorlane);
    std::vector<std::string> seen, lines;
    std::vector<samefile::Identity> cards;
    for (const std::string &entry : folders) {
        const std::string folder = WithoutTrailingSlashes(entry);
        const auto same = [&folder](const std::string &other) { return _stricmp(folder.c_str(), other.c_str()) == 0; };
        if (std::any_of(seen.begin(), seen.end(), same)) continue;
        seen.push_back(folder);
        const std::string path = InFolder(folder, kDriverName);
        std::vector<uint8_t> bytes;
        pe::Image image;
        if (IsFolder(path) || !ReadWholeFile(path, bytes).empty() ||
            !pe::Parse(bytes.data(), bytes.size(), image).empty() || !IsVirtualCard(image))
            continue;
        // The same folder under another spelling ("\\.", "..", 8.3 names) is
        // listed once; one that cannot be identified is listed as it is.
        samefile::Identity card;
        if (samefile::IdentityOfPath(folder.c_str(), card)) {
            if (std::find(cards.begin(), cards.end(), card) != cards.end()) continue;
            cards.push_back(card);
        }
        const std::string where = same(own) && same(vorlane) ? "beside vorlane-cli and Vorlane.dll ("
                                  : same(own)                ? "beside vorlane-cli ("
                                  : same(vorlane)            ? "beside Vorlane.dll ("
                                                             : "in ";
        lines.push_back(std::string(kDriverName) + " " + where + folder + (where.back() == '(' ? ")" : "") +
                        " is the virtual card, not the card maker's driver");
    }
    return lines;
}

DllFile ExamineVorlane() { return Examine(kVorlaneName, OwnFolder(), "vorlane-cli", 0); }

DllFile ExamineDriver(const DllFile &library) {
    const std::string first = library.path.empty() ? OwnFolder() : FolderOrHere(library.path);
    return Examine(kDriverName, first, library.path.empty() ? "vorlane-cli" : kVorlaneName,
                   library.readable ? library.image.machine : 0);
}

std::string LoadVorlaneFile(const DllFile &library, VorlaneFunctions &functions) {
    // A failed load returns an error here instead of a system dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const HMODULE module =
        LoadLibraryExA(library.path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module)
        return "Windows could not load " + library.path + " (" + WindowsError(GetLastError()) + ").";
    for (const VorlaneExport &wanted : kVorlaneExports) {
        const FARPROC byName = GetProcAddress(module, wanted.name);
        const FARPROC byOrdinal =
            GetProcAddress(module, MAKEINTRESOURCEA(static_cast<WORD>(wanted.ordinal)));
        if (!byName || byName != byOrdinal)
            return Located(library) + " does not give " + wanted.name + " at ordinal " +
                   std::to_string(wanted.ordinal) + ". " + WhatToDo(library);
        wanted.store(functions, reinterpret_cast<void *>(byName));
    }
    return "";
}

bool LoadVorlane(VorlaneFunctions &functions) {
    const DllFile library = ExamineVorlane();
    const DllFile driver = ExamineDriver(library);
    std::string problem = !library.problem.empty() ? library.problem : driver.problem;
    if (problem.empty()) problem = LoadVorlaneFile(library, functions);
    if (problem.empty()) return true;
    std::fprintf(stderr, "vorlane-cli: %s\n", problem.c_str());
    return false;
}

}  // namespace cli
