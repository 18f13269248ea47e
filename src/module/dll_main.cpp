#include <windows.h>

// Nothing to do on load or unload: threads are started and stopped only by
// the exported calls, never under the loader lock.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
