// A loaded module's import table, to watch the calls it makes into Windows
// without touching its code.
#pragma once

#include <windows.h>

namespace vt {

// Points `module`'s import of `function` from `dll` at `replacement` and
// returns what it pointed at, or nullptr when the module has no such import.
// Holds until the module is unloaded.
void *ReplaceImport(HMODULE module, const char *dll, const char *function, void *replacement);

}  // namespace vt
