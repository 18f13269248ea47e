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

// A saved 288 x 384 picture holds the bytes the card delivered last and,
// past them, the zeros of a buffer no read reached.
void ExpectSavedFrame(const std::string &path, const std::string &name) {
    const Bytes file = vt::ReadFileBytes(path);
    ASSERT_EQ(file.size(), 54 + kPixelBytes) << name;
    const Bytes last = vt::LastFrame();
    ASSERT_LE(last.size(), kPixelBytes) << name;
    EXPECT_TRUE(std::equal(last.begin(), last.end(), file.begin() + 54)) << name << ": the last frame read";
    size_t nonzero = 0;
    for (size_t i = 54 + last.size(); i < file.size(); ++i) nonzero += file[i] != 0;
    EXPECT_EQ(nonzero, 0u) << name << ": bytes no read delivered";
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
    const Bytes file = vt::ReadFileBytes(path);
    ASSERT_EQ(file.size(), 54u + 360u * 480u * 3u) << name;
    const Bytes last = vt::LastFrame();
    const Bytes pixels(file.begin() + 54, file.end());
    size_t differ = 0;
    while (differ < pixels.size() && differ < last.size() && pixels[differ] == last[differ]) ++differ;
    EXPECT_TRUE(pixels == last) << name << ": frame saved after the fault; " << last.size() << " bytes read, first difference at " << differ;
    EXPECT_EQ(vt::CardStats().open, 0) << name;
}

}  // namespace

// BeginCG400's four failure values, met by both calls that open the card.
TEST_F(FaultTest, AfterEachOpeningFailureTheNextCycleWorks) {
    struct Row {
        const char *name;
        std::function<int()> call;
    } calls[] = {{"EasyInit", [] { return EasyInit(0, 0, 384, 1); }}, {"HDReset", [] { return HDReset(); }}};
    for (const Row &row : calls) {
        // HDReset's four values and their messages are checked elsewhere;
        // here what matters is the cycle after them.
        const bool opening = std::string(row.name) == "EasyInit";
        for (int32_t failure : opening ? std::vector<int32_t>{0, 1, 2, -1} : std::vector<int32_t>{0, -1}) {
            const std::string name = std::string(row.name) + ", BeginCG400 = " + std::to_string(failure);
            VcReset();
            VcSetBeginResult(failure);
            vt::BoxWatcher catcher;
            EXPECT_EQ(row.call(), 0) << name;
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
                // The frame is gone with the failed close: nothing to save.
                EXPECT_EQ(EasyCapture(path.c_str()), 0) << name;
                EXPECT_FALSE(vt::FileExists(path)) << name;
                VcSetFailure(VC_END, 0);
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
// the card lets go, that call finishes as usual.
TEST_F(FaultTest, ACallHeldInsideTheCardDelaysButDoesNotBreakTheHost) {
    enum class Before { Nothing, Preview, SetUp };  // what runs when the call is held
    struct Row {
        const char *name;
        VcCall held;
        Before before;
        std::function<int()> call;
        int result;
        bool leavesCardOpen;
    } rows[] = {
        {"BeginCG400 in EasyInit", VC_BEGIN, Before::Nothing, [] { return EasyInit(0, 0, 384, 1); }, 1, true},
        {"BeginCG400 in HDReset", VC_BEGIN, Before::Nothing, [] { return HDReset(); }, 1, false},
        {"CG400SetADParam in HDReset", VC_SET_AD, Before::Nothing, [] { return HDReset(); }, 1, false},
        {"status poll, FreeCG200", VC_STATUS, Before::Preview, [] { return FreeCG200(); }, 1, false},
        {"read, EasyCapture", VC_READ, Before::Preview,
         [] { return EasyCapture(vt::TempPath("held.bmp").c_str()); }, 1, false},
        {"EndCG400 in EasyCapture", VC_END, Before::Preview,
         [] { return EasyCapture(vt::TempPath("held.bmp").c_str()); }, 1, false},
        {"EndCG400 in FreeCG200", VC_END, Before::Preview, [] { return FreeCG200(); }, 1, false},
        // A stop during the set-up lets it finish, then ends without a pass of
        // the loop; EasyCapture first waits for a frame.
        {"input window in the set-up, FreeCG200", VC_SET_INPUT, Before::SetUp, [] { return FreeCG200(); }, 1, false},
        {"display window in the set-up, FreeCG200", VC_SET_DISPLAY, Before::SetUp, [] { return FreeCG200(); }, 1,
         false},
        {"colour space in the set-up, FreeCG200", VC_SET_COLOR, Before::SetUp, [] { return FreeCG200(); }, 1, false},
        {"capture memory in the set-up, FreeCG200", VC_STATIC_MEM, Before::SetUp, [] { return FreeCG200(); }, 1,
         false},
        {"snap in the set-up, EasyCapture", VC_SNAP, Before::SetUp,
         [] { return EasyCapture(vt::TempPath("held.bmp").c_str()); }, 1, false},
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
            EXPECT_EQ(host.result, row.result) << row.name;
        }
        if (row.before == Before::SetUp && row.held == VC_SNAP) {
            // EasyCapture first waits, bounded, for the first frame: the file
            // holds the frame the card delivered, or black if none came in time.
            std::vector<uint8_t> expected = vt::LastFrame();
            if (expected.empty()) expected.assign(288u * 384u * 3u, 0);
            const std::vector<uint8_t> file = vt::ReadFileBytes(vt::TempPath("held.bmp"));
            EXPECT_TRUE(file.size() == 54 + expected.size() && std::equal(expected.begin(), expected.end(), file.begin() + 54))
                << row.name << ": " << vt::CardStats().reads << " frames read";
        } else if (row.before == Before::SetUp) {
            EXPECT_EQ(vt::CardStats().polls, 0) << row.name;
            EXPECT_EQ(vt::CardStats().reads, 0) << row.name;
            const std::vector<VcLogEntry> log = vt::CardLog();
            ASSERT_GE(log.size(), 2u) << row.name;
            EXPECT_EQ(log[log.size() - 2].call, VC_SNAP) << row.name << ": the set-up's end\n" << vt::DescribeLog();
            EXPECT_EQ(log.back().call, VC_END) << row.name << "\n" << vt::DescribeLog();
        }
        if (row.leavesCardOpen) { EXPECT_EQ(FreeCG200(), 1) << row.name; }
        EXPECT_EQ(vt::CardStats().open, 0) << row.name;
        ExpectNormalCycle(row.name);
    }
}

// --- System calls that fail ---

namespace {

struct SystemFaults {
    std::atomic<int> failAlloc{-1};   // the n-th GlobalAlloc from now fails
    std::atomic<int> failLock{-1};
    std::atomic<bool> failThread{false};
    std::atomic<bool> failHook{false};
    std::atomic<bool> failScreenDc{false};
    std::atomic<int> shortWrite{-1};  // the n-th _lwrite from now writes one byte less
    std::atomic<int> failClose{-1};   // the n-th _lclose from now closes but reports a failed flush
    void *alloc = nullptr, *lock = nullptr, *thread = nullptr, *hook = nullptr, *dc = nullptr, *write = nullptr,
         *close = nullptr;
} faults;

bool Due(std::atomic<int> &counter) { return counter.fetch_sub(1) == 0; }

HGLOBAL WINAPI FaultyGlobalAlloc(UINT flags, SIZE_T bytes) {
    if (Due(faults.failAlloc)) return nullptr;
    return reinterpret_cast<decltype(&GlobalAlloc)>(faults.alloc)(flags, bytes);
}
LPVOID WINAPI FaultyGlobalLock(HGLOBAL block) {
    if (Due(faults.failLock)) return nullptr;
    return reinterpret_cast<decltype(&GlobalLock)>(faults.lock)(block);
}
HANDLE WINAPI FaultyCreateThread(LPSECURITY_ATTRIBUTES a, SIZE_T s, LPTHREAD_START_ROUTINE f, LPVOID p,
                                 DWORD flags, LPDWORD id) {
    if (faults.failThread) return nullptr;
    return reinterpret_cast<decltype(&CreateThread)>(faults.thread)(a, s, f, p, flags, id);
}
HHOOK WINAPI FaultySetWindowsHookExA(int kind, HOOKPROC f, HINSTANCE module, DWORD thread) {
    if (faults.failHook) return nullptr;
    return reinterpret_cast<decltype(&SetWindowsHookExA)>(faults.hook)(kind, f, module, thread);
}
HDC WINAPI FaultyGetDC(HWND window) {
    if (faults.failScreenDc) return nullptr;
    return reinterpret_cast<decltype(&GetDC)>(faults.dc)(window);
}
UINT WINAPI FaultyLWrite(HFILE file, LPCCH bytes, UINT count) {
    if (Due(faults.shortWrite) && count > 0) --count;
    return reinterpret_cast<decltype(&_lwrite)>(faults.write)(file, bytes, count);
}

HFILE WINAPI FaultyLClose(HFILE file) {
    const HFILE closed = reinterpret_cast<decltype(&_lclose)>(faults.close)(file);
    return Due(faults.failClose) ? HFILE_ERROR : closed;
}

void ClearSystemFaults() {
    faults.failAlloc = -1;
    faults.failLock = -1;
    faults.failThread = false;
    faults.failHook = false;
    faults.failScreenDc = false;
    faults.shortWrite = -1;
    faults.failClose = -1;
}

}  // namespace

TEST_F(FaultTest, SystemCallsThatFail) {
    rely::ImportPatch alloc("KERNEL32.dll", "GlobalAlloc", reinterpret_cast<void *>(FaultyGlobalAlloc));
    rely::ImportPatch lock("KERNEL32.dll", "GlobalLock", reinterpret_cast<void *>(FaultyGlobalLock));
    rely::ImportPatch thread("KERNEL32.dll", "CreateThread", reinterpret_cast<void *>(FaultyCreateThread));
    rely::ImportPatch hook("USER32.dll", "SetWindowsHookExA", reinterpret_cast<void *>(FaultySetWindowsHookExA));
    rely::ImportPatch dc("USER32.dll", "GetDC", reinterpret_cast<void *>(FaultyGetDC));
    rely::ImportPatch write("KERNEL32.dll", "_lwrite", reinterpret_cast<void *>(FaultyLWrite));
    rely::ImportPatch close("KERNEL32.dll", "_lclose", reinterpret_cast<void *>(FaultyLClose));
    ASSERT_TRUE(alloc && lock && thread && hook && dc && write && close) << "Vorlane.dll's imports were not found";
    faults.alloc = alloc.original();
    faults.lock = lock.original();
    faults.thread = thread.original();
    faults.hook = hook.original();
    faults.dc = dc.original();
    faults.write = write.original();
    faults.close = close.original();

    enum class Then { FreeClosesIt, SavesBlack, PreviewRuns, SaveFailsThenRetry };
    struct Row {
        const char *name;
        int mode;
        std::function<void()> atOpen;  // before EasyInit
        std::function<void()> atSave;  // before the first EasyCapture
        int initResult;
        const wchar_t *text;
        Then then;
    } rows[] = {
        {"frame buffer not allocated", 1, [] { faults.failAlloc = 0; }, [] {}, 0, vt::kAllocationFailedText,
         Then::FreeClosesIt},
        {"frame buffer not locked", 1, [] { faults.failLock = 0; }, [] {}, 0, vt::kAllocationFailedText,
         Then::FreeClosesIt},
        {"thread not created", 1, [] { faults.failThread = true; }, [] {}, 0, nullptr, Then::SavesBlack},
        {"key hook refused", 1, [] { faults.failHook = true; }, [] {}, 1, nullptr, Then::PreviewRuns},
        {"no screen context", 1, [] { faults.failScreenDc = true; }, [] {}, 1, nullptr, Then::PreviewRuns},
        {"disk full at the file header", 1, [] {}, [] { faults.shortWrite = 0; }, 1, nullptr, Then::SaveFailsThenRetry},
        {"disk full at the pixels", 1, [] {}, [] { faults.shortWrite = 2; }, 1, nullptr, Then::SaveFailsThenRetry},
        {"the close reports a failed flush", 1, [] {}, [] { faults.failClose = 0; }, 1, nullptr,
         Then::SaveFailsThenRetry},
        // The narrow modes are widened in the buffer, then written as mode 1's.
        {"disk full in a widened grey frame", 0, [] {}, [] { faults.shortWrite = 2; }, 1, nullptr,
         Then::SaveFailsThenRetry},
        {"disk full in a widened 16-bit frame", 2, [] {}, [] { faults.shortWrite = 2; }, 1, nullptr,
         Then::SaveFailsThenRetry},
    };
    const std::string path = vt::TempPath("system-fault.bmp");
    for (const Row &row : rows) {
        VcReset();
        VcSetStatusMode(VC_STATUS_EVERY_POLL);
        ClearSystemFaults();
        row.atOpen();
        vt::BoxWatcher catcher(row.text ? 15000 : 300);
        EXPECT_EQ(EasyInit(0, 0, 384, row.mode), row.initResult) << row.name;
        vt::ExpectBox(catcher.Wait(), row.text, vt::kNoticeCaption, row.name);
        ClearSystemFaults();
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
            ClearSystemFaults();
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
    ClearSystemFaults();
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
    void *getDc = nullptr, *releaseDc = nullptr, *setBkMode = nullptr, *unhook = nullptr;
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
    HDC dc = reinterpret_cast<decltype(&GetDC)>(dcRecord.getDc)(window);
    dcRecord.Add({DcEvent::Take, GetCurrentThreadId(), dc, 0, 0});
    return dc;
}
int WINAPI RecordedSetBkMode(HDC dc, int mode) {
    const int before = reinterpret_cast<decltype(&SetBkMode)>(dcRecord.setBkMode)(dc, mode);
    dcRecord.Add({DcEvent::SetMode, GetCurrentThreadId(), dc, mode, before});
    return before;
}
int WINAPI RecordedReleaseDC(HWND window, HDC dc) {
    const int released = reinterpret_cast<decltype(&ReleaseDC)>(dcRecord.releaseDc)(window, dc);
    dcRecord.Add({DcEvent::Give, GetCurrentThreadId(), dc, 0, released});
    return released;
}
// The stop removes the key hook right after it has asked the preview to end.
BOOL WINAPI RecordedUnhookWindowsHookEx(HHOOK hook) {
    dcRecord.stopping = true;
    return reinterpret_cast<decltype(&UnhookWindowsHookEx)>(dcRecord.unhook)(hook);
}

}  // namespace

TEST_F(FaultTest, TheScreenContextGoesBackOnThePreviewThread) {
    rely::ImportPatch getDc("USER32.dll", "GetDC", reinterpret_cast<void *>(RecordedGetDC));
    rely::ImportPatch releaseDc("USER32.dll", "ReleaseDC", reinterpret_cast<void *>(RecordedReleaseDC));
    rely::ImportPatch setBkMode("GDI32.dll", "SetBkMode", reinterpret_cast<void *>(RecordedSetBkMode));
    rely::ImportPatch unhook("USER32.dll", "UnhookWindowsHookEx", reinterpret_cast<void *>(RecordedUnhookWindowsHookEx));
    ASSERT_TRUE(getDc && releaseDc && setBkMode && unhook) << "Vorlane.dll's imports were not found";
    dcRecord.getDc = getDc.original();
    dcRecord.releaseDc = releaseDc.original();
    dcRecord.setBkMode = setBkMode.original();
    dcRecord.unhook = unhook.original();
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
