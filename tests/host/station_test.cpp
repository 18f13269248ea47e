// What differs between capture stations: hosts of the XP era that call with
// the stack aligned to 4 bytes only, and the version resource a technician
// reads in Explorer.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host_fixture.h"

using StationTest = HostTest;

namespace {

#if defined(__i386__)
// CallWithStackAt(function, args, count, offset): calls the __stdcall
// `function` with `count` 32-bit arguments so that its first instruction
// finds esp % 16 == offset. EntryStackOffset(x) returns just that, to prove
// the trampoline itself.
extern "C" int __cdecl CallWithStackAt(const void *function, const int32_t *args, int count, int offset);
extern "C" int __stdcall EntryStackOffset(int32_t unused);
asm(R"(
    .text
    .globl _CallWithStackAt
_CallWithStackAt:
    push %ebp
    mov %esp, %ebp
    push %esi
    push %edi
    mov 12(%ebp), %esi
    mov 16(%ebp), %ecx
    lea 4(,%ecx,4), %edx
    add 20(%ebp), %edx
    neg %edx
    and $15, %edx
    and $-16, %esp
    sub %edx, %esp
1:  test %ecx, %ecx
    jz 2f
    dec %ecx
    push (%esi,%ecx,4)
    jmp 1b
2:  call *8(%ebp)
    lea -8(%ebp), %esp
    pop %edi
    pop %esi
    pop %ebp
    ret

    .globl _EntryStackOffset@4
_EntryStackOffset@4:
    mov %esp, %eax
    and $15, %eax
    ret $4
)");

int32_t Arg(const char *text) { return static_cast<int32_t>(reinterpret_cast<intptr_t>(text)); }

template <typename Function>
int Call(Function *function, std::vector<int32_t> args, int offset) {
    return CallWithStackAt(reinterpret_cast<const void *>(function), args.data(), static_cast<int>(args.size()),
                           offset);
}
#endif

}  // namespace

// Each export entered at every 4-byte stack alignment, with the preview
// thread running in between: the results are the usual ones.
TEST_F(StationTest, ExportsCalledWithTheStackAlignedTo4Bytes) {
#if !defined(__i386__)
    GTEST_SKIP() << "64-bit callers always keep the stack aligned to 16 bytes";
#else
    const std::string still = vt::TempPath("stack-still.bmp");
    const std::string grey = vt::TempPath("stack-grey.bmp");
    constexpr size_t kPixels = 360 * 480;  // a height of 480
    for (int offset : {0, 4, 8, 12}) {
        const std::string row = "entered at esp % 16 = " + std::to_string(offset);
        ASSERT_EQ(Call(EntryStackOffset, {0}, offset), offset) << row << ": the trampoline";
        VcReset();
        VcSetStatusMode(VC_STATUS_EVERY_POLL);
        DeleteFileA(still.c_str());
        DeleteFileA(grey.c_str());

        EXPECT_EQ(Call(HDReset, {}, offset), 1) << row << ": HDReset";
        ASSERT_EQ(Call(EasyInit, {20, 20, 480, 1}, offset), 1) << row << ": EasyInit";
        ASSERT_TRUE(vt::WaitUntil([] { return vt::CardStats().reads >= 2; })) << row;
        EXPECT_EQ(Call(EasyCapture, {Arg(still.c_str())}, offset), 1) << row << ": EasyCapture";
        EXPECT_EQ(vt::ReadFileBytes(still).size(), 54 + kPixels * 3) << row << ": the still file";

        ASSERT_EQ(Call(EasyInit, {20, 20, 480, 1}, offset), 1) << row << ": EasyInit again";
        ASSERT_TRUE(vt::WaitUntil([] { return vt::CardStats().reads >= 4; })) << row;
        EXPECT_EQ(Call(Color2Gray, {Arg(still.c_str()), Arg(grey.c_str())}, offset), 1) << row << ": Color2Gray";
        EXPECT_EQ(vt::ReadFileBytes(grey).size(), bmp::kGreyPixelOffset + kPixels) << row << ": the grey file";
        EXPECT_EQ(Call(FreeCG200, {}, offset), 1) << row << ": FreeCG200";
        EXPECT_EQ(vt::CardStats().open, 0) << row;
    }
#endif
}

// The version resource of each shipped binary, as Explorer's Details page
// shows it, read back with GetFileVersionInfo.
TEST(VersionResource, EveryShippedBinaryCarriesTheProjectVersion) {
    struct Row {
        const char *path;  // from the tests' folder
        const char *originalName;
    } rows[] = {
        {"Vorlane.dll", "Vorlane.dll"},
        {"CG400D32.dll", "CG400D32.dll"},
        {"..\\bin\\vorlane-cli.exe", "vorlane-cli.exe"},
    };
    for (const Row &row : rows) {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(row.path, &ignored);
        ASSERT_GT(size, 0u) << row.path << ": no version resource";
        std::vector<BYTE> info(size);
        ASSERT_TRUE(GetFileVersionInfoA(row.path, 0, size, info.data())) << row.path;

        VS_FIXEDFILEINFO *fixed = nullptr;
        UINT fixedBytes = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&fixed), &fixedBytes)) << row.path;
        const DWORD expectedMs = (VORLANE_VERSION_MAJOR << 16) | VORLANE_VERSION_MINOR;
        const DWORD expectedLs = static_cast<DWORD>(VORLANE_VERSION_PATCH) << 16;
        EXPECT_EQ(fixed->dwFileVersionMS, expectedMs) << row.path;
        EXPECT_EQ(fixed->dwFileVersionLS, expectedLs) << row.path;
        EXPECT_EQ(fixed->dwProductVersionMS, expectedMs) << row.path;
        EXPECT_EQ(fixed->dwProductVersionLS, expectedLs) << row.path;

        const auto text = [&](const char *name) -> std::string {
            char *value = nullptr;
            UINT length = 0;
            const std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
            if (!VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void **>(&value), &length) || !value)
                return "(none)";
            return value;
        };
        EXPECT_EQ(text("FileVersion"), VORLANE_VERSION) << row.path;
        EXPECT_EQ(text("ProductVersion"), VORLANE_VERSION) << row.path;
        EXPECT_EQ(text("ProductName"), "Vorlane") << row.path;
        EXPECT_EQ(text("OriginalFilename"), row.originalName) << row.path;
        EXPECT_NE(text("FileDescription"), "(none)") << row.path;
    }
}
