// System calls around the card's that fail, and which thread gives the
// screen's context back: each fault is met where it can happen, and then a
// plain open, preview, save and close must work again.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "host_fixture.h"
#include "fault_recovery.h"
#include "reliability_support.h"

using FaultTest = HostTest;

namespace {

using rely::ExpectNormalCycle;
using rely::ExpectSavedFrame;
using rely::kPixelBytes;

}  // namespace

namespace {

struct SystemFaults {
    std::atomic<int> failAlloc{-1}, failLock{-1};  // the n-th GlobalAlloc or GlobalLock from now fails
    std::atomic<int> shortWrite{-1};  // the n-th _lwrite from now writes one byte less
    std::atomic<int> failClose{-1};   // the n-th _lclose from now closes but reports a failed flush
    std::atomic<bool> failThread{false}, failEvent{false}, failHook{false}, failScreenDc{false};
    void Clear() {
        failAlloc = failLock = shortWrite = failClose = -1;
        failThread = failEvent = failHook = failScreenDc = false;
    }
} faults;

bool Due(std::atomic<int> &counter) { return counter.fetch_sub(1) == 0; }

HGLOBAL WINAPI FaultyGlobalAlloc(UINT flags, SIZE_T bytes) {
    return Due(faults.failAlloc) ? nullptr : GlobalAlloc(flags, bytes);
}
LPVOID WINAPI FaultyGlobalLock(HGLOBAL block) { return Due(faults.failLock) ? nullptr : GlobalLock(block); }
HANDLE WINAPI FaultyCreateThread(LPSECURITY_ATTRIBUTES a, SIZE_T s, LPTHREAD_START_ROUTINE f, LPVOID p,
                                 DWORD flags, LPDWORD id) {
    return faults.failThread ? nullptr : CreateThread(a, s, f, p, flags, id);
}
HANDLE WINAPI FaultyCreateEventA(LPSECURITY_ATTRIBUTES a, BOOL manual, BOOL signalled, LPCSTR name) {
    return faults.failEvent ? nullptr : CreateEventA(a, manual, signalled, name);
}
HHOOK WINAPI FaultySetWindowsHookExA(int kind, HOOKPROC f, HINSTANCE module, DWORD thread) {
    return faults.failHook ? nullptr : SetWindowsHookExA(kind, f, module, thread);
}
HDC WINAPI FaultyGetDC(HWND window) { return faults.failScreenDc ? nullptr : GetDC(window); }
UINT WINAPI FaultyLWrite(HFILE file, LPCCH bytes, UINT count) {
    if (Due(faults.shortWrite) && count > 0) --count;
    return _lwrite(file, bytes, count);
}
HFILE WINAPI FaultyLClose(HFILE file) {
    const HFILE closed = _lclose(file);
    return Due(faults.failClose) ? HFILE_ERROR : closed;
}

}  // namespace

TEST_F(FaultTest, SystemCallsThatFail) {
    const rely::ImportPatches patches{{"KERNEL32.dll", "GlobalAlloc", FaultyGlobalAlloc},
                                      {"KERNEL32.dll", "GlobalLock", FaultyGlobalLock},
                                      {"KERNEL32.dll", "CreateThread", FaultyCreateThread},
                                      {"KERNEL32.dll", "CreateEventA", FaultyCreateEventA},
                                      {"USER32.dll", "SetWindowsHookExA", FaultySetWindowsHookExA},
                                      {"USER32.dll", "GetDC", FaultyGetDC},
                                      {"KERNEL32.dll", "_lwrite", FaultyLWrite},
                                      {"KERNEL32.dll", "_lclose", FaultyLClose}};
    ASSERT_TRUE(patches) << "Vorlane.dll's imports were not found";

    enum class Then { FreeClosesIt, SavesBlack, PreviewRuns, SaveFailsThenRetry };
    const auto none = [] {};
    struct Row {
        const char *name;
        int mode;
        std::function<void()> atOpen;  // before EasyInit
        std::function<void()> atSave;  // before the first EasyCapture
        int initResult;
        const wchar_t *text;
        Then then;
    } rows[] = {
        {"frame buffer not allocated", 1, [] { faults.failAlloc = 0; }, none, 0, vt::kAllocationFailedText,
         Then::FreeClosesIt},
        {"frame buffer not locked", 1, [] { faults.failLock = 0; }, none, 0, vt::kAllocationFailedText,
         Then::FreeClosesIt},
        {"thread not created", 1, [] { faults.failThread = true; }, none, 0, nullptr, Then::SavesBlack},
        // Without it the save could not wait for a frame: no preview starts.
        {"first-frame event not created", 1, [] { faults.failEvent = true; }, none, 0, nullptr, Then::SavesBlack},
        {"key hook refused", 1, [] { faults.failHook = true; }, none, 1, nullptr, Then::PreviewRuns},
        {"no screen context", 1, [] { faults.failScreenDc = true; }, none, 1, nullptr, Then::PreviewRuns},
        {"disk full at the file header", 1, none, [] { faults.shortWrite = 0; }, 1, nullptr, Then::SaveFailsThenRetry},
        {"disk full at the pixels", 1, none, [] { faults.shortWrite = 2; }, 1, nullptr, Then::SaveFailsThenRetry},
        {"the close reports a failed flush", 1, none, [] { faults.failClose = 0; }, 1, nullptr,
         Then::SaveFailsThenRetry},
        // The narrow modes are widened in the frame buffer before the write.
        {"disk full in a widened grey frame", 0, none, [] { faults.shortWrite = 2; }, 1, nullptr,
         Then::SaveFailsThenRetry},
        {"disk full in a widened 16-bit frame", 2, none, [] { faults.shortWrite = 2; }, 1, nullptr,
         Then::SaveFailsThenRetry},
    };
    const std::string path = vt::TempPath("system-fault.bmp");
    for (const Row &row : rows) {
        VcReset();
        VcSetStatusMode(VC_STATUS_EVERY_POLL);
        faults.Clear();
        row.atOpen();
        vt::BoxWatcher catcher(row.text ? 15000 : 300);
        EXPECT_EQ(EasyInit(0, 0, 384, row.mode), row.initResult) << row.name;
        vt::ExpectBox(catcher.Wait(), row.text, vt::kNoticeCaption, row.name);
        faults.Clear();
        EXPECT_EQ(vt::CardStats().open, 1) << row.name;

        switch (row.then) {
        case Then::FreeClosesIt:
            // No preview ever ran, so no frame can be saved.
            DeleteFileA(path.c_str());
            EXPECT_EQ(EasyCapture(path.c_str()), 0) << row.name;
            EXPECT_FALSE(vt::FileExists(path)) << row.name;
            EXPECT_EQ(vt::CardStats().polls, 0) << row.name;
            EXPECT_EQ(FreeCG200(), 1) << row.name;
            break;
        case Then::SavesBlack:
            // The buffer was taken before the thread failed: its zeros are saved.
            EXPECT_EQ(EasyCapture(path.c_str()), 1) << row.name;
            EXPECT_EQ(vt::CardStats().polls, 0) << row.name;
            ExpectSavedFrame(path, row.name);
            break;
        case Then::PreviewRuns:
            EXPECT_TRUE(vt::WaitUntil([] { return vt::CardStats().reads >= 2; })) << row.name;
            EXPECT_EQ(EasyCapture(path.c_str()), 1) << row.name;
            ExpectSavedFrame(path, row.name);
            break;
        case Then::SaveFailsThenRetry: {
            ASSERT_TRUE(vt::WaitUntil([] { return vt::CardStats().reads >= 2; })) << row.name;
            row.atSave();
            EXPECT_EQ(EasyCapture(path.c_str()), 0) << row.name;
            faults.Clear();
            EXPECT_EQ(vt::CardStats().open, 1) << row.name;
            const int64_t reads = vt::CardStats().reads;
            EXPECT_EQ(EasyCapture(path.c_str()), 1) << row.name << ": the retry";
            EXPECT_EQ(vt::CardStats().reads, reads) << row.name;
            EXPECT_EQ(vt::ReadFileBytes(path).size(), 54 + kPixelBytes) << row.name;
            if (row.mode == 1) ExpectSavedFrame(path, row.name);
            break;
        }
        }
        EXPECT_EQ(vt::CardStats().open, 0) << row.name;
        ExpectNormalCycle(row.name);
    }
    // The grey file's close counts too: a failed final flush is no conversion.
    const std::string source = vt::TempPath("normal-after-fault.bmp"), grey = vt::TempPath("system-fault-grey.bmp");
    faults.failClose = 0;
    EXPECT_EQ(Color2Gray(source.c_str(), grey.c_str()), 0) << "grey file's close reports a failed flush";
    faults.Clear();
    EXPECT_EQ(Color2Gray(source.c_str(), grey.c_str()), 1) << "grey file, the retry";
}

// --- Which thread gives the screen's context back ---

namespace {

// Every GetDC, SetBkMode and ReleaseDC Vorlane makes, with the thread that
// made it. Windows wants ReleaseDC on the thread that called GetDC.
struct DcEvent {
    enum Kind { Take, SetMode, Give } kind;
    DWORD thread;
    HDC dc;
    int mode;    // SetBkMode: the mode set
    int result;  // SetBkMode: the mode before; ReleaseDC: its result
};
struct DcRecord {
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<DcEvent> events;
    std::atomic<bool> stopping{false};  // the host's stop has begun
    void Add(const DcEvent &event) {
        AcquireSRWLockExclusive(&lock);
        events.push_back(event);
        ReleaseSRWLockExclusive(&lock);
    }
    std::vector<DcEvent> Take() {
        AcquireSRWLockExclusive(&lock);
        std::vector<DcEvent> taken;
        taken.swap(events);
        ReleaseSRWLockExclusive(&lock);
        return taken;
    }
} dcRecord;

HDC WINAPI RecordedGetDC(HWND window) {
    HDC dc = GetDC(window);
    dcRecord.Add({DcEvent::Take, GetCurrentThreadId(), dc, 0, 0});
    return dc;
}
int WINAPI RecordedSetBkMode(HDC dc, int mode) {
    const int before = SetBkMode(dc, mode);
    dcRecord.Add({DcEvent::SetMode, GetCurrentThreadId(), dc, mode, before});
    return before;
}
int WINAPI RecordedReleaseDC(HWND window, HDC dc) {
    const int released = ReleaseDC(window, dc);
    dcRecord.Add({DcEvent::Give, GetCurrentThreadId(), dc, 0, released});
    return released;
}
// The stop removes the key hook right after it has asked the preview to end.
BOOL WINAPI RecordedUnhookWindowsHookEx(HHOOK hook) {
    dcRecord.stopping = true;
    return UnhookWindowsHookEx(hook);
}

}  // namespace

TEST_F(FaultTest, TheScreenContextGoesBackOnThePreviewThread) {
    const rely::ImportPatches patches{{"USER32.dll", "GetDC", RecordedGetDC},
                                      {"USER32.dll", "ReleaseDC", RecordedReleaseDC},
                                      {"GDI32.dll", "SetBkMode", RecordedSetBkMode},
                                      {"USER32.dll", "UnhookWindowsHookEx", RecordedUnhookWindowsHookEx}};
    ASSERT_TRUE(patches) << "Vorlane.dll's imports were not found";
    vt::BoxWatcher boxes;
    const std::string path = vt::TempPath("context-thread.bmp");

    enum class How { Save, Free, CaptureMemoryRefused, StopInSetUp };
    struct Row {
        const char *name;
        How how;
    } rows[] = {
        {"open, preview, save and close", How::Save},
        {"open, preview, FreeCG200", How::Free},
        {"capture memory refused, then FreeCG200", How::CaptureMemoryRefused},
        {"stop during the set-up", How::StopInSetUp},
    };
    for (const Row &row : rows) {
        VcReset();
        VcSetStatusMode(VC_STATUS_EVERY_POLL);
        dcRecord.Take();
        dcRecord.stopping = false;
        if (row.how == How::CaptureMemoryRefused) VcSetFailure(VC_STATIC_MEM, 1);
        // The snap comes after the context is taken: held there, the
        // preview is still in its set-up when the stop comes.
        if (row.how == How::StopInSetUp) VcBlockCall(VC_SNAP);

        ASSERT_EQ(EasyInit(10, 10, 384, 1), 1) << row.name;
        HANDLE thread = vt::OpenPreviewThread();
        ASSERT_NE(thread, nullptr) << row.name;
        const DWORD preview = GetThreadId(thread);
        switch (row.how) {
        case How::Save:
            ASSERT_TRUE(vt::WaitUntil([] { return vt::CardStats().reads >= 2; })) << row.name;
            EXPECT_EQ(EasyCapture(path.c_str()), 1) << row.name;
            break;
        case How::Free:
            ASSERT_TRUE(vt::WaitUntil([] { return vt::CardStats().reads >= 2; })) << row.name;
            EXPECT_EQ(FreeCG200(), 1) << row.name;
            break;
        case How::CaptureMemoryRefused:
            EXPECT_TRUE(boxes.Wait().seen) << row.name << ": no capture memory message";
            ASSERT_EQ(WaitForSingleObject(thread, 15000), WAIT_OBJECT_0) << row.name;
            EXPECT_EQ(FreeCG200(), 1) << row.name;
            break;
        case How::StopInSetUp: {
            ASSERT_EQ(VcWaitBlocked(VC_SNAP, 15000), 1) << row.name;
            vt::HostCall host([] { return FreeCG200(); });
            ASSERT_TRUE(vt::WaitUntil([] { return dcRecord.stopping.load(); })) << row.name;
            VcReleaseCall(VC_SNAP);
            ASSERT_TRUE(host.Finished(15000)) << row.name;
            EXPECT_EQ(host.result, 1) << row.name;
            EXPECT_EQ(vt::CardStats().polls, 0) << row.name << ": the loop was entered";
            break;
        }
        }
        CloseHandle(thread);

        const std::vector<DcEvent> events = dcRecord.Take();
        int taken = 0, given = 0;
        HDC dc = nullptr;
        int found = -1, lastSet = -1;
        for (const DcEvent &e : events) {
            EXPECT_EQ(e.thread, preview) << row.name << ": event " << e.kind << " on another thread";
            if (e.kind == DcEvent::Take) ++taken, dc = e.dc;
            if (e.kind == DcEvent::SetMode && found < 0) found = e.result;
            if (e.kind == DcEvent::SetMode) lastSet = e.mode;
            if (e.kind == DcEvent::Give) {
                ++given;
                EXPECT_EQ(e.dc, dc) << row.name << ": another context given back";
                EXPECT_EQ(e.result, 1) << row.name << ": ReleaseDC failed";
                EXPECT_EQ(lastSet, found) << row.name << ": the background mode was not restored first";
            }
        }
        EXPECT_EQ(taken, 1) << row.name;
        EXPECT_NE(dc, nullptr) << row.name;
        EXPECT_EQ(given, 1) << row.name;
        if (!events.empty()) {
            EXPECT_EQ(events.back().kind, DcEvent::Give) << row.name << ": not the last act";
        }
        EXPECT_EQ(vt::CardStats().open, 0) << row.name;
    }
}
