// What the tests share: the virtual card's log, message boxes read and
// dismissed as an operator would, pixels read back from the screen, files
// and the host's own threads and messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vcard_control.h"

namespace vt {

// The operator's texts as a Chinese Windows shows them.
extern const wchar_t kCardInitFailedText[];   // 图像采集卡初始化错误!
extern const wchar_t kAllocationFailedText[]; // 内存分配失败，请退出程序并重新进入!
extern const wchar_t kOutOfMemoryText[];      // 内存不足，请退出程序并重新进入!
extern const wchar_t kNoticeCaption[];        // 提示
extern const wchar_t kDefaultErrorCaption[];  // the system's caption for a null one

struct SeenBox {
    bool seen = false;
    std::wstring caption;
    std::wstring text;
};

// Presses OK, from a thread of its own, on every message box this process
// shows while it lives, and counts them, so no box can hang a run. Start it
// before the call that may show one. A box that no Wait() or seen() has
// accounted for by the end fails the test with its text.
class BoxWatcher {
public:
    explicit BoxWatcher(DWORD firstBoxTimeoutMs = 15000);
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher &) = delete;
    BoxWatcher &operator=(const BoxWatcher &) = delete;
    // The first box, once seen, or nothing seen after the time given.
    SeenBox Wait();
    int seen();
    SeenBox last() const;

private:
    static DWORD WINAPI Watch(LPVOID self);
    DWORD deadline_;
    HANDLE thread_ = nullptr;
    HANDLE firstSeen_ = nullptr;
    std::atomic<bool> stop_{false};
    std::atomic<int> seen_{0};
    int accounted_ = 0;
    mutable SRWLOCK lock_ = SRWLOCK_INIT;
    SeenBox first_, last_;
};

// A message box currently shown by this process, if any (NULL otherwise).
HWND FindOwnMessageBox();
// Reads a box once its text is filled in (or after a deadline) and presses OK.
SeenBox ReadAndDismiss(HWND box);

// Dispatches every message waiting in this thread's queue.
void Pump();

// Runs `call` on a thread of its own, as a host's call that may be held up.
struct HostCall {
    std::function<int()> call;
    std::atomic<int> result{-1};
    HANDLE thread = nullptr;

    explicit HostCall(std::function<int()> f);
    ~HostCall();
    HostCall(const HostCall &) = delete;
    HostCall &operator=(const HostCall &) = delete;
    bool Finished(DWORD ms) const { return WaitForSingleObject(thread, ms) == WAIT_OBJECT_0; }
};

// The virtual card's log.
std::vector<VcLogEntry> CardLog();
std::vector<VcLogEntry> CardCalls(VcCall call);
std::string Describe(const VcLogEntry &entry);
std::string DescribeLog();

int CountCalls(VcCall call);
VcStats CardStats();
// The frame the card delivered last, as many bytes as it was.
std::vector<uint8_t> LastFrame();
// Bytes a pixel takes in the frames the card delivers in `mode`.
constexpr int BytesPerPixel(int mode) { return mode == 0 ? 1 : mode == 1 ? 3 : 2; }
// The preview thread, found through its first card call. Vorlane keeps its
// own handle until the close, so the thread opens even when it has ended.
HANDLE OpenPreviewThread();

// Polls `condition` until true or the time is up.
bool WaitUntil(const std::function<bool()> &condition, DWORD timeoutMs = 10000);

// Screen pixels as 0x00RRGGBB, rows top-down.
struct ScreenPixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;
    uint32_t at(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};
ScreenPixels ReadScreen(int x, int y, int width, int height);
// A colour the test pictures never have, painted straight onto the screen.
constexpr uint32_t kMarkerRgb = 0xE010C0;
void FillScreen(int x, int y, int width, int height);

// The bytes of a file, or empty when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::string &path);
bool FileExists(const std::string &path);
// Writes `bytes` as the whole file, read-only or not.
void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes);
// A fresh folder for one test's files, removed by nobody: Wine's temp folder.
std::string TempPath(const std::string &name);
// A folder that did not exist before, in the same place: name-PROCESS-TICKS.
std::string NewTempFolder(const std::string &name);

// Little-endian field of `size` bytes (at most 4) at `offset` of a file.
uint32_t FieldAt(const std::vector<uint8_t> &bytes, size_t offset, size_t size = 4);
// A 24-bit BMP file as the still image writer makes it: bottom-up rows, no
// palette, pixels at 54.
std::vector<uint8_t> MakeBmp24(int32_t width, int32_t height, const std::vector<uint8_t> &pixels);
// Checks a grey file against its 24-bit source byte by byte.
void ExpectGreyOf(const std::vector<uint8_t> &source, const std::vector<uint8_t> &grey, const std::string &name);

// The process's handle count, GDI objects and private bytes, for leak checks.
struct ResourceCounts {
    DWORD handles;
    DWORD gdiObjects;
    SIZE_T privateBytes;
};
ResourceCounts CurrentResources();

}  // namespace vt
