// What the reliability tests share: stand-ins for the system calls
// Vorlane.dll imports, put into its import table so a test can count what it
// asks for or make a call fail (as the virtual card does for the card's own
// calls); and the length of the long runs.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "test_support.h"

namespace rely {

// Replaces Vorlane.dll's import of `dll`!`function` with `replacement`;
// returns the original, or nullptr when Vorlane does not import it.
inline void *PatchImport(const char *dll, const char *function, void *replacement) {
    auto *base = reinterpret_cast<BYTE *>(GetModuleHandleA("Vorlane.dll"));
    if (!base) return nullptr;
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return nullptr;
    for (auto *entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
         entry->Name; ++entry) {
        if (lstrcmpiA(reinterpret_cast<const char *>(base + entry->Name), dll) != 0) continue;
        auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + entry->OriginalFirstThunk);
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto *byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char *>(byName->Name), function) != 0) continue;
            DWORD old = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            void *original = reinterpret_cast<void *>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            return original;
        }
    }
    return nullptr;
}

// Holds one import replaced for the life of the guard.
class ImportPatch {
public:
    ImportPatch(const char *dll, const char *function, void *replacement)
        : dll_(dll), function_(function), original_(PatchImport(dll, function, replacement)) {}
    ~ImportPatch() {
        if (original_) PatchImport(dll_, function_, original_);
    }
    ImportPatch(const ImportPatch &) = delete;
    ImportPatch &operator=(const ImportPatch &) = delete;
    explicit operator bool() const { return original_ != nullptr; }
    void *original() const { return original_; }

private:
    const char *dll_;
    const char *function_;
    void *original_;
};

// How many rounds a long run makes: `exact` from the environment when set,
// `full` with VORLANE_SOAK=1, `quick` otherwise.
inline int Rounds(const char *exact, int quick, int full) {
    if (const char *n = std::getenv(exact); n && *n) return std::atoi(n);
    const char *soak = std::getenv("VORLANE_SOAK");
    return soak && *soak && *soak != '0' ? full : quick;
}

}  // namespace rely
