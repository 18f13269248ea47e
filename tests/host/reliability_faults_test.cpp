// Faults at every card call and at the system calls around them: each is
// met at the point where it can happen, the result, message and state that
// follow are checked, and then a plain open, preview, save and close must
// work again.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "host_fixture.h"
#include "reliability_support.h"

using FaultTest = HostTest;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kWidth = 288, kHeight = 384;  // what a requested height of 384 gives
constexpr size_t kPixelBytes = size_t{kWidth} * kHeight * 3;

// Takes every fault away again without touching what the card holds open.
void Heal() {
    for (int call = VC_BEGIN; call < VC_CALL_COUNT; ++call) {
        VcReleaseCall(call);
        VcSetFailure(call, 0);
    }
    VcSetBeginResult(VC_DEFAULT_HANDLE);
    VcSetReadLimit(-1);
    VcSetStatusMode(VC_STATUS_EVERY_POLL);
}

// A saved picture of `pixelBytes` holds the bytes the card delivered last
// and, past them, the zeros of a buffer no read reached.
void ExpectSavedFrame(const std::string &path, const std::string &name, size_t pixelBytes = kPixelBytes) {
    const Bytes file = vt::ReadFileBytes(path);
    ASSERT_EQ(file.size(), 54 + pixelBytes) << name;
    Bytes expected = vt::LastFrame();
    ASSERT_LE(expected.size(), pixelBytes) << name;
    expected.resize(pixelBytes, 0);
    EXPECT_TRUE(Bytes(file.begin() + 54, file.end()) == expected) << name << ": the last frame read, zeros past it";
}

DWORD ExitCode(HANDLE thread) {
    DWORD code = STILL_ACTIVE;
    GetExitCodeThread(thread, &code);
    return code;
}

// Open, preview, save and close with no fault anywhere.
void ExpectNormalCycle(const std::string &name) {
    Heal();
    VcLogClear();
    ASSERT_EQ(vt::CardStats().open, 0) << name << ": a card is still open";
    ASSERT_TRUE(OpenAndRead(30, 40, 480, 1)) << name << ": reopening\n" << vt::DescribeLog();
    const std::string path = vt::TempPath("normal-after-fault.bmp");
    ASSERT_EQ(EasyCapture(path.c_str()), 1) << name << ": saving after the fault";
    ExpectSavedFrame(path, name + ", saved after the fault", size_t{360} * 480 * 3);
    EXPECT_EQ(vt::CardStats().open, 0) << name;
}

}  // namespace

// BeginCG400's four failure values, met by both calls that open the card
// (HDReset's messages are checked with its other results).
TEST_F(FaultTest, AfterEachOpeningFailureTheNextCycleWorks) {
    for (const bool reset : {false, true}) {
        for (int32_t failure : reset ? std::vector<int32_t>{0, -1} : std::vector<int32_t>{0, 1, 2, -1}) {
            const std::string name = std::string(reset ? "HDReset" : "EasyInit") + ", BeginCG400 = " + std::to_string(failure);
            VcReset();
            VcSetBeginResult(failure);
            vt::BoxWatcher catcher;
            EXPECT_EQ(reset ? HDReset() : EasyInit(0, 0, 384, 1), 0) << name;
            vt::ExpectBox(catcher.Wait(), vt::kCardInitFailedText, vt::kDefaultErrorCaption, name);
            ExpectNothingOpen(name);
            ExpectNormalCycle(name);
        }
    }
}

// Every fault the preview can meet in the card, each ended in every way the
// host can end a preview, with and without the card refusing to close.
TEST_F(FaultTest, EveryPreviewFaultWithEveryWayOfEndingIt) {
    struct Meeting {
        const char *name;
        std::function<void()> inject;
        VcCall refused;        // a set-up call refused: the thread's last, and it ends early with 0
        const wchar_t *text;   // the message it shows, if any
        int64_t reads;         // exact reads while it runs; -1: they go on
    } meetings[] = {
        {"no fault", [] {}, VcCall{}, nullptr, -1},
        {"display window refused", [] {}, VC_SET_DISPLAY, nullptr, 0},
        {"colour space refused", [] {}, VC_SET_COLOR, nullptr, 0},
        {"capture memory refused", [] {}, VC_STATIC_MEM, vt::kOutOfMemoryText, 0},
        {"status never stored", [] { VcSetStatusMode(VC_STATUS_NONE); }, VcCall{}, nullptr, 0},
        {"status stuck at 2", [] { const uint32_t s[] = {2}; VcScriptStatus(s, 1); }, VcCall{}, nullptr, 1},
        {"status stuck at 0", [] { const uint32_t s[] = {0}; VcScriptStatus(s, 1); }, VcCall{}, nullptr, 0},
        {"statuses other than 0 and 2",
         [] { const uint32_t s[] = {1, 3, 0xFFFFFFFFu, 0x80000002u, 4, 7}; VcScriptStatus(s, 6); }, VcCall{},
         nullptr, 0},
        {"reads deliver nothing", [] { VcSetReadLimit(0); }, VcCall{}, nullptr, -1},
        {"reads deliver 1001 bytes", [] { VcSetReadLimit(1001); }, VcCall{}, nullptr, -1},
    };
    enum class End { Save, SaveEndFails, SaveUnwritable, Free, FreeEndFails };
    struct Ending {
        const char *name;
        End how;
    } endings[] = {
        {"EasyCapture", End::Save},
        {"EasyCapture, EndCG400 fails, then FreeCG200", End::SaveEndFails},
        {"EasyCapture to a missing folder, then FreeCG200", End::SaveUnwritable},
        {"FreeCG200", End::Free},
        {"FreeCG200, EndCG400 fails, then FreeCG200", End::FreeEndFails},
    };
    const std::string path = vt::TempPath("fault.bmp");
    const std::string unwritable = vt::TempPath("no such folder\\fault.bmp");
    const Bytes kept(1000, 0x33);
    vt::BoxWatcher boxes;

    for (const Meeting &meeting : meetings) {
        for (const Ending &ending : endings) {
            const std::string name = std::string(meeting.name) + " / " + ending.name;
            VcReset();
            VcSetStatusMode(VC_STATUS_EVERY_POLL);
            meeting.inject();
            if (meeting.refused) VcSetFailure(meeting.refused, 1);
            DeleteFileA(path.c_str());
            // Clear of the middle of the screen, where the message box shows.
            vt::FillScreen(10, 10, kWidth, kHeight);

            const int boxesBefore = boxes.seen();
            ASSERT_EQ(EasyInit(10, 10, 384, 1), 1) << name;
            HANDLE thread = vt::OpenPreviewThread();
            ASSERT_NE(thread, nullptr) << name;
            if (meeting.refused) {
                ASSERT_EQ(WaitForSingleObject(thread, 15000), WAIT_OBJECT_0) << name;
                EXPECT_EQ(ExitCode(thread), 0u) << name;
                EXPECT_EQ(vt::CardStats().polls, 0) << name;
                EXPECT_EQ(vt::CardLog().back().call, meeting.refused) << name << "\n" << vt::DescribeLog();
                const vt::ScreenPixels screen = vt::ReadScreen(10, 10, kWidth, kHeight);
                EXPECT_EQ(std::count(screen.rgb.begin(), screen.rgb.end(), vt::kMarkerRgb),
                          static_cast<ptrdiff_t>(screen.rgb.size())) << name << ": something was painted";
            } else if (meeting.reads < 0) {
                ASSERT_TRUE(vt::WaitUntil([] { return vt::CardStats().reads >= 2; })) << name;
            } else {
                ASSERT_TRUE(vt::WaitUntil([] { return vt::CardStats().polls >= 50; })) << name;
                EXPECT_EQ(vt::CardStats().reads, meeting.reads) << name;
            }
            // The thread that shows a box ends only once it is dismissed.
            const int expectedBoxes = meeting.text ? 1 : 0;
            vt::WaitUntil([&] { return boxes.seen() - boxesBefore >= expectedBoxes; }, 15000);
            EXPECT_EQ(boxes.seen() - boxesBefore, expectedBoxes) << name;
            if (meeting.text) vt::ExpectBox(boxes.last(), meeting.text, vt::kNoticeCaption, name);
            EXPECT_EQ(vt::CardStats().open, 1) << name << ": a refused set-up leaves the card open";

            switch (ending.how) {
            case End::Save:
                EXPECT_EQ(EasyCapture(path.c_str()), 1) << name;
                ExpectSavedFrame(path, name);
                break;
            case End::SaveEndFails:
                VcSetFailure(VC_END, 1);
                EXPECT_EQ(EasyCapture(path.c_str()), 0) << name;
                EXPECT_EQ(vt::CardStats().open, 1) << name;
                ExpectSavedFrame(path, name);
                VcSetFailure(VC_END, 0);
                EXPECT_EQ(FreeCG200(), 1) << name;
                break;
            case End::SaveUnwritable:
                EXPECT_EQ(EasyCapture(unwritable.c_str()), 0) << name;
                EXPECT_EQ(vt::CardStats().open, 1) << name;
                EXPECT_EQ(vt::CountCalls(VC_END), 0) << name;
                EXPECT_EQ(FreeCG200(), 1) << name;
                break;
            case End::Free:
                EXPECT_EQ(FreeCG200(), 1) << name;
                EXPECT_EQ(vt::CountCalls(VC_END), 1) << name;
                break;
            case End::FreeEndFails:
                VcSetFailure(VC_END, 1);
                EXPECT_EQ(FreeCG200(), 0) << name;
                EXPECT_EQ(vt::CardStats().open, 1) << name;
                // The frame is gone with the failed close: a save finds
                // nothing and touches neither the card nor an existing file.
                VcSetFailure(VC_END, 0);
                vt::WriteBytes(path, kept);
                EXPECT_EQ(EasyCapture(path.c_str()), 0) << name;
                EXPECT_EQ(vt::ReadFileBytes(path), kept) << name;
                EXPECT_EQ(vt::CountCalls(VC_END), 1) << name << ": only the failed close reached the card";
                EXPECT_EQ(FreeCG200(), 1) << name;
                break;
            }
            // Closed for good, the thread gone before the card was, and a
            // second close finds nothing.
            EXPECT_EQ(vt::CardStats().open, 0) << name;
            EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << name;
            EXPECT_EQ(ExitCode(thread), meeting.refused ? 0u : 1u) << name;
            const DWORD threadId = GetThreadId(thread);
            CloseHandle(thread);
            // With every handle to it closed, the ended thread is gone.
            HANDLE again = OpenThread(SYNCHRONIZE, FALSE, threadId);
            EXPECT_EQ(again, nullptr) << name << ": Vorlane kept the thread's handle";
            if (again) CloseHandle(again);
            const std::vector<VcLogEntry> log = vt::CardLog();
            ASSERT_FALSE(log.empty()) << name;
            EXPECT_EQ(log.back().call, VC_END) << name << "\n" << vt::DescribeLog();
            EXPECT_EQ(log.back().args[0], VC_DEFAULT_HANDLE) << name;
            ExpectNothingOpen(name);
            ExpectNormalCycle(name);
            EXPECT_EQ(boxes.seen() - boxesBefore, expectedBoxes) << name << ": boxes in all";
            if (HasFatalFailure()) return;
        }
    }
}

// A card call that hangs holds up only the host call waiting for it; once
// the card lets go, that call finishes with 1.
TEST_F(FaultTest, ACallHeldInsideTheCardDelaysButDoesNotBreakTheHost) {
    enum class Before { Nothing, Preview, SetUp };  // what runs when the call is held
    const auto save = [] { return EasyCapture(vt::TempPath("held.bmp").c_str()); };
    const auto free = [] { return FreeCG200(); };
    const auto reset = [] { return HDReset(); };
    struct Row {
        const char *name;
        VcCall held;
        Before before;
        std::function<int()> call;
    } rows[] = {
        // The only row that leaves the card open.
        {"BeginCG400 in EasyInit", VC_BEGIN, Before::Nothing, [] { return EasyInit(0, 0, 384, 1); }},
        {"BeginCG400 in HDReset", VC_BEGIN, Before::Nothing, reset},
        {"CG400SetADParam in HDReset", VC_SET_AD, Before::Nothing, reset},
        {"status poll, FreeCG200", VC_STATUS, Before::Preview, free},
        {"read, EasyCapture", VC_READ, Before::Preview, save},
        {"EndCG400 in EasyCapture", VC_END, Before::Preview, save},
        {"EndCG400 in FreeCG200", VC_END, Before::Preview, free},
        // A stop during the set-up lets it finish, then ends without a pass of
        // the loop; EasyCapture first waits for a frame.
        {"input window in the set-up, FreeCG200", VC_SET_INPUT, Before::SetUp, free},
        {"display window in the set-up, FreeCG200", VC_SET_DISPLAY, Before::SetUp, free},
        {"colour space in the set-up, FreeCG200", VC_SET_COLOR, Before::SetUp, free},
        {"capture memory in the set-up, FreeCG200", VC_STATIC_MEM, Before::SetUp, free},
        {"snap in the set-up, EasyCapture", VC_SNAP, Before::SetUp, save},
    };
    for (const Row &row : rows) {
        VcReset();
        VcSetStatusMode(VC_STATUS_EVERY_POLL);
        if (row.before == Before::Preview) { ASSERT_TRUE(OpenAndRead(0, 0, 384, 1)) << row.name; }
        VcBlockCall(row.held);
        if (row.before == Before::SetUp) { ASSERT_EQ(EasyInit(0, 0, 384, 1), 1) << row.name; }
        // A call the running preview makes must be held before the host asks
        // the preview to stop; otherwise the stop may win and it never comes.
        if (row.before != Before::Nothing && row.held != VC_END) {
            ASSERT_EQ(VcWaitBlocked(row.held, 15000), 1) << row.name;
        }
        {
            vt::HostCall host(row.call);
            ASSERT_EQ(VcWaitBlocked(row.held, 15000), 1) << row.name;
            // Whatever the host call waits for is still inside the card.
            EXPECT_FALSE(host.Finished(200)) << row.name << ": returned while the card held a call";
            if (row.before != Before::Nothing) { EXPECT_EQ(vt::CardStats().open, 1) << row.name; }
            VcReleaseCall(row.held);
            ASSERT_TRUE(host.Finished(15000)) << row.name << ": still waiting after the release";
            EXPECT_EQ(host.result, 1) << row.name;
        }
        if (row.before == Before::SetUp && row.held == VC_SNAP) {
            // EasyCapture first waits, bounded, for the first frame: the file
            // holds the frame the card delivered, or black if none came in time.
            ExpectSavedFrame(vt::TempPath("held.bmp"), row.name);
        } else if (row.before == Before::SetUp) {
            EXPECT_EQ(vt::CardStats().polls, 0) << row.name;
            EXPECT_EQ(vt::CardStats().reads, 0) << row.name;
            const std::vector<VcLogEntry> log = vt::CardLog();
            ASSERT_GE(log.size(), 2u) << row.name;
            EXPECT_EQ(log[log.size() - 2].call, VC_SNAP) << row.name << ": the set-up's end\n" << vt::DescribeLog();
            EXPECT_EQ(log.back().call, VC_END) << row.name << "\n" << vt::DescribeLog();
        }
        if (&row == &rows[0]) { EXPECT_EQ(FreeCG200(), 1) << row.name; }
        EXPECT_EQ(vt::CardStats().open, 0) << row.name;
        ExpectNormalCycle(row.name);
    }
}

// --- System calls that fail ---

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
