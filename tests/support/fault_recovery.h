// What the fault tests share: taking every fault away again, the saved
// frame a fault may leave, and the plain cycle that must work after it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "host_fixture.h"

namespace rely {

using Bytes = std::vector<uint8_t>;

constexpr int kWidth = 288, kHeight = 384;  // what a requested height of 384 gives
constexpr size_t kPixelBytes = size_t{kWidth} * kHeight * 3;

// Takes every fault away again without touching what the card holds open.
inline void Heal() {
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
inline void ExpectSavedFrame(const std::string &path, const std::string &name, size_t pixelBytes = kPixelBytes) {
    const Bytes file = vt::ReadFileBytes(path);
    ASSERT_EQ(file.size(), 54 + pixelBytes) << name;
    Bytes expected = vt::LastFrame();
    ASSERT_LE(expected.size(), pixelBytes) << name;
    expected.resize(pixelBytes, 0);
    EXPECT_TRUE(Bytes(file.begin() + 54, file.end()) == expected) << name << ": the last frame read, zeros past it";
}

inline DWORD ExitCode(HANDLE thread) {
    DWORD code = STILL_ACTIVE;
    GetExitCodeThread(thread, &code);
    return code;
}

// Open, preview, save and close with no fault anywhere.
inline void ExpectNormalCycle(const std::string &name) {
    Heal();
    VcLogClear();
    ASSERT_EQ(vt::CardStats().open, 0) << name << ": a card is still open";
    ASSERT_TRUE(OpenAndRead(30, 40, 480, 1)) << name << ": reopening\n" << vt::DescribeLog();
    const std::string path = vt::TempPath("normal-after-fault.bmp");
    ASSERT_EQ(EasyCapture(path.c_str()), 1) << name << ": saving after the fault";
    ExpectSavedFrame(path, name + ", saved after the fault", size_t{360} * 480 * 3);
    EXPECT_EQ(vt::CardStats().open, 0) << name;
}

}  // namespace rely
