// The one loop that watches a running preview: it keeps the host thread's
// messages moving (Vorlane passes the A/D chords on from there), counts the
// pictures that appear on the screen, and ends when its caller says so, on
// Ctrl+C, or when the keys window is closed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "paint_counter.h"
#include "report.h"

namespace cli {

// From here until the watch ends, Ctrl+C and Ctrl+Break end the watch
// instead of the program; after it they end the program again. From here on,
// closing the console, logging off and shutting down end the watch and then
// wait (a few seconds at most) until AllWritten() says everything is kept.
void CatchCtrlC();
void AllWritten();
// How long a closing console or an ending session waits for AllWritten().
constexpr DWORD kLongestWaitForWritingMs = 4000;
// The console control handler CatchCtrlC installs.
BOOL WINAPI OnConsoleEvent(DWORD event);
// Ends the watch at its next turn; safe from any thread.
void RequestStop();
// For a loop of its own (record's), between CatchCtrlC and EndWatch: true
// once Ctrl+C, the keys window or the console asked it to end.
bool StopRequested();
// From here on Ctrl+C ends the program again.
void EndWatch();

// Seconds since it was made, from the performance counter.
class Stopwatch {
public:
    Stopwatch();
    double Seconds() const;

private:
    LARGE_INTEGER start_{}, frequency_{};
};

// Dispatches every message waiting in this thread's queue; `seen`, when
// given, looks at each after it was dispatched.
void PumpMessages(const std::function<void(const MSG &message)> &seen = nullptr);

// Windows' default timer tick is about 15.6 ms, and Sleep(1) sleeps until the
// next one: 1 ms ticks while watching let a loop look often enough.
class FineTimerTicks {
public:
    FineTimerTicks();
    ~FineTimerTicks();
    FineTimerTicks(const FineTimerTicks &) = delete;
    FineTimerTicks &operator=(const FineTimerTicks &) = delete;

private:
    bool raised_;
};

struct WatchCount {
    long long painted = 0;
    double firstPaint = 0;
    double lastPaint = 0;
    double ran = 0;
    long long failedReads = 0;  // looks at the screen that failed
    bool interrupted = false;   // ended by Ctrl+C, the keys window or the console, not its caller
    void Painted(double now) {
        if (painted++ == 0) firstPaint = now;
        lastPaint = now;
    }
    // The rate between the first and the last picture, not counting set-up.
    double rate() const {
        return painted > 1 && lastPaint > firstPaint
                   ? static_cast<double>(painted - 1) / (lastPaint - firstPaint)
                   : 0;
    }
};

// A new picture as the watch just read it from the screen.
struct WatchedPicture {
    const uint8_t *rows;  // 32-bit pixels, bottom-up DIB rows of the watched area
    int width;
    int height;
    double seconds;       // since the watch began
};

struct WatchHooks {
    // Asked at every turn, with the seconds since the watch began: true ends
    // it. Without it only Ctrl+C or the keys window ends the watch.
    std::function<bool(double now, const WatchCount &count)> finished;
    // Optional: called at every turn after the look at the screen.
    std::function<void(double now, const WatchCount &count)> eachTurn;
    // Optional: called with each new picture, while its pixels are at hand.
    std::function<void(const WatchedPicture &picture)> onPicture;
};

WatchCount Watch(PaintCounter &counter, const WatchHooks &hooks);

// The program's end: the report's exit_status, written before a closing
// console is let go (Windows ends the process when it is). Returns the
// status, 1 when the report could not be written after a success.
int WriteLastReport(Report &report, int status);

}  // namespace cli
