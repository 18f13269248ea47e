#include "operator_boxes.h"

#include <gtest/gtest.h>

#include "host_threads.h"

namespace vt {

const wchar_t kCardInitFailedText[] = L"图像采集卡初始化错误!";
const wchar_t kAllocationFailedText[] = L"内存分配失败，请退出程序并重新进入!";
const wchar_t kOutOfMemoryText[] = L"内存不足，请退出程序并重新进入!";
const wchar_t kNoticeCaption[] = L"提示";
const wchar_t kDefaultErrorCaption[] = L"错误";

void ExpectBox(const SeenBox &box, const wchar_t *text, const wchar_t *caption, const std::string &name) {
    EXPECT_EQ(box.seen, text != nullptr) << name << ": a message box";
    if (!text || !box.seen) return;
    EXPECT_EQ(box.text, text) << name;
    EXPECT_EQ(box.caption, caption) << name;
}

// A message box currently shown by this process, if any (NULL otherwise).
static HWND FindOwnMessageBox() {
    HWND box = nullptr;
    while ((box = FindWindowExA(nullptr, box, "#32770", nullptr)) != nullptr) {
        DWORD process = 0;
        GetWindowThreadProcessId(box, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(box)) return box;
    }
    return nullptr;
}

// Reads a box once its text is filled in (or after a deadline) and presses OK.
static SeenBox ReadAndDismiss(HWND box) {
    SeenBox seen;
    seen.seen = true;
    wchar_t caption[512] = {}, text[512] = {};
    // A box may be visible a moment before its texts are in.
    WaitUntil(
        [&] {
            return !IsWindow(box) || (GetWindowTextW(box, caption, 512) > 0 &&
                                      GetDlgItemTextW(box, 0xFFFF, text, 512) > 0);
        },
        5000);
    seen.caption = caption;
    seen.text = text;
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return seen;
}

BoxWatcher::BoxWatcher(DWORD firstBoxTimeoutMs) : deadline_(GetTickCount() + firstBoxTimeoutMs) {
    firstSeen_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
}

BoxWatcher::~BoxWatcher() {
    stop_ = true;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(firstSeen_);
    if (seen_ > accounted_)
        ADD_FAILURE() << seen_ - accounted_ << " message box(es) nobody expected; the last said \""
                      << last().text << "\"";
}

SeenBox BoxWatcher::Wait() {
    const LONG left = static_cast<LONG>(deadline_ - GetTickCount());
    WaitForSingleObject(firstSeen_, left > 0 ? static_cast<DWORD>(left) : 0);
    AcquireSRWLockShared(&lock_);
    const SeenBox first = first_;
    ReleaseSRWLockShared(&lock_);
    if (first.seen && accounted_ < 1) accounted_ = 1;
    return first;
}

int BoxWatcher::seen() {
    const int count = seen_;
    if (count > accounted_) accounted_ = count;
    return count;
}

SeenBox BoxWatcher::last() const {
    AcquireSRWLockShared(&lock_);
    const SeenBox box = last_;
    ReleaseSRWLockShared(&lock_);
    return box;
}

DWORD WINAPI BoxWatcher::Watch(LPVOID self) {
    auto *watcher = static_cast<BoxWatcher *>(self);
    while (!watcher->stop_) {
        if (HWND box = FindOwnMessageBox()) {
            const SeenBox seen = ReadAndDismiss(box);
            AcquireSRWLockExclusive(&watcher->lock_);
            if (!watcher->first_.seen) watcher->first_ = seen;
            watcher->last_ = seen;
            ReleaseSRWLockExclusive(&watcher->lock_);
            SetEvent(watcher->firstSeen_);
            // Counted once the box is gone, so a count read after the call
            // that showed it has returned is complete.
            WaitUntil([box] { return !IsWindow(box); }, 5000);
            ++watcher->seen_;
        }
        Sleep(5);
    }
    return 0;
}

}  // namespace vt
