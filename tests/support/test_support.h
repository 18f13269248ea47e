// What the tests share: the virtual card's log, message boxes read and
// dismissed as an operator would, and pixels read back from the screen.
#pragma once

#include <windows.h>

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

// Watches, from a thread of its own, for one message box of this process,
// reads its caption and text and presses OK. Start it before the call that
// may show the box; Wait() ends the watch.
class MessageBoxCatcher {
public:
    explicit MessageBoxCatcher(DWORD timeoutMs = 15000);
    ~MessageBoxCatcher();
    MessageBoxCatcher(const MessageBoxCatcher &) = delete;
    MessageBoxCatcher &operator=(const MessageBoxCatcher &) = delete;
    SeenBox Wait();

private:
    static DWORD WINAPI Watch(LPVOID self);
    DWORD timeoutMs_;
    HANDLE thread_ = nullptr;
    SeenBox box_;
};

// A message box currently shown by this process, if any (NULL otherwise).
HWND FindOwnMessageBox();
SeenBox ReadAndDismiss(HWND box);

// The virtual card's log.
std::vector<VcLogEntry> CardLog();
std::vector<VcLogEntry> CardCalls(VcCall call);
std::string Describe(const VcLogEntry &entry);
std::string DescribeLog();

VcStats CardStats();

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

// The bytes of a file, or empty when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::string &path);
bool FileExists(const std::string &path);
// A fresh folder for one test's files, removed by nobody: Wine's temp folder.
std::string TempPath(const std::string &name);

// The process's handle count, GDI objects and private bytes, for leak checks.
struct ResourceCounts {
    DWORD handles;
    DWORD gdiObjects;
    SIZE_T privateBytes;
};
ResourceCounts CurrentResources();

}  // namespace vt
