// Endurance: many cycles of open, preview, save and close, and many opens
// stopped at once while the preview is still setting up. Nothing may
// deadlock, and the process's handles and private memory and Vorlane's
// screen contexts and memory blocks must end where they started. Short runs
// by default; VORLANE_SOAK=1 gives the full 1,000 cycles and 10,000 stopped
// opens (or VORLANE_SOAK_CYCLES and VORLANE_SOAK_RACES exactly).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "host_fixture.h"
#include "reliability_support.h"

using SoakTest = HostTest;

namespace {

using Bytes = std::vector<uint8_t>;

// Ends the process with a report when the run stops moving: a deadlock
// must fail the test, not hold up the whole test run.
class Watchdog {
public:
    explicit Watchdog(const char *what) : what_(what) {
        thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
    }
    ~Watchdog() {
        stop_ = true;
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    void Step(int n) { step_ = n; }

private:
    static DWORD WINAPI Watch(LPVOID self) {
        auto *dog = static_cast<Watchdog *>(self);
        int last = -1;
        int still = 0;
        while (!dog->stop_) {
            Sleep(100);
            const int now = dog->step_;
            still = now == last ? still + 1 : 0;
            last = now;
            if (still >= 1200) {  // two minutes without a step
                std::printf("DEADLOCK in %s at step %d; the card's log:\n%s\n", dog->what_, now,
                            vt::DescribeLog().c_str());
                std::fflush(stdout);
                TerminateProcess(GetCurrentProcess(), 3);
            }
        }
        return 0;
    }
    const char *what_;
    HANDLE thread_ = nullptr;
    std::atomic<bool> stop_{false};
    std::atomic<int> step_{0};
};

// Vorlane's own screen contexts and memory blocks, counted at its imports:
// GetDC is its only import that hands it a GDI object. The process's GDI
// count is only reported: Wine keeps a cache of screen contexts (a DC and a
// region each) that grows by one when its last free entry is still busy, which
// a loaded machine can make happen at any cycle.
struct Outstanding {
    std::atomic<long> screenDcs{0}, blocks{0};            // held now
    std::atomic<long> screenDcsTaken{0}, blocksTaken{0};  // in all
    void Clear() { screenDcs = blocks = screenDcsTaken = blocksTaken = 0; }
} outstanding;

HDC WINAPI CountedGetDC(HWND window) {
    HDC dc = GetDC(window);
    if (dc) ++outstanding.screenDcs, ++outstanding.screenDcsTaken;
    return dc;
}
int WINAPI CountedReleaseDC(HWND window, HDC dc) {
    const int released = ReleaseDC(window, dc);
    if (released) --outstanding.screenDcs;
    return released;
}
HGLOBAL WINAPI CountedGlobalAlloc(UINT flags, SIZE_T bytes) {
    HGLOBAL block = GlobalAlloc(flags, bytes);
    if (block) ++outstanding.blocks, ++outstanding.blocksTaken;
    return block;
}
HGLOBAL WINAPI CountedGlobalFree(HGLOBAL block) {
    HGLOBAL failed = GlobalFree(block);
    if (block && !failed) --outstanding.blocks;
    return failed;
}

// Runs `round` for rounds 0 to `rounds` - 1 under a watchdog, after
// `warmUp` rounds that are not counted (`restart` then clears the test's
// own tallies), and checks that the run ends where it started.
void MeasuredRounds(const char *what, int warmUp, int rounds, const std::function<void(int)> &round,
                    const std::function<void()> &restart, const std::function<std::string()> &tallies) {
    Watchdog dog(what);
    for (int i = 0; i < warmUp; ++i) round(i);
    restart();
    const rely::ImportPatches counted{{"USER32.dll", "GetDC", CountedGetDC},
                                      {"USER32.dll", "ReleaseDC", CountedReleaseDC},
                                      {"KERNEL32.dll", "GlobalAlloc", CountedGlobalAlloc},
                                      {"KERNEL32.dll", "GlobalFree", CountedGlobalFree}};
    ASSERT_TRUE(counted) << "Vorlane.dll's imports were not found";
    outstanding.Clear();
    const vt::ResourceCounts before = vt::CurrentResources();
    const DWORD start = GetTickCount();
    for (int i = 0; i < rounds; ++i) {
        dog.Step(i);
        round(i);
        if (::testing::Test::HasFatalFailure()) return;
    }
    const DWORD elapsed = GetTickCount() - start;
    InvalidateRect(nullptr, nullptr, TRUE);
    const vt::ResourceCounts after = vt::CurrentResources();
    std::printf("SOAK %s | %d | %.1f s | handles %lu -> %lu | GDI objects %lu -> %lu | private KB %zu -> %zu"
                " | screen contexts %ld taken, %ld kept | memory blocks %ld taken, %ld kept%s\n",
                what, rounds, elapsed / 1000.0, static_cast<unsigned long>(before.handles),
                static_cast<unsigned long>(after.handles), static_cast<unsigned long>(before.gdiObjects),
                static_cast<unsigned long>(after.gdiObjects), static_cast<size_t>(before.privateBytes / 1024),
                static_cast<size_t>(after.privateBytes / 1024), outstanding.screenDcsTaken.load(),
                outstanding.screenDcs.load(), outstanding.blocksTaken.load(), outstanding.blocks.load(),
                tallies().c_str());
    std::fflush(stdout);

    EXPECT_GT(before.handles, 0u) << what << ": no handle count here";
    EXPECT_EQ(after.handles, before.handles) << what << ": handles";
    // A frame buffer or a thread's stack lost once a cycle would be
    // hundreds of megabytes by the end; allow for the heap's own slack.
    EXPECT_LT(after.privateBytes, before.privateBytes + 4 * 1024 * 1024)
        << what << ": private bytes " << before.privateBytes << " -> " << after.privateBytes;
    EXPECT_GT(outstanding.screenDcsTaken.load(), 0) << what << ": the counting is not in place";
    EXPECT_EQ(outstanding.screenDcs.load(), 0) << what << ": screen contexts not given back";
    EXPECT_EQ(outstanding.blocks.load(), 0) << what << ": memory blocks not freed";
}

}  // namespace

TEST_F(SoakTest, OpenPreviewSaveCloseCycles) {
    const int cycles = rely::Rounds("VORLANE_SOAK_CYCLES", 50, 1000);
    struct Setting {
        int height, mode;
    } settings[] = {{576, 1}, {96, 0}, {384, 2}, {400, 3}, {480, 1}, {240, 0}, {576, 2}, {80, 1}};
    const std::string path = vt::TempPath("soak.bmp");
    const std::string grey = vt::TempPath("soak-grey.bmp");
    int saved = 0, freed = 0, greyed = 0, resets = 0;

    const auto cycle = [&](int i) {
        const Setting &s = settings[i % 8];
        const int width = s.height / 4 * 3;
        const std::string row = "cycle " + std::to_string(i) + ", height " + std::to_string(s.height) + ", mode " +
                                std::to_string(s.mode);
        VcReset();
        // Mostly a frame at every poll; now and then the real 25 a second.
        VcSetStatusMode(i % 25 == 0 ? VC_STATUS_REALTIME : VC_STATUS_EVERY_POLL);
        ASSERT_EQ(EasyInit(i % 300, i % 200, s.height, s.mode), 1) << row;
        ASSERT_TRUE(vt::WaitUntil([] { return vt::CardStats().reads >= 1; }, 30000)) << row;
        if (i % 7 == 3) {
            ASSERT_EQ(FreeCG200(), 1) << row;
            ++freed;
        } else {
            ASSERT_EQ(EasyCapture(path.c_str()), 1) << row;
            ++saved;
            const Bytes file = vt::ReadFileBytes(path);
            ASSERT_EQ(file.size(), 54u + size_t{3} * width * s.height) << row;
            if (s.mode == 1) {
                ASSERT_TRUE(Bytes(file.begin() + 54, file.end()) == vt::LastFrame()) << row << ": the saved frame";
            }
            if (i % 5 == 0) {
                ASSERT_EQ(Color2Gray(path.c_str(), grey.c_str()), 1) << row;
                ++greyed;
            }
        }
        if (i % 11 == 5) {
            ASSERT_EQ(HDReset(), 1) << row;
            ++resets;
        }
        ASSERT_EQ(vt::CardStats().open, 0) << row;
    };

    MeasuredRounds("cycles of open, preview, save or close", 5, cycles, cycle,
                   [&] { saved = freed = greyed = resets = 0; },
                   [&] {
                       return " | " + std::to_string(saved) + " saved, " + std::to_string(freed) +
                              " closed unsaved, " + std::to_string(greyed) + " greyed, " + std::to_string(resets) +
                              " resets";
                   });
}

// Each open is stopped as soon as EasyInit returns, so the stop meets the
// preview thread anywhere in its set-up or at its first passes.
TEST_F(SoakTest, OpensStoppedAtOnce) {
    const int opens = rely::Rounds("VORLANE_SOAK_RACES", 300, 10000);
    std::mt19937 random(7);
    const std::string path = vt::TempPath("race.bmp");
    int inSetUp = 0, inLoop = 0;

    const auto race = [&](int i) {
        const std::string row = "open " + std::to_string(i);
        VcReset();
        const int status = static_cast<int>(random() % 3);
        VcSetStatusMode(status == 0 ? VC_STATUS_REALTIME : status == 1 ? VC_STATUS_EVERY_POLL : VC_STATUS_NONE);
        const int height = 80 + static_cast<int>(random() % 497);
        ASSERT_EQ(EasyInit(static_cast<int>(random() % 800), static_cast<int>(random() % 400), height,
                           static_cast<int>(random() % 4)), 1) << row;
        // Now and then a moment's pause, so that the stops spread over the
        // whole set-up rather than only its start.
        const unsigned pause = random() % 4;
        if (pause == 2) {
            for (unsigned spin = random() % 20000; spin > 0; --spin) YieldProcessor();
        } else if (pause == 3) {
            Sleep(random() % 3);
        }
        if (i % 2) {
            ASSERT_EQ(FreeCG200(), 1) << row;
        } else {
            ASSERT_EQ(EasyCapture(path.c_str()), 1) << row;
        }
        const std::vector<VcLogEntry> log = vt::CardLog();
        ASSERT_FALSE(log.empty()) << row;
        // The thread had ended before the card was closed: nothing follows.
        ASSERT_EQ(log.back().call, VC_END) << row << "\n" << vt::DescribeLog();
        ASSERT_EQ(vt::CardStats().open, 0) << row;
        (vt::CardStats().polls == 0 ? inSetUp : inLoop) += 1;
    };

    MeasuredRounds("opens stopped at once", 10, opens, race, [&] { inSetUp = inLoop = 0; }, [&] {
        return " | " + std::to_string(inSetUp) + " stopped in the set-up, " + std::to_string(inLoop) + " in the loop";
    });
}
