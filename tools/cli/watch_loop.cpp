#include "watch_loop.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdio>

namespace cli {
namespace {

// Set by the console's control handler and the keys window; read by the loop.
std::atomic<bool> stopRequested{false};
// Ctrl+C ends a watch only until it has ended: after that it ends the program,
// as it does in any other.
std::atomic<bool> ctrlCEndsWatch{false};
// Set once the program has written all it keeps. A closing console or an
// ending session waits for it: Windows ends the process as soon as the
// handler returns, and gives it about 5 seconds in all.
HANDLE allWritten = nullptr;

void StopAndWaitForWriting() {
    stopRequested = true;
    if (allWritten) WaitForSingleObject(allWritten, kLongestWaitForWritingMs);
}

// A program that uses user32 is told of a logoff or shutdown through its
// top-level windows, not its console: a hidden one on a thread of its own
// waits there as the console handler does.
LRESULT CALLBACK SessionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_QUERYENDSESSION) return TRUE;
    if (message == WM_ENDSESSION) {
        if (wParam) StopAndWaitForWriting();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

DWORD WINAPI WatchSessionEnd(void *) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = SessionWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "VorlaneCliSessionEnd";
    RegisterClassA(&windowClass);
    // Never shown nor destroyed: it goes with the process.
    if (!CreateWindowExA(0, windowClass.lpszClassName, "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                         nullptr, windowClass.hInstance, nullptr))
        return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}

}  // namespace

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        if (!ctrlCEndsWatch) return FALSE;
        stopRequested = true;
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        StopAndWaitForWriting();
        return TRUE;
    }
    return FALSE;
}

void CatchCtrlC() {
    stopRequested = false;
    ctrlCEndsWatch = true;
    if (allWritten) return;
    allWritten = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    if (const HANDLE thread = CreateThread(nullptr, 0, WatchSessionEnd, nullptr, 0, nullptr))
        CloseHandle(thread);
}

void AllWritten() {
    if (allWritten) SetEvent(allWritten);
}

void RequestStop() { stopRequested = true; }

bool StopRequested() { return stopRequested; }

void EndWatch() { ctrlCEndsWatch = false; }

Stopwatch::Stopwatch() {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
}

double Stopwatch::Seconds() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency_.QuadPart);
}

void PumpMessages(const std::function<void(const MSG &message)> &seen) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
        if (seen) seen(message);
    }
}

FineTimerTicks::FineTimerTicks() : raised_(timeBeginPeriod(1) == TIMERR_NOERROR) {}

FineTimerTicks::~FineTimerTicks() {
    if (raised_) timeEndPeriod(1);
}

WatchCount Watch(PaintCounter &counter, const WatchHooks &hooks) {
    const Stopwatch clock;
    const FineTimerTicks ticks;
    WatchCount count;
    for (;;) {
        const double now = clock.Seconds();
        if (stopRequested || (hooks.finished && hooks.finished(now, count))) {
            count.ran = now;
            count.interrupted = stopRequested;
            break;
        }
        PumpMessages();
        const bool changed = counter.Changed();
        count.failedReads = counter.failedReads();
        if (changed) {
            count.Painted(now);
            if (hooks.onPicture)
                hooks.onPicture(WatchedPicture{counter.pixels(), counter.width(), counter.height(), now});
        }
        if (hooks.eachTurn) hooks.eachTurn(now, count);
        Sleep(1);
    }
    EndWatch();
    return count;
}

int WriteLastReport(Report &report, int status) {
    report.Set(report_key::kExitStatus, static_cast<long long>(status));
    if (!report.Write()) {
        std::fprintf(stderr, "vorlane-cli: could not write the report to %s\n", report.path().c_str());
        if (status == 0) status = 1;  // a success that a script cannot see is a failure
    }
    AllWritten();
    return status;
}

}  // namespace cli
