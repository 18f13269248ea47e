// What the reliability tests share: stand-ins for the system calls
// Vorlane.dll imports, put into its import table so a test can count what it
// asks for or make a call fail (as the virtual card does for the card's own
// calls); and the length of the long runs.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "test_support.h"

namespace rely {

// Replaces Vorlane.dll's import of `dll`!`function` with `replacement`;
// returns the original, or nullptr when Vorlane does not import it.
inline void *PatchImport(const char *dll, const char *function, void *replacement) {
    const HMODULE vorlane = GetModuleHandleA("Vorlane.dll");
    return vorlane ? vt::ReplaceImport(vorlane, dll, function, replacement) : nullptr;
}

// Vorlane.dll's imports replaced for the life of the guard, each given as
// DLL, function and stand-in. This program's own imports stay as they were,
// so a stand-in reaches the system function by calling it by name.
class ImportPatches {
public:
    struct Stand {
        template <typename Function>
        Stand(const char *inDll, const char *named, Function *to)
            : dll(inDll), function(named), replacement(reinterpret_cast<void *>(to)) {}
        const char *dll;
        const char *function;
        void *replacement;  // once in place: the original
    };
    ImportPatches(std::initializer_list<Stand> stands) : stands_(stands) {
        for (Stand &s : stands_) s.replacement = Swap(s);
    }
    ~ImportPatches() {
        for (Stand &s : stands_)
            if (s.replacement) Swap(s);
    }
    ImportPatches(const ImportPatches &) = delete;
    ImportPatches &operator=(const ImportPatches &) = delete;
    // False when Vorlane does not import one of them.
    explicit operator bool() const {
        for (const Stand &s : stands_)
            if (!s.replacement) return false;
        return true;
    }

private:
    static void *Swap(const Stand &s) { return PatchImport(s.dll, s.function, s.replacement); }
    std::vector<Stand> stands_;
};

// How many rounds a long run makes: `exact` from the environment when set,
// `full` with VORLANE_SOAK=1, `quick` otherwise.
inline int Rounds(const char *exact, int quick, int full) {
    if (const char *n = std::getenv(exact); n && *n) return std::atoi(n);
    const char *soak = std::getenv("VORLANE_SOAK");
    return soak && *soak && *soak != '0' ? full : quick;
}

}  // namespace rely
