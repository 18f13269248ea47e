#include <windows.h>

#include "vorlane.h"

extern "C" int __stdcall Color2Gray(const char *, const char *) { return 0; }
