// vorlane-cli: tries a capture station's card from the command line, checks
// that a station's DLLs are in place, and runs the demo on the virtual card.
// It is a host like any other: it reaches the card only through Vorlane's
// five exports. It loads Vorlane.dll at run time, so that it starts and
// explains itself on a station where a DLL is missing or of the wrong kind.
#include <windows.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/win32_guards.h"
#include "driver_calls.h"
#include "pe_image.h"
#include "vcard_control.h"
#include "vorlane.h"

namespace {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitDllUnusable = 3 };

const char kHelp[] =
    "vorlane-cli: try the frame-grabber card through Vorlane.dll.\n"
    "\n"
    "Usage:\n"
    "  vorlane-cli preview [options]      open the card, show the live picture on the\n"
    "                                     screen, then save the last frame or just close\n"
    "  vorlane-cli grey SRC.bmp DST.bmp   convert a 24-bit BMP file to an 8-bit grey one\n"
    "  vorlane-cli reset                  set the card's three A/D adjustments to 128\n"
    "  vorlane-cli check [--open]         where Vorlane.dll and CG400D32.dll were found,\n"
    "                                     their bitness, version and exports; --open\n"
    "                                     also opens the card at --x, --y and counts\n"
    "                                     its frames (its A/D adjustments stay as they are)\n"
    "  vorlane-cli --help                 this text\n"
    "\n"
    "Preview options:\n"
    "  --x X, --y Y     screen position of the picture's top-left corner (100, 100)\n"
    "  --height H       picture height, 80 to 576, rounded down to a multiple of 16;\n"
    "                   the width is 3/4 of it (480, giving 360 x 480)\n"
    "  --mode M         0 or grey (8-bit), 1 or rgb24, 2 or rgb16, 3 or rgb15 (1)\n"
    "  --seconds S      how long the preview runs; 0 runs until Ctrl+C or until\n"
    "                   the keys window is closed (5)\n"
    "  --save FILE      save the last frame painted as a 24-bit BMP file\n"
    "  --grey FILE      save it as an 8-bit grey BMP file as well\n"
    "  --scene PICTURE  virtual card only: show this 24-bit BMP picture instead of\n"
    "                   the built-in test scene\n"
    "  --scene FOLDER   virtual card only: play the folder's 24-bit BMP pictures in\n"
    "                   name order, 25 a second, looping\n"
    "  --no-window      no keys window: the A/D chords are then not read\n"
    "\n"
    "While the preview runs, the console counts the pictures that appear on the\n"
    "screen and their rate (and, on the virtual card, the frames it delivered and\n"
    "its A/D values). A small window beside the picture lists the chords that step\n"
    "the card's A/D adjustments; they work while that window has the focus.\n"
    "Ctrl+C or closing that window ends the preview early; the frame is still saved.\n"
    "\n"
    "Vorlane.dll is looked for beside this program, then in the system folders,\n"
    "the current folder and on the PATH; the card's driver CG400D32.dll beside\n"
    "Vorlane.dll first, then in the same places. Both must be of this program's\n"
    "bitness; only the commands that use them need them.\n"
    "Vorlane.dll may show its own message boxes (for example when the card cannot\n"
    "be opened); press OK and this program reports the failure.\n"
    "\n"
    "Exit status: 0 done; 1 Vorlane reported a failure (check: the card did not\n"
    "open); 2 wrong command line; 3 Vorlane.dll or CG400D32.dll is missing or\n"
    "cannot be used (the message says which, why, and what to do).\n";

int Usage(const char *problem) {
    std::fprintf(stderr, "vorlane-cli: %s\nTry 'vorlane-cli --help'.\n", problem);
    return kExitUsage;
}

// ---- command line ----

bool ParseInt(const char *text, int &value) {
    errno = 0;
    char *end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

bool ParseMode(const char *text, int &mode) {
    static const char *const names[] = {"grey", "rgb24", "rgb16", "rgb15"};
    for (int i = 0; i < 4; ++i) {
        if (_stricmp(text, names[i]) == 0) {
            mode = i;
            return true;
        }
    }
    return ParseInt(text, mode) && mode >= 0 && mode <= 3;
}

bool ParseSeconds(const char *text, double &seconds) {
    char *end = nullptr;
    seconds = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(seconds) && seconds >= 0 && seconds <= 86400;
}

struct PreviewOptions {
    int x = 100;
    int y = 100;
    int height = 480;
    int mode = 1;
    double seconds = 5;
    std::string save;
    std::string grey;
    std::string scene;
    bool keysWindow = true;
    bool open = false;  // check only
};

// Accepts "--name value" and "--name=value". Returns an exit code when the
// command line is wrong, -1 when it is fine.
int ParsePreviewOptions(int argc, char **argv, PreviewOptions &options) {
    for (int i = 0; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--no-window") {
            options.keysWindow = false;
            continue;
        }
        if (name == "--open") {
            options.open = true;
            continue;
        }
        std::string value;
        const size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            return Usage(("missing value after " + name).c_str());
        }
        const char *v = value.c_str();
        bool good = true;
        if (name == "--x") good = ParseInt(v, options.x);
        else if (name == "--y") good = ParseInt(v, options.y);
        else if (name == "--height") good = ParseInt(v, options.height);
        else if (name == "--mode") good = ParseMode(v, options.mode);
        else if (name == "--seconds") good = ParseSeconds(v, options.seconds);
        else if (name == "--save") options.save = value;
        else if (name == "--grey") options.grey = value;
        else if (name == "--scene") options.scene = value;
        else if (name == "--no-window") return Usage("--no-window takes no value");
        else return Usage(("unknown option " + name).c_str());
        if (!good || value.empty())
            return Usage(("bad value '" + value + "' for " + name).c_str());
    }
    return -1;
}

// ---- the station's DLLs ----

// Vorlane's five functions, found in Vorlane.dll at run time.
struct VorlaneFunctions {
    decltype(&::FreeCG200) FreeCG200 = nullptr;
    decltype(&::EasyInit) EasyInit = nullptr;
    decltype(&::EasyCapture) EasyCapture = nullptr;
    decltype(&::Color2Gray) Color2Gray = nullptr;
    decltype(&::HDReset) HDReset = nullptr;
};
VorlaneFunctions vorlane;

struct VorlaneExport {
    const char *name;
    uint32_t ordinal;
    void (*store)(void *function);
};

#define VORLANE_EXPORT(name)                                                   \
    VorlaneExport {                                                            \
        #name, VORLANE_ORDINAL_##name, [](void *function) {                    \
            vorlane.name = reinterpret_cast<decltype(vorlane.name)>(function); \
        }                                                                      \
    }
const VorlaneExport kVorlaneExports[] = {
    VORLANE_EXPORT(FreeCG200),   VORLANE_EXPORT(EasyInit), VORLANE_EXPORT(EasyCapture),
    VORLANE_EXPORT(Color2Gray), VORLANE_EXPORT(HDReset),
};
#undef VORLANE_EXPORT

const char kVorlaneName[] = "Vorlane.dll";
const char kDriverName[] = "CG400D32.dll";

#ifdef _WIN64
constexpr uint16_t kOwnMachine = pe::kMachineAmd64;
#else
constexpr uint16_t kOwnMachine = pe::kMachineI386;
#endif

// One DLL as vorlane-cli finds and reads it, before anything is loaded.
struct DllFile {
    const char *name = "";
    std::string path;        // "" when not found
    std::string firstFolder; // the folder looked in first
    const char *firstOwner = "";  // what lies in that folder: "vorlane-cli" or "Vorlane.dll"
    bool readable = false;   // the file was read and its headers make sense
    std::string unreadable;  // else why not
    pe::Image image;
    std::string problem;     // why it cannot be used, "" when it can
};

bool IsVorlane(const DllFile &dll) { return std::strcmp(dll.name, kVorlaneName) == 0; }

std::string FolderOf(const std::string &path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string OwnFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::string(".") : FolderOf(path);
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

std::string FindInFolders(const char *name, const std::string &first) {
    for (std::string folder : SearchFolders(first)) {
        if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
        const std::string candidate = folder + name;
        const DWORD attributes = GetFileAttributesA(candidate.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return candidate;
    }
    return "";
}

std::string WindowsError(DWORD code) {
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   text, sizeof text, nullptr);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    char number[32];
    std::snprintf(number, sizeof number, "Windows error %lu", static_cast<unsigned long>(code));
    return message.empty() ? number : std::string(number) + ": " + message;
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
    const std::string folder = FolderOf(dll.path);
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
    std::string why = ReadWholeFile(dll.path, bytes);
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
            if (!pe::OrdinalOf(dll.image, call)) missing += (missing.empty() ? "" : ", ") + std::string(call);
        if (!missing.empty())
            dll.problem = Located(dll) + " lacks " + missing + ", which Vorlane calls; it is not " +
                          "the card's driver. " + WhatToDo(dll);
    }
    return dll;
}

DllFile ExamineVorlane() { return Examine(kVorlaneName, OwnFolder(), "vorlane-cli", 0); }

// The driver as Vorlane.dll will import it: beside Vorlane.dll first, or,
// with no Vorlane.dll yet, beside this program where it belongs.
DllFile ExamineDriver(const DllFile &library) {
    const std::string first = library.path.empty() ? OwnFolder() : FolderOf(library.path);
    return Examine(kDriverName, first, library.path.empty() ? "vorlane-cli" : kVorlaneName,
                   library.readable ? library.image.machine : 0);
}

// Loads the examined Vorlane.dll and finds its five functions, each by its
// name and by the ordinal vorlane.h states. Returns why it failed, or "".
std::string LoadVorlaneFile(const DllFile &library) {
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
        wanted.store(reinterpret_cast<void *>(byName));
    }
    return "";
}

// For the commands that use the card: the first problem on one line on
// stderr, and false, when a DLL cannot be used.
bool LoadVorlane() {
    const DllFile library = ExamineVorlane();
    const DllFile driver = ExamineDriver(library);
    std::string problem = !library.problem.empty() ? library.problem : driver.problem;
    if (problem.empty()) problem = LoadVorlaneFile(library);
    if (problem.empty()) return true;
    std::fprintf(stderr, "vorlane-cli: %s\n", problem.c_str());
    return false;
}

std::string FileVersion(const std::string &path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::vector<uint8_t> data(size);
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void **>(&fixed), &length) ||
        !fixed || length < sizeof *fixed)
        return "no version resource";
    char text[64];
    std::snprintf(text, sizeof text, "file version %lu.%lu.%lu.%lu",
                  static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)),
                  static_cast<unsigned long>(LOWORD(fixed->dwFileVersionLS)));
    return text;
}

// Where the DLL was found, its bitness and version, and each export Vorlane
// needs from it, "ok" or "missing".
void PrintDll(const DllFile &dll) {
    if (dll.path.empty()) {
        std::printf("%s: not found beside %s (%s), in the system folders, the current folder or "
                    "on the PATH\n", dll.name, dll.firstOwner, dll.firstFolder.c_str());
        return;
    }
    std::printf("%s: %s\n", dll.name, dll.path.c_str());
    if (!dll.readable) {
        std::printf("  %s\n", dll.unreadable.c_str());
        return;
    }
    std::printf("  %s, %s\n", pe::Bitness(dll.image.machine).c_str(), FileVersion(dll.path).c_str());
    if (IsVorlane(dll)) {
        for (const VorlaneExport &wanted : kVorlaneExports) {
            const uint32_t ordinal = pe::OrdinalOf(dll.image, wanted.name);
            std::printf("  %-12s ordinal %u  %s", wanted.name, wanted.ordinal,
                        ordinal == wanted.ordinal ? "ok" : "missing");
            if (ordinal && ordinal != wanted.ordinal) std::printf(" (exported at %u)", ordinal);
            std::printf("\n");
        }
    } else {
        for (const char *call : kDriverCalls)
            std::printf("  %-24s %s\n", call, pe::OrdinalOf(dll.image, call) ? "ok" : "missing");
    }
}

// ---- the virtual card's extras, found at run time ----

// Present only when the CG400D32.dll that Vorlane.dll loaded is the virtual card.
template <typename Function>
Function VirtualCardFunction(const char *name) {
    const HMODULE card = GetModuleHandleA(kDriverName);
    return card ? reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(card, name)))
                : nullptr;
}

using GetStatsFunction = void(__stdcall *)(VcStats *);
using SetScenePictureFunction = int32_t(__stdcall *)(const char *);
using PlayFolderFunction = int32_t(__stdcall *)(const char *, char *, int32_t);

// ---- counting the pictures painted ----

// Watches the preview's area on the screen and counts how often it changes.
// It needs nothing from the card, so it counts on the real driver as well.
// The area is read in one piece: pieces read one after another could
// straddle a paint and count it twice, and a part of it may stay still.
class PaintCounter {
public:
    PaintCounter(int x, int y, int width, int height) {
        // Only the part of the area that lies on the screen can be watched.
        const int screenLeft = GetSystemMetrics(SM_XVIRTUALSCREEN);
        const int screenTop = GetSystemMetrics(SM_YVIRTUALSCREEN);
        const int left = std::max(x, screenLeft);
        const int right = std::min(x + width, screenLeft + GetSystemMetrics(SM_CXVIRTUALSCREEN));
        const int top = std::max(y, screenTop);
        const int bottom = std::min(y + height, screenTop + GetSystemMetrics(SM_CYVIRTUALSCREEN));
        if (right <= left || bottom <= top) return;
        area_ = RECT{left, top, right, bottom};

        screen_ = GetDC(nullptr);
        memory_ = CreateCompatibleDC(screen_);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = right - left;
        info.bmiHeader.biHeight = bottom - top;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void *bits = nullptr;
        bitmap_ = CreateDIBSection(memory_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!screen_ || !memory_ || !bitmap_) return;
        bits_ = static_cast<const uint8_t *>(bits);
        previousBitmap_ = SelectObject(memory_, bitmap_);
        watching_ = true;
        Changed();  // what was there before the preview
    }
    ~PaintCounter() {
        if (previousBitmap_) SelectObject(memory_, previousBitmap_);
        if (bitmap_) DeleteObject(bitmap_);
        if (memory_) DeleteDC(memory_);
        if (screen_) ReleaseDC(nullptr, screen_);
    }
    PaintCounter(const PaintCounter &) = delete;
    PaintCounter &operator=(const PaintCounter &) = delete;

    bool watching() const { return watching_; }

    // True when the area differs from the last look.
    bool Changed() {
        if (!watching_) return false;
        const int width = area_.right - area_.left;
        const int height = area_.bottom - area_.top;
        BitBlt(memory_, 0, 0, width, height, screen_, area_.left, area_.top, SRCCOPY);
        GdiFlush();
        // FNV-1a: enough to tell one picture from the next.
        uint64_t hash = 14695981039346656037ull;
        const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
        for (size_t i = 0; i < bytes; ++i) hash = (hash ^ bits_[i]) * 1099511628211ull;
        const bool changed = hash != lastHash_;
        lastHash_ = hash;
        return changed;
    }

private:
    bool watching_ = false;
    RECT area_{};
    HDC screen_ = nullptr;
    HDC memory_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    const uint8_t *bits_ = nullptr;
    uint64_t lastHash_ = 0;
};

std::atomic<bool> stopRequested{false};

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    stopRequested = true;
    return TRUE;
}

// ---- the keys window ----

// Vorlane reads the A/D chords from the keys that the thread which called
// EasyInit takes from its queue. A console's keys go to the console, not to
// this thread, so the operator needs a window of ours to press them in.
const char kKeysWindowTitle[] = "Vorlane preview keys";
const char kKeysText[] =
    "Keys for the card's A/D adjustments,\n"
    "while this window has the focus:\n"
    "\n"
    "A/D 1 up\tCtrl+=  or  Ctrl+0\n"
    "A/D 1 down\tCtrl+-  or  Ctrl+9\n"
    "A/D 2 up\tAlt+=  or  Ctrl+8\n"
    "A/D 2 down\tAlt+-  or  Ctrl+7\n"
    "A/D 4 up\tCtrl+6\n"
    "A/D 4 down\tCtrl+5\n"
    "\n"
    "Each press steps by 8, within 0 to 255.\n"
    "Closing this window ends the preview.";
const char kVirtualCardText[] =
    "\n\nOn the virtual card A/D 1 is brightness,\n"
    "2 contrast and 4 saturation.";
constexpr int kMargin = 12;

void DrawKeysText(HDC dc, bool virtualCard, RECT &area, UINT extraFormat) {
    const HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    // One tab stop past the longest adjustment's name, in average character widths.
    DRAWTEXTPARAMS tabs{};
    tabs.cbSize = sizeof tabs;
    tabs.iTabLength = 12;
    std::string text = std::string(kKeysText) + (virtualCard ? kVirtualCardText : "");
    DrawTextExA(dc, text.data(), -1, &area,
                DT_LEFT | DT_NOPREFIX | DT_EXPANDTABS | DT_TABSTOP | extraFormat, &tabs);
    SelectObject(dc, oldFont);
}

LRESULT CALLBACK KeysWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(window, &paint);
        RECT area;
        GetClientRect(window, &area);
        InflateRect(&area, -kMargin, -kMargin);
        const bool virtualCard = GetWindowLongPtrA(window, GWLP_USERDATA) != 0;
        DrawKeysText(dc, virtualCard, area, 0);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_SYSCHAR:
        return 0;  // Alt+= and Alt+- are chords, not menu keys: no beep
    case WM_SYSCOMMAND:
        // Alt alone would open the window menu, whose loop holds up ours.
        if ((wParam & 0xFFF0) == SC_KEYMENU) return 0;
        break;
    case WM_CLOSE:
        stopRequested = true;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Where a window of this size lies beside the picture without covering it:
// right of it, else left, above or below, within the work area of the
// picture's monitor; else the work area's top-right corner.
POINT KeysWindowPlace(const RECT &picture, SIZE size) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromRect(&picture, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT work = monitor.rcWork;
    constexpr int gap = 16;
    const POINT candidates[] = {
        {picture.right + gap, picture.top},
        {picture.left - gap - size.cx, picture.top},
        {picture.left, picture.top - gap - size.cy},
        {picture.left, picture.bottom + gap},
    };
    for (const POINT &at : candidates) {
        if (at.x >= work.left && at.y >= work.top && at.x + size.cx <= work.right &&
            at.y + size.cy <= work.bottom)
            return at;
    }
    return POINT{work.right - size.cx, work.top};
}

// Made after EasyInit: only then do the keys pressed in it reach Vorlane.
// The window is left to go with the process: under Wine, hiding or
// destroying it waits two seconds for a window manager that a bare X screen
// lacks. Returns false when no window could be made.
bool ShowKeysWindow(const RECT &picture, bool virtualCard) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = KeysWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    windowClass.lpszClassName = "VorlaneCliKeys";
    RegisterClassA(&windowClass);

    // Sized to the text.
    RECT frame{0, 0, 0, 0};
    const HDC screen = GetDC(nullptr);
    DrawKeysText(screen, virtualCard, frame, DT_CALCRECT);
    ReleaseDC(nullptr, screen);
    frame.right += 2 * kMargin;
    frame.bottom += 2 * kMargin;
    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRect(&frame, style, FALSE);
    const SIZE size{frame.right - frame.left, frame.bottom - frame.top};
    const POINT at = KeysWindowPlace(picture, size);

    const HWND window = CreateWindowExA(0, windowClass.lpszClassName, kKeysWindowTitle, style, at.x,
                                        at.y, size.cx, size.cy, nullptr, nullptr, instance, nullptr);
    if (!window) return false;
    SetWindowLongPtrA(window, GWLP_USERDATA, virtualCard);
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    SetFocus(window);
    return true;
}

double SecondsSince(LARGE_INTEGER start, LARGE_INTEGER frequency) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct PreviewCount {
    long long painted = 0;
    double firstPaint = 0;
    double lastPaint = 0;
    double ran = 0;
    void Painted(double now) {
        if (painted++ == 0) firstPaint = now;
        lastPaint = now;
    }
    // The rate between the first and the last picture, not counting set-up.
    double rate() const {
        return painted > 1 && lastPaint > firstPaint
                   ? static_cast<double>(painted - 1) / (lastPaint - firstPaint)
                   : 0;
    }
};

// A host thread keeps its messages moving: Vorlane passes the adjustment keys
// on from here.
void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// The virtual card's own figures; all zero on another driver.
VcStats CardStats(GetStatsFunction getStats) {
    VcStats stats{};
    if (getStats) getStats(&stats);
    return stats;
}

bool SameAdValues(const VcStats &a, const VcStats &b) {
    return std::equal(a.adValues, a.adValues + 3, b.adValues);
}

std::string CardSummary(GetStatsFunction getStats) {
    if (!getStats) return "";
    const VcStats stats = CardStats(getStats);
    char text[96];
    std::snprintf(text, sizeof text, "   card delivered %lld frames, A/D %d %d %d",
                  static_cast<long long>(stats.reads), stats.adValues[0], stats.adValues[1],
                  stats.adValues[2]);
    return text;
}

// Lets the preview run while counting, until the time is up, Ctrl+C or the
// keys window is closed.
PreviewCount RunPreview(PaintCounter &counter, double seconds, GetStatsFunction getStats) {
    LARGE_INTEGER frequency, start;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    PreviewCount count;
    double nextReport = 0;
    VcStats shown = CardStats(getStats);
    const bool console = _isatty(_fileno(stdout)) != 0;
    for (;;) {
        const double now = SecondsSince(start, frequency);
        if ((seconds > 0 && now >= seconds) || stopRequested) {
            count.ran = now;
            break;
        }
        PumpMessages();
        if (counter.Changed()) count.Painted(now);
        // A step of the A/D values shows at once; else on a console the line
        // is rewritten in place, in a log one comes a second. The line fits
        // 80 columns, or a console would wrap it and \r not reach its start.
        const VcStats card = CardStats(getStats);
        if (now >= nextReport || !SameAdValues(card, shown)) {
            std::printf("%s%6.1f s  frames painted %6lld (%5.1f/s)", console ? "\r" : "", now,
                        count.painted, count.rate());
            if (getStats)
                std::printf("  delivered %6lld  A/D %3d %3d %3d",
                            static_cast<long long>(card.reads), card.adValues[0],
                            card.adValues[1], card.adValues[2]);
            std::printf(console ? "  " : "\n");
            std::fflush(stdout);
            shown = card;
            if (now >= nextReport) nextReport += console ? 0.25 : 1.0;
        }
        Sleep(1);
    }
    if (console) std::printf("\n");
    return count;
}

// A file name for the frame when only its grey version is wanted.
std::string TemporaryBmpPath() {
    char folder[MAX_PATH];
    char path[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length > MAX_PATH || !GetTempFileNameA(folder, "vlc", 0, path)) return "";
    return path;
}

int Grey(const char *source, const char *destination) {
    if (!vorlane.Color2Gray(source, destination)) {
        std::fprintf(stderr,
                     "vorlane-cli: could not convert %s to grey in %s (the source must be an "
                     "existing 24-bit BMP file, the destination a writable file of another name)\n",
                     source, destination);
        return kExitFailed;
    }
    std::printf("grey picture written to %s\n", destination);
    return kExitOk;
}

int Preview(const PreviewOptions &options) {
    // The same geometry that Vorlane.dll makes of the height.
    const int height = std::min(std::max(options.height, 80), 576) & ~15;
    const int width = height / 4 * 3;
    const std::string save = !options.save.empty() ? options.save
                             : !options.grey.empty() ? TemporaryBmpPath()
                                                      : "";
    if (!options.grey.empty() && save.empty()) {
        std::fprintf(stderr, "vorlane-cli: no temporary file for the frame; give --save FILE\n");
        return kExitFailed;
    }

    const DWORD sceneAttributes = options.scene.empty() ? INVALID_FILE_ATTRIBUTES
                                                        : GetFileAttributesA(options.scene.c_str());
    if (sceneAttributes != INVALID_FILE_ATTRIBUTES && (sceneAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        const auto playFolder = VirtualCardFunction<PlayFolderFunction>("VcPlayFolder");
        if (!playFolder)
            return Usage("--scene works on the virtual card only; this CG400D32.dll is another driver");
        char reason[1024] = "";
        if (!playFolder(options.scene.c_str(), reason, sizeof reason)) {
            std::fprintf(stderr, "vorlane-cli: the virtual card refused the footage: %s\n", reason);
            return kExitUsage;
        }
    } else if (!options.scene.empty()) {
        // Vorlane.dll has loaded the driver by now, so this finds the one in use.
        const auto setScene = VirtualCardFunction<SetScenePictureFunction>("VcSetScenePicture");
        if (!setScene)
            return Usage("--scene works on the virtual card only; this CG400D32.dll is another driver");
        if (!setScene(options.scene.c_str())) {
            std::fprintf(stderr, "vorlane-cli: the virtual card could not use %s as its scene "
                                 "(it takes an uncompressed 24-bit BMP file)\n",
                         options.scene.c_str());
            return kExitFailed;
        }
    }
    const auto getStats = VirtualCardFunction<GetStatsFunction>("VcGetStats");

    PaintCounter counter(options.x, options.y, width, height);
    char duration[32] = "until Ctrl+C";
    if (options.seconds > 0) std::snprintf(duration, sizeof duration, "%g s", options.seconds);
    std::printf("preview: %d x %d at (%d, %d), colour mode %d, %s%s\n", width, height, options.x,
                options.y, options.mode, duration, getStats ? ", on the virtual card" : "");
    if (!counter.watching())
        std::printf("preview: the picture lies off the screen; frames are not counted\n");

    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    if (!vorlane.EasyInit(options.x, options.y, options.height, options.mode)) {
        std::fprintf(stderr, "vorlane-cli: EasyInit failed: the card could not be opened "
                             "(is the card's driver CG400D32.dll installed and the card present?)\n");
        return kExitFailed;
    }
    if (options.keysWindow) {
        if (ShowKeysWindow(RECT{options.x, options.y, options.x + width, options.y + height},
                           getStats != nullptr))
            std::printf("preview: the A/D chords work while the window \"%s\" has the focus\n",
                        kKeysWindowTitle);
        else
            std::printf("preview: no keys window could be made; the A/D chords are not read\n");
    }
    const PreviewCount count = RunPreview(counter, options.seconds, getStats);
    std::printf("preview: %lld frames painted in %.1f s, %.1f frames/s%s\n", count.painted,
                count.ran, count.rate(), CardSummary(getStats).c_str());
    if (count.painted == 0 && counter.watching())
        std::printf("preview: no picture appeared on the screen; the saved frame will be black\n");

    if (save.empty()) {
        if (!vorlane.FreeCG200()) {
            std::fprintf(stderr, "vorlane-cli: FreeCG200 failed: the card did not close\n");
            return kExitFailed;
        }
        std::printf("card closed\n");
        return kExitOk;
    }
    if (!vorlane.EasyCapture(save.c_str())) {
        std::fprintf(stderr, "vorlane-cli: EasyCapture could not save the frame to %s\n", save.c_str());
        // A failed save leaves the card open; close it before going.
        if (!vorlane.FreeCG200()) std::fprintf(stderr, "vorlane-cli: FreeCG200 failed too: the card did not close\n");
        return kExitFailed;
    }
    if (!options.save.empty()) std::printf("frame saved to %s\n", save.c_str());
    int status = kExitOk;
    if (!options.grey.empty()) status = Grey(save.c_str(), options.grey.c_str());
    if (options.save.empty()) DeleteFileA(save.c_str());
    return status;
}

// Opens the card as a host does and counts the pictures painted: until a
// second after the first one, or 5 s with none. Never touches the card's
// A/D adjustments.
int OpenCard(int x, int y) {
    constexpr int kHeight = 480;
    constexpr int kWidth = kHeight / 4 * 3;
    constexpr double kNoPictureSeconds = 5;
    constexpr double kCountingSeconds = 1;
    PaintCounter counter(x, y, kWidth, kHeight);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    if (!vorlane.EasyInit(x, y, kHeight, 1)) {
        std::printf("the card does not open: EasyInit failed\n");
        std::fprintf(stderr, "vorlane-cli: the card does not open (is it in its slot, and is its "
                             "driver the card maker's?)\n");
        return kExitFailed;
    }
    LARGE_INTEGER frequency, start;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    PreviewCount count;
    for (;;) {
        const double now = SecondsSince(start, frequency);
        if (stopRequested || now >= kNoPictureSeconds ||
            (count.painted > 0 && now >= count.firstPaint + kCountingSeconds) ||
            !counter.watching())
            break;
        PumpMessages();
        if (counter.Changed()) count.Painted(now);
        Sleep(1);
    }
    if (!vorlane.FreeCG200()) {
        std::printf("the card opened but did not close: FreeCG200 failed\n");
        std::fprintf(stderr, "vorlane-cli: the card did not close\n");
        return kExitFailed;
    }
    if (!counter.watching()) {
        std::printf("card opens; the picture lies off the screen, so its frames are not counted\n");
        return kExitOk;
    }
    if (count.painted == 0) {
        std::printf("the card opened but painted no picture in %g s\n", kNoPictureSeconds);
        std::fprintf(stderr, "vorlane-cli: the card opened but painted no picture (is a camera "
                             "connected to it?)\n");
        return kExitFailed;
    }
    std::printf("card opens, %.0f frames a second\n", count.rate());
    return kExitOk;
}

// Where each DLL was found and whether it can be used; with `open`, also
// whether the card opens. Every DLL that cannot be used gets its line on
// stderr.
int Check(const PreviewOptions &options) {
    const DllFile library = ExamineVorlane();
    const DllFile driver = ExamineDriver(library);
    PrintDll(library);
    PrintDll(driver);
    std::string problems[] = {library.problem, driver.problem};
    if (problems[0].empty() && problems[1].empty()) problems[0] = LoadVorlaneFile(library);
    bool usable = true;
    for (const std::string &problem : problems) {
        if (problem.empty()) continue;
        std::fprintf(stderr, "vorlane-cli: %s\n", problem.c_str());
        usable = false;
    }
    if (!usable) {
        std::printf("a DLL cannot be used\n");
        return kExitDllUnusable;
    }
    if (!options.open) {
        std::printf("everything is in place; 'vorlane-cli check --open' also opens the card\n");
        return kExitOk;
    }
    return OpenCard(options.x, options.y);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fputs(kHelp, stderr);
        return kExitUsage;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "/?" || command == "help") {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (command == "preview") {
        PreviewOptions options;
        const int status = ParsePreviewOptions(argc - 2, argv + 2, options);
        if (status >= 0) return status;
        if (options.open) return Usage("unknown option --open");
        return LoadVorlane() ? Preview(options) : kExitDllUnusable;
    }
    if (command == "grey") {
        if (argc != 4) return Usage("grey takes two file names: SRC.bmp DST.bmp");
        return LoadVorlane() ? Grey(argv[2], argv[3]) : kExitDllUnusable;
    }
    if (command == "reset") {
        if (argc != 2) return Usage("reset takes no arguments");
        if (!LoadVorlane()) return kExitDllUnusable;
        if (!vorlane.HDReset()) {
            std::fprintf(stderr, "vorlane-cli: HDReset failed: the card could not be opened or closed\n");
            return kExitFailed;
        }
        std::printf("the card's A/D adjustments are back at 128\n");
        return kExitOk;
    }
    if (command == "check") {
        for (int i = 2; i < argc; ++i) {
            const std::string name = std::string(argv[i]).substr(0, std::string(argv[i]).find('='));
            if (name.rfind("--", 0) == 0 && name != "--open" && name != "--x" && name != "--y")
                return Usage("check takes only --open, --x X and --y Y");
        }
        PreviewOptions options;
        const int status = ParsePreviewOptions(argc - 2, argv + 2, options);
        return status >= 0 ? status : Check(options);
    }
    return Usage(("unknown command " + command).c_str());
}
