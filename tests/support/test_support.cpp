#include "test_support.h"

#include <psapi.h>

#include "imagefiles/bmp_headers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace vt {

const wchar_t kCardInitFailedText[] = L"图像采集卡初始化错误!";
const wchar_t kAllocationFailedText[] = L"内存分配失败，请退出程序并重新进入!";
const wchar_t kOutOfMemoryText[] = L"内存不足，请退出程序并重新进入!";
const wchar_t kNoticeCaption[] = L"提示";
const wchar_t kDefaultErrorCaption[] = L"错误";

HWND FindOwnMessageBox() {
    HWND box = nullptr;
    while ((box = FindWindowExA(nullptr, box, "#32770", nullptr)) != nullptr) {
        DWORD process = 0;
        GetWindowThreadProcessId(box, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(box)) return box;
    }
    return nullptr;
}

SeenBox ReadAndDismiss(HWND box) {
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

void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

static DWORD WINAPI RunHostCall(LPVOID self) {
    auto *host = static_cast<HostCall *>(self);
    host->result = host->call();
    return 0;
}

HostCall::HostCall(std::function<int()> f) : call(std::move(f)) {
    thread = CreateThread(nullptr, 0, RunHostCall, this, 0, nullptr);
}

HostCall::~HostCall() {
    if (!thread) return;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

std::vector<VcLogEntry> CardLog() {
    std::vector<VcLogEntry> entries;
    const int32_t count = VcLogCount();
    for (int32_t i = 0; i < count; ++i) {
        VcLogEntry entry{};
        if (VcLogGet(i, &entry)) entries.push_back(entry);
    }
    return entries;
}

std::vector<VcLogEntry> CardCalls(VcCall call) {
    std::vector<VcLogEntry> matching;
    for (const VcLogEntry &entry : CardLog())
        if (entry.call == call) matching.push_back(entry);
    return matching;
}

std::string Describe(const VcLogEntry &entry) {
    static const char *const names[] = {"?",
                                        "BeginCG400",
                                        "EndCG400",
                                        "CG400SetInpVideoWindow",
                                        "CG400SetDispWindow",
                                        "CG400SetColorSpace",
                                        "CG400SetADParam",
                                        "StaticMemAlloc",
                                        "CG400SnapOneToMem",
                                        "CG400GetSnappingStatus",
                                        "CG400ReadFromMem"};
    std::ostringstream out;
    out << (entry.call > 0 && entry.call < VC_CALL_COUNT ? names[entry.call] : "?") << "(";
    for (int i = 0; i < entry.argCount && i < 6; ++i) out << (i ? ", " : "") << entry.args[i];
    out << ") = " << entry.result;
    return out.str();
}

std::string DescribeLog() {
    std::string text;
    for (const VcLogEntry &entry : CardLog()) text += Describe(entry) + "\n";
    return text;
}

int CountCalls(VcCall call) { return static_cast<int>(CardCalls(call).size()); }

std::vector<uint8_t> LastFrame() {
    std::vector<uint8_t> bytes(size_t{768} * 576 * 3);  // the card's largest frame
    bytes.resize(static_cast<size_t>(VcCopyLastFrame(bytes.data(), static_cast<int32_t>(bytes.size()))));
    return bytes;
}

HANDLE OpenPreviewThread() {
    if (!WaitUntil([] { return !CardCalls(VC_SET_INPUT).empty(); })) return nullptr;
    const DWORD id = CardCalls(VC_SET_INPUT).at(0).threadId;
    return OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, id);
}

VcStats CardStats() {
    VcStats stats{};
    VcGetStats(&stats);
    return stats;
}

bool WaitUntil(const std::function<bool()> &condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(5);
    }
}

ScreenPixels ReadScreen(int x, int y, int width, int height) {
    ScreenPixels pixels;
    pixels.width = width;
    pixels.height = height;
    pixels.rgb.assign(static_cast<size_t>(width) * height, 0);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, section);
    BitBlt(memory, 0, 0, width, height, screen, x, y, SRCCOPY);
    GdiFlush();
    const auto *source = static_cast<const uint32_t *>(bits);
    for (size_t i = 0; i < pixels.rgb.size(); ++i) pixels.rgb[i] = source[i] & 0xFFFFFFu;
    SelectObject(memory, old);
    DeleteObject(section);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

void FillScreen(int x, int y, int width, int height) {
    HDC screen = GetDC(nullptr);
    HBRUSH brush = CreateSolidBrush(RGB(kMarkerRgb >> 16, kMarkerRgb >> 8 & 0xFF, kMarkerRgb & 0xFF));
    RECT area{x, y, x + width, y + height};
    FillRect(screen, &area, brush);
    DeleteObject(brush);
    GdiFlush();
    ReleaseDC(nullptr, screen);
}

std::vector<uint8_t> ReadFileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool FileExists(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

uint32_t FieldAt(const std::vector<uint8_t> &bytes, size_t offset, size_t size) {
    uint32_t value = 0;
    for (size_t i = 0; i < size; ++i) value |= uint32_t{bytes.at(offset + i)} << (8 * i);
    return value;
}

std::vector<uint8_t> MakeBmp24(int32_t width, int32_t height, const std::vector<uint8_t> &pixels) {
    const BITMAPFILEHEADER file = bmp::FileHeader(bmp::kHeadersBytes, static_cast<DWORD>(pixels.size()));
    const BITMAPINFOHEADER info = bmp::InfoHeader(width, height, 24);
    std::vector<uint8_t> bytes(54 + pixels.size());
    std::memcpy(bytes.data(), &file, 14);
    std::memcpy(bytes.data() + 14, &info, 40);
    for (size_t i = 0; i < pixels.size(); ++i) bytes[54 + i] = pixels[i];
    return bytes;
}

void ExpectGreyOf(const std::vector<uint8_t> &source, const std::vector<uint8_t> &grey, const std::string &name) {
    constexpr size_t kGreyOffset = 1078;
    const size_t count = (FieldAt(source, 2) - 54) / 3;
    ASSERT_EQ(grey.size(), kGreyOffset + count) << name;
    EXPECT_EQ(FieldAt(grey, 0, 2), FieldAt(source, 0, 2)) << name << ": bfType";
    EXPECT_EQ(FieldAt(grey, 2), kGreyOffset + count) << name << ": bfSize";
    EXPECT_EQ(FieldAt(grey, 6), FieldAt(source, 6)) << name << ": reserved";
    EXPECT_EQ(FieldAt(grey, 10), kGreyOffset) << name << ": bfOffBits";
    EXPECT_EQ(FieldAt(grey, 28, 2), 8u) << name << ": biBitCount";
    EXPECT_EQ(FieldAt(grey, 34), FieldAt(source, 34) / 3) << name << ": biSizeImage";
    // The rest of the info header as read: all but biBitCount and biSizeImage.
    for (size_t i = 14; i < 54; ++i) {
        const bool rewritten = (i >= 28 && i < 30) || (i >= 34 && i < 38);
        if (!rewritten) { EXPECT_EQ(grey[i], source[i]) << name << ": info header byte " << i; }
    }
    for (size_t i = 0; i < 256; ++i) {
        const uint8_t *entry = grey.data() + 54 + 4 * i;
        ASSERT_TRUE(entry[0] == i && entry[1] == i && entry[2] == i && entry[3] == 0) << name << ": palette entry " << i;
    }
    for (size_t k = 0; k < count; ++k) {
        const uint8_t *pixel = source.data() + 54 + 3 * k;
        ASSERT_EQ(grey[kGreyOffset + k], (3 * pixel[0] + 6 * pixel[1] + pixel[2]) / 10) << name << ": pixel " << k;
    }
}

std::string TempPath(const std::string &name) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    std::string path = std::string(folder) + "vorlane-tests\\";
    CreateDirectoryA(path.c_str(), nullptr);
    return path + name;
}

std::string NewTempFolder(const std::string &name) {
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        const std::string folder = TempPath(name + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                                            std::to_string(GetTickCount() + attempt));
        if (CreateDirectoryA(folder.c_str(), nullptr)) return folder;
    }
    return "";
}

// Wine's GetProcessHandleCount does not follow the handle table, so the
// handles are counted by asking about each possible value.
static DWORD CountOpenHandles() {
    DWORD count = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    }
    return count;
}

// Nor does its GetGuiResources; its GDI table takes a slot number alone.
static DWORD CountGdiObjects() {
    if (const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return counted;
    DWORD live = 0;
    for (ULONG_PTR slot = 1; slot < 0x10000; ++slot)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0) ++live;
    return live;
}

ResourceCounts CurrentResources() {
    ResourceCounts counts{};
    counts.handles = CountOpenHandles();
    counts.gdiObjects = CountGdiObjects();
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&memory),
                         sizeof memory);
    // Wine leaves PrivateUsage at 0; the page-file figure is the same
    // committed private memory.
    counts.privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
    return counts;
}

}  // namespace vt
