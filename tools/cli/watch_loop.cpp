#include "watch_loop.h"

#include <windows.h>

#include <atomic>

namespace cli {
namespace {

// Set by the console's control handler and the keys window; read by the loop.
std::atomic<bool> stopRequested{false};

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    stopRequested = true;
    return TRUE;
}

double SecondsSince(LARGE_INTEGER start, LARGE_INTEGER frequency) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

void CatchCtrlC() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

void RequestStop() { stopRequested = true; }

WatchCount Watch(PaintCounter &counter, const WatchHooks &hooks) {
    LARGE_INTEGER frequency, start;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    WatchCount count;
    for (;;) {
        const double now = SecondsSince(start, frequency);
        if (stopRequested || (hooks.finished && hooks.finished(now, count))) {
            count.ran = now;
            break;
        }
        PumpMessages();
        if (counter.Changed()) {
            count.Painted(now);
            if (hooks.onPicture)
                hooks.onPicture(WatchedPicture{counter.pixels(), counter.width(), counter.height(), now});
        }
        if (hooks.eachTurn) hooks.eachTurn(now, count);
        Sleep(1);
    }
    return count;
}

}  // namespace cli
