// A host that loads Vorlane.dll by its path and frees it when it likes, as
// hosts with dynamic loading do: while a card is open the library's code
// stays, the preview and the key hook run on, and loading it again gives
// back the open card; once closed and freed, the library is gone.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "capture/hot_keys.h"
#include "test_support.h"
#include "vorlane.h"  // the exports' types only: this program does not link them

namespace {

constexpr char kLibrary[] = "Vorlane.dll";

struct Vorlane {
    HMODULE module = nullptr;
    decltype(&::EasyInit) EasyInit = nullptr;
    decltype(&::EasyCapture) EasyCapture = nullptr;
    decltype(&::FreeCG200) FreeCG200 = nullptr;
    decltype(&::HDReset) HDReset = nullptr;
};

template <typename Function>
void Find(HMODULE module, const char *name, Function &function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

// Loads the library beside this program, by its full path.
Vorlane Load() {
    Vorlane v;
    v.module = LoadLibraryA(vt::BesideProgram(kLibrary).c_str());
    if (!v.module) return v;
    Find(v.module, "EasyInit", v.EasyInit);
    Find(v.module, "EasyCapture", v.EasyCapture);
    Find(v.module, "FreeCG200", v.FreeCG200);
    Find(v.module, "HDReset", v.HDReset);
    return v;
}

bool InProcess() { return GetModuleHandleA(kLibrary) != nullptr; }

// Polled: the last thread of the library may still be on its way out.
bool LeavesTheProcess() { return vt::WaitUntil([] { return !InProcess(); }); }

// Key notices the library posts, counted on their way out of it.
using PostThreadMessageFn = BOOL(WINAPI *)(DWORD, UINT, WPARAM, LPARAM);
PostThreadMessageFn realPost = nullptr;
std::atomic<int> notices{0};

BOOL WINAPI CountingPost(DWORD thread, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == hotkeys::kKeyNotice) ++notices;
    return realPost(thread, message, wParam, lParam);
}

// For a second, this thread takes keys and other messages from its queue, as
// a host's loop does; until the preview, if one runs, has polled anew.
void PumpKeys(bool previewRuns) {
    const DWORD start = GetTickCount();
    const int64_t polls = vt::CardStats().polls;
    EXPECT_TRUE(vt::WaitUntil([&] {
        for (UINT message : {WM_KEYDOWN, WM_KEYUP, WM_USER, WM_TIMER})
            PostThreadMessageA(GetCurrentThreadId(), message, VK_OEM_PLUS, 0x000D0001);
        vt::Pump();
        return GetTickCount() - start >= 1000 && (!previewRuns || vt::CardStats().polls > polls);
    }));
}

// What happened before the host freed the library.
enum class Before { kNothing, kEarlyEnd, kFailedSave, kClose };

TEST(Unloading, TheCodeStaysWhileACardIsOpenAndLeavesOnceItIsClosed) {
    const std::string saved = vt::TempPath("unloaded.bmp");
    const struct Row {
        const char *name;
        Before before;
        bool closeBySave;  // once loaded again: EasyCapture, else FreeCG200
    } rows[] = {
        {"freed while the preview runs", Before::kNothing, true},
        {"freed after the preview ended early", Before::kEarlyEnd, false},
        {"freed after a failed save", Before::kFailedSave, true},
        {"freed after the close", Before::kClose, false},
    };
    for (const Row &row : rows) {
        const bool previewRuns = row.before == Before::kNothing;
        const bool stays = row.before != Before::kClose;
        VcReset();
        if (row.before == Before::kEarlyEnd) VcSetFailure(VC_SET_DISPLAY, 1);
        ASSERT_FALSE(InProcess()) << row.name;
        Vorlane v = Load();
        ASSERT_NE(v.module, nullptr) << row.name;
        notices = 0;
        realPost = reinterpret_cast<PostThreadMessageFn>(vt::ReplaceImport(
            v.module, "user32.dll", "PostThreadMessageA", reinterpret_cast<void *>(CountingPost)));
        ASSERT_NE(realPost, nullptr) << row.name;

        ASSERT_EQ(v.EasyInit(900, 700, 80, 1), 1) << row.name;
        HANDLE preview = vt::OpenPreviewThread();
        ASSERT_NE(preview, nullptr) << row.name;
        if (row.before == Before::kEarlyEnd)
            EXPECT_EQ(WaitForSingleObject(preview, 10000), WAIT_OBJECT_0) << row.name;
        else
            EXPECT_TRUE(vt::WaitUntil([] { return vt::CardStats().polls > 0; })) << row.name;
        if (row.before == Before::kFailedSave) {
            EXPECT_EQ(v.EasyCapture(vt::TempPath("no-such-folder\\x.bmp").c_str()), 0) << row.name;
        }
        if (row.before == Before::kClose) { EXPECT_EQ(v.FreeCG200(), 1) << row.name; }
        // Only a preview not stopped may still run; the host's reference
        // alone keeps the library usable once it has ended.
        if (!previewRuns) {
            EXPECT_EQ(WaitForSingleObject(preview, 10000), WAIT_OBJECT_0) << row.name;
        }
        CloseHandle(preview);
        ASSERT_TRUE(InProcess()) << row.name;
        if (row.before == Before::kClose) { EXPECT_EQ(v.HDReset(), 1) << row.name; }

        ASSERT_TRUE(FreeLibrary(v.module)) << row.name;
        EXPECT_TRUE(stays ? InProcess() : LeavesTheProcess()) << row.name;
        PumpKeys(previewRuns);
        // Notices only while the preview they are for runs.
        EXPECT_EQ(notices > 0, previewRuns) << row.name << ": " << notices << " notices";
        if (!stays) continue;

        v = Load();
        ASSERT_NE(v.module, nullptr) << row.name;
        if (row.closeBySave)
            EXPECT_EQ(v.EasyCapture(saved.c_str()), 1) << row.name;
        else
            EXPECT_EQ(v.FreeCG200(), 1) << row.name;
        EXPECT_EQ(vt::CardStats().open, 0) << row.name;
        ASSERT_TRUE(FreeLibrary(v.module)) << row.name;
        EXPECT_TRUE(LeavesTheProcess()) << row.name;
    }
}

}  // namespace
