#!/usr/bin/env python3
"""What the shipped binaries need from Windows, read from their import tables
and PE headers (objdump -p, -h), checked against Windows XP SP3 (x86) and
XP x64 / Server 2003 (x64):
  - Vorlane.dll imports only what ALLOWED lists, every entry present on XP SP3;
  - every other binary imports nothing of VISTA_OR_LATER;
  - OS and subsystem versions at most 5.1 (x86) or 5.2 (x64);
  - stripped, with a debug link to NAME.debug beside it, which holds the
    debug information;
  - Vorlane.dll at most 64 KB.
Usage: shipped_imports_check.py OBJDUMP win32|win64 VORLANE_DLL OTHER..."""
import os
import re
import subprocess
import sys

# DLL (lower case) -> functions Vorlane.dll may import. All exist on XP SP3.
ALLOWED = {
    "cg400d32.dll": """BeginCG400 EndCG400 CG400SetInpVideoWindow CG400SetDispWindow
        CG400SetColorSpace CG400SetADParam StaticMemAlloc CG400SnapOneToMem
        CG400GetSnappingStatus CG400ReadFromMem""",
    "gdi32.dll": "SetBkMode SetDIBitsToDevice SetStretchBltMode",
    "kernel32.dll": """CloseHandle CreateEventA CreateFileA CreateThread DeleteCriticalSection
        EnterCriticalSection FreeLibrary FreeLibraryAndExitThread GetCurrentThreadId GetFileAttributesA
        GetFileAttributesExA GetFileInformationByHandle GetFileSizeEx GetLastError
        GetModuleHandleA GetModuleHandleExA GetProcAddress GlobalAlloc GlobalFree
        GlobalLock GlobalUnlock InitializeCriticalSection LeaveCriticalSection
        LoadLibraryA SetEvent Sleep TlsGetValue VirtualProtect VirtualQuery WaitForMultipleObjects
        WaitForSingleObject
        _lclose _lcreat _lopen _lread _lwrite""",
    "user32.dll": """CallNextHookEx DispatchMessageA GetDC GetKeyState GetKeyboardState
        InvalidateRect MessageBoxA PeekMessageA PostThreadMessageA ReleaseDC
        SetKeyboardState SetWindowsHookExA TranslateMessage UnhookWindowsHookEx""",
    # The C runtime start-up of the DLL and its error report.
    "msvcrt.dll": """__iob_func _amsg_exit _initterm _iob _lock _unlock abort calloc free
        fwrite realloc strlen strncmp vfprintf""",
}
ALLOWED = {dll: set(names.split()) for dll, names in ALLOWED.items()}

# Functions that came with Windows Vista or later (or, on x86, with Server
# 2003 only), as the C and C++ runtimes and our own code might reach them.
VISTA_OR_LATER = set("""
    GetTickCount64 InitializeSRWLock AcquireSRWLockExclusive AcquireSRWLockShared
    ReleaseSRWLockExclusive ReleaseSRWLockShared TryAcquireSRWLockExclusive
    TryAcquireSRWLockShared InitializeConditionVariable SleepConditionVariableCS
    SleepConditionVariableSRW WakeConditionVariable WakeAllConditionVariable
    InitOnceInitialize InitOnceExecuteOnce InitOnceBeginInitialize InitOnceComplete
    InitializeCriticalSectionEx FlsAlloc FlsFree FlsGetValue FlsSetValue
    GetCurrentProcessorNumber GetCurrentProcessorNumberEx CreateEventExA CreateEventExW
    CreateMutexExA CreateMutexExW CreateSemaphoreExA CreateSemaphoreExW
    CreateWaitableTimerExW GetFileInformationByHandleEx SetFileInformationByHandle
    GetFinalPathNameByHandleA GetFinalPathNameByHandleW CancelIoEx CancelSynchronousIo
    CreateSymbolicLinkA CreateSymbolicLinkW GetErrorMode SetThreadErrorMode
    GetThreadErrorMode QueryFullProcessImageNameA QueryFullProcessImageNameW
    GetLocaleInfoEx LCMapStringEx CompareStringEx GetUserDefaultLocaleName
    GetSystemDefaultLocaleName GetSystemTimePreciseAsFileTime GetQueuedCompletionStatusEx
    InitializeProcThreadAttributeList UpdateProcThreadAttribute
    DeleteProcThreadAttributeList GetActiveProcessorCount GetMaximumProcessorCount
    CreateThreadpoolWork SubmitThreadpoolWork CloseThreadpoolWork
    TrySubmitThreadpoolCallback CreateThreadpoolTimer SetThreadpoolTimer
    WaitForThreadpoolWorkCallbacks GetThreadId GetProcessIdOfThread CreateFile2
    CopyFile2 GetOverlappedResultEx SetDefaultDllDirectories AddDllDirectory
    RemoveDllDirectory K32EnumProcessModules K32GetProcessMemoryInfo
    K32GetModuleBaseNameA K32GetModuleFileNameExA InterlockedCompareExchange64
    RegGetValueA RegGetValueW RegDeleteTreeA RegDeleteTreeW RegSetKeyValueA
    SetProcessDPIAware IsProcessDPIAware ChangeWindowMessageFilter
    ChangeWindowMessageFilterEx GetDpiForWindow GetDpiForSystem
    SetProcessDpiAwarenessContext AddClipboardFormatListener ShutdownBlockReasonCreate
    RegisterPowerSettingNotification CalculatePopupWindowPosition
""".split())
# Libraries that XP does not have at all.
VISTA_OR_LATER_DLLS = re.compile(r"^(api-ms-win-.*|ext-ms-.*|ucrtbase|vcruntime.*|dwmapi|bcrypt|"
                                 r"bcryptprimitives|ncrypt|uxtheme-vista)\.dll$", re.I)


def run(objdump, *args):
    return subprocess.run([objdump, *args], capture_output=True, text=True).stdout


def imports(dump):
    """(dll, function) pairs of the import table; ordinals as '#n'."""
    found, dll = [], None
    for line in dump.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1)
            continue
        m = re.match(r"^\t[0-9a-f]+\t +(\d+) +(\S+)\s*$", line)
        if dll and m:
            found.append((dll, m.group(2)))
            continue
        m = re.match(r"^\t[0-9a-f]+\t +<none> +(\S+)|^\t[0-9a-f]+\t +(\d+) *$", line)
        if dll and m:
            found.append((dll, "#" + (m.group(1) or m.group(2))))
        if line.startswith("The Export Tables") or line.startswith("PE File Base Relocations"):
            dll = None
    return found


def header_value(dump, field):
    m = re.search(r"^%s\s+(\S+)" % field, dump, re.M)
    return int(m.group(1), 16 if field == "Subsystem" else 10) if m else None


def main():
    objdump, arch, vorlane, *others = sys.argv[1:]
    highest = (5, 1) if arch == "win32" else (5, 2)
    failures = []

    def fail(binary, what):
        failures.append("%s: %s" % (os.path.basename(binary), what))

    for binary in [vorlane, *others]:
        dump = run(objdump, "-p", binary)
        table = imports(dump)
        if not table:
            fail(binary, "no import table read")
        for dll, function in table:
            if VISTA_OR_LATER_DLLS.match(dll):
                fail(binary, "imports %s!%s: %s is not on Windows XP" % (dll, function, dll))
            if binary == vorlane:
                if function not in ALLOWED.get(dll.lower(), set()):
                    fail(binary, "imports %s!%s, which is not in the allowed list" % (dll, function))
            elif function in VISTA_OR_LATER:
                fail(binary, "imports %s!%s, which came with Windows Vista or later" % (dll, function))
        for kind in ("OSystem", "Subsystem"):
            version = (header_value(dump, "Major%sVersion" % kind), header_value(dump, "Minor%sVersion" % kind))
            if None in version or version > highest:
                fail(binary, "%s version %s, above %d.%d" % (kind, version, *highest))

        sections = run(objdump, "-h", binary)
        if re.search(r"\s\.debug_\w+\s", sections):
            fail(binary, "not stripped: it carries .debug sections")
        if ".gnu_debuglink" not in sections:
            fail(binary, "no debug link")
        debug = binary + ".debug"
        if not os.path.exists(debug):
            fail(binary, "no %s beside it" % os.path.basename(debug))
        elif ".debug_info" not in run(objdump, "-h", debug):
            fail(binary, "%s holds no debug information" % os.path.basename(debug))
        print("%s: %d bytes, %d imports" % (os.path.basename(binary), os.path.getsize(binary), len(table)))

    if os.path.getsize(vorlane) > 64 * 1024:
        fail(vorlane, "%d bytes, above 64 KB" % os.path.getsize(vorlane))
    for failure in failures:
        print("FAIL " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
