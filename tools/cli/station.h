// The station's two DLLs as vorlane-cli finds them: where the loader would
// take them from, whether they are of this program's bitness and export what
// is needed, and Vorlane.dll loaded by its full path.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/pe_image.h"
#include "core/virtual_card_mark.h"
#include "windows_error.h"
#include "vorlane.h"

namespace cli {

constexpr const char *kVorlaneName = "Vorlane.dll";
constexpr const char *kDriverName = "CG400D32.dll";

#ifdef _WIN64
constexpr uint16_t kOwnMachine = pe::kMachineAmd64;
#else
constexpr uint16_t kOwnMachine = pe::kMachineI386;
#endif

// Vorlane's five functions, found in Vorlane.dll at run time.
struct VorlaneFunctions {
    decltype(&::FreeCG200) FreeCG200 = nullptr;
    decltype(&::EasyInit) EasyInit = nullptr;
    decltype(&::EasyCapture) EasyCapture = nullptr;
    decltype(&::Color2Gray) Color2Gray = nullptr;
    decltype(&::HDReset) HDReset = nullptr;
};

// Each function by its name and the ordinal vorlane.h states.
struct VorlaneExport {
    const char *name;
    uint32_t ordinal;
    void (*store)(VorlaneFunctions &functions, void *function);
};

constexpr int kVorlaneExportCount = 5;
extern const VorlaneExport kVorlaneExports[kVorlaneExportCount];

// One DLL as vorlane-cli finds and reads it, before anything is loaded.
struct DllFile {
    const char *name = "";
    std::string path;             // "" when not found
    std::string firstFolder;      // the folder looked in first
    const char *firstOwner = "";  // what lies in that folder: "vorlane-cli" or "Vorlane.dll"
    bool readable = false;        // the file was read and its headers make sense
    std::string unreadable;       // else why not
    pe::Image image;
    std::string problem;          // why it cannot be used, "" when it can
};

bool IsVorlane(const DllFile &dll);

DllFile ExamineVorlane();
// The driver as Vorlane.dll will import it: beside Vorlane.dll first, or,
// with no Vorlane.dll yet, beside this program where it belongs.
DllFile ExamineDriver(const DllFile &library);

// A line for each CG400D32.dll that is the virtual card wherever a host
// or Vorlane.dll may load it from: beside vorlane-cli, beside Vorlane.dll
// and in the folders the loader searches.
std::vector<std::string> VirtualCardsFound(const DllFile &library);

// Loads the examined Vorlane.dll and finds its five functions, each by its
// name and by its ordinal. Returns why it failed, or "".
std::string LoadVorlaneFile(const DllFile &library, VorlaneFunctions &functions);

// For the commands that use the card: the first problem on one line on
// stderr, and false, when a DLL cannot be used.
bool LoadVorlane(VorlaneFunctions &functions);

}  // namespace cli
