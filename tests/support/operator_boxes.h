// The message boxes Vorlane shows the operator, read and dismissed as an
// operator would.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

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

// Checks that `box` said `text` under `caption`, or, with no text, that no
// box was seen.
void ExpectBox(const SeenBox &box, const wchar_t *text, const wchar_t *caption, const std::string &name);

}  // namespace vt
