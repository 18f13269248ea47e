// The one preview thread that EasyInit starts.
#pragma once

#include <windows.h>

// The preview thread's body; started by EasyInit with a reference to this
// module, which the thread gives back as it exits.
DWORD WINAPI PreviewThread(LPVOID moduleReference);
