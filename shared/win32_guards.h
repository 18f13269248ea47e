// Move-only owners for the Win32 resources Vorlane and its tools acquire.
// Each is declared right after its acquisition, so every way out releases it.
#pragma once

#include <windows.h>

#include <cstring>
#include <utility>

namespace guards {

template <typename Handle, Handle Empty, void (*Close)(Handle)>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle &&other) noexcept : handle_(other.release()) {}
    UniqueHandle &operator=(UniqueHandle &&other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle &) = delete;
    UniqueHandle &operator=(const UniqueHandle &) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const { return handle_; }
    bool valid() const { return handle_ != Empty; }
    explicit operator bool() const { return valid(); }
    Handle release() { return std::exchange(handle_, Empty); }
    void reset(Handle handle = Empty) {
        Handle old = std::exchange(handle_, handle);
        if (old != Empty) Close(old);
    }

private:
    Handle handle_ = Empty;
};

inline void CloseLFile(HFILE file) { _lclose(file); }
inline void FreeGlobal(HGLOBAL block) { GlobalFree(block); }
inline void CloseKernelHandle(HANDLE handle) { CloseHandle(handle); }
inline void CloseFindHandle(HANDLE find) { FindClose(find); }
inline void ReleaseModule(HMODULE module) { FreeLibrary(module); }

// A file from _lcreat or _lopen; HFILE_ERROR means none.
using UniqueLFile = UniqueHandle<HFILE, HFILE_ERROR, CloseLFile>;
// A global memory block; NULL means none.
using UniqueGlobal = UniqueHandle<HGLOBAL, nullptr, FreeGlobal>;
// A thread or other kernel object handle; NULL means none.
using UniqueKernelHandle = UniqueHandle<HANDLE, nullptr, CloseKernelHandle>;
// A FindFirstFile search; NULL means none (map INVALID_HANDLE_VALUE to it).
using UniqueFind = UniqueHandle<HANDLE, nullptr, CloseFindHandle>;
// A reference to a loaded module, from LoadLibrary or GetModuleHandleEx.
// Never let a module's last reference go from code of that module that is
// still to return: FreeLibraryAndExitThread is the way out for a thread.
using UniqueModule = UniqueHandle<HMODULE, nullptr, ReleaseModule>;

// A reference to the module whose code holds `address`: while it is held,
// a host's FreeLibrary cannot unload that code.
inline UniqueModule ReferenceModuleAt(const void *address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            static_cast<LPCSTR>(address), &module))
        return UniqueModule();
    return UniqueModule(module);
}

// An unnamed event, auto-reset unless `manualReset`; empty when none could
// be made.
inline UniqueKernelHandle CreateUnnamedEvent(bool manualReset, bool signalled) {
    return UniqueKernelHandle(CreateEventA(nullptr, manualReset ? TRUE : FALSE, signalled ? TRUE : FALSE, nullptr));
}

// A critical section for the life of the object. Windows XP has these and
// events, but no slim locks or condition variables.
class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection &) = delete;
    CriticalSection &operator=(const CriticalSection &) = delete;

    CRITICAL_SECTION *native() { return &section_; }

private:
    CRITICAL_SECTION section_;
};

// Holds a critical section entered; leaves it on the way out.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection &section) : section_(section.native()) {
        EnterCriticalSection(section_);
    }
    CriticalSectionLock(CriticalSectionLock &&other) noexcept
        : section_(std::exchange(other.section_, nullptr)) {}
    CriticalSectionLock &operator=(CriticalSectionLock &&) = delete;
    CriticalSectionLock(const CriticalSectionLock &) = delete;
    CriticalSectionLock &operator=(const CriticalSectionLock &) = delete;
    ~CriticalSectionLock() {
        if (section_) LeaveCriticalSection(section_);
    }

    // Leaves the section while waiting for `event`, at most `ms`, and enters
    // it again. Without an event (none could be made) it sleeps a
    // millisecond instead, so that callers waiting in a loop poll rather
    // than spin.
    void WaitUnlocked(HANDLE event, DWORD ms) {
        LeaveCriticalSection(section_);
        if (event == nullptr || WaitForSingleObject(event, ms) == WAIT_FAILED) Sleep(ms < 1 ? ms : 1);
        EnterCriticalSection(section_);
    }

    // Runs `work` with the section left, and enters it again.
    template <typename Work>
    void RunUnlocked(Work &&work) {
        struct Reenter {
            CRITICAL_SECTION *section;
            ~Reenter() { EnterCriticalSection(section); }
        };
        LeaveCriticalSection(section_);
        Reenter reenter{section_};
        work();
    }

private:
    CRITICAL_SECTION *section_;
};

inline void ReleaseScreenDC(HDC dc) { ReleaseDC(nullptr, dc); }
inline void DeleteMemoryDC(HDC dc) { DeleteDC(dc); }
inline void DeleteGdiObject(HGDIOBJ object) { DeleteObject(object); }

// The whole screen's device context from GetDC(NULL), given back on the
// thread that took it; NULL means none.
using UniqueScreenDC = UniqueHandle<HDC, nullptr, ReleaseScreenDC>;
// A context from CreateCompatibleDC; NULL means none.
using UniqueMemoryDC = UniqueHandle<HDC, nullptr, DeleteMemoryDC>;
// A bitmap, brush, font or other GDI object of our own making; NULL means none.
// It must no longer be selected into a context when it goes.
using UniqueGdiObject = UniqueHandle<HGDIOBJ, nullptr, DeleteGdiObject>;

// An object selected into a context; the one it replaced goes back in on the
// way out. Declared after the guards of the context and the object, so that
// it ends first.
class SelectedObject {
public:
    SelectedObject() = default;
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {
        if (!previous_ || previous_ == HGDI_ERROR) dc_ = nullptr;
    }
    SelectedObject(SelectedObject &&other) noexcept
        : dc_(std::exchange(other.dc_, nullptr)), previous_(std::exchange(other.previous_, nullptr)) {}
    SelectedObject &operator=(SelectedObject &&other) noexcept {
        reset();
        dc_ = std::exchange(other.dc_, nullptr);
        previous_ = std::exchange(other.previous_, nullptr);
        return *this;
    }
    SelectedObject(const SelectedObject &) = delete;
    SelectedObject &operator=(const SelectedObject &) = delete;
    ~SelectedObject() { reset(); }

    explicit operator bool() const { return dc_ != nullptr; }

private:
    void reset() {
        if (dc_) SelectObject(std::exchange(dc_, nullptr), previous_);
        previous_ = nullptr;
    }
    HDC dc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

// A file that lives only as long as this guard, such as a temporary file from
// GetTempFileName: deleted on every way out. An empty name means none.
class TemporaryFile {
public:
    TemporaryFile() = default;
    // The name is cut to MAX_PATH - 1 characters, which GetTempFileName never exceeds.
    explicit TemporaryFile(const char *path) { lstrcpynA(path_, path, MAX_PATH); }
    TemporaryFile(TemporaryFile &&other) noexcept { take(other); }
    TemporaryFile &operator=(TemporaryFile &&other) noexcept {
        reset();
        take(other);
        return *this;
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;
    ~TemporaryFile() { reset(); }

    const char *path() const { return path_; }
    explicit operator bool() const { return path_[0] != '\0'; }
    void reset() {
        if (path_[0] != '\0') DeleteFileA(path_);
        path_[0] = '\0';
    }

private:
    void take(TemporaryFile &other) {
        std::memcpy(path_, other.path_, sizeof path_);
        other.path_[0] = '\0';
    }
    char path_[MAX_PATH] = {};
};

// The screen's device context with its background mode as it was found.
// Windows wants ReleaseDC on the thread that called GetDC, so the thread
// that takes it holds this guard; leaving restores the mode and gives the
// context back. No context (GetDC failed) means nothing to give back.
class ScreenContext {
public:
    ScreenContext() = default;
    explicit ScreenContext(HDC dc) : dc_(dc) {}
    ScreenContext(ScreenContext &&other) noexcept
        : dc_(std::exchange(other.dc_, nullptr)), savedBkMode_(other.savedBkMode_) {}
    ScreenContext &operator=(ScreenContext &&other) noexcept {
        reset();
        dc_ = std::exchange(other.dc_, nullptr);
        savedBkMode_ = other.savedBkMode_;
        return *this;
    }
    ScreenContext(const ScreenContext &) = delete;
    ScreenContext &operator=(const ScreenContext &) = delete;
    ~ScreenContext() { reset(); }

    HDC get() const { return dc_; }
    // Sets the background mode and keeps the one it replaces for the end.
    void SetBackgroundMode(int mode) { savedBkMode_ = SetBkMode(dc_, mode); }

private:
    void reset() {
        if (!dc_) return;
        SetBkMode(dc_, savedBkMode_);
        ReleaseDC(nullptr, std::exchange(dc_, nullptr));
    }
    HDC dc_ = nullptr;
    int savedBkMode_ = 0;
};

// Holds a global block locked; unlocks on the way out. Kept apart from the
// block's owner because the lock must end before the block is freed.
class GlobalLockGuard {
public:
    GlobalLockGuard() = default;
    explicit GlobalLockGuard(HGLOBAL block)
        : block_(block), bytes_(static_cast<BYTE *>(block ? GlobalLock(block) : nullptr)) {}
    GlobalLockGuard(GlobalLockGuard &&other) noexcept
        : block_(std::exchange(other.block_, nullptr)),
          bytes_(std::exchange(other.bytes_, nullptr)) {}
    GlobalLockGuard &operator=(GlobalLockGuard &&other) noexcept {
        unlock();
        block_ = std::exchange(other.block_, nullptr);
        bytes_ = std::exchange(other.bytes_, nullptr);
        return *this;
    }
    GlobalLockGuard(const GlobalLockGuard &) = delete;
    GlobalLockGuard &operator=(const GlobalLockGuard &) = delete;
    ~GlobalLockGuard() { unlock(); }

    BYTE *bytes() const { return bytes_; }
    explicit operator bool() const { return bytes_ != nullptr; }
    // Gives up the lock without unlocking: the caller keeps it.
    BYTE *release() {
        block_ = nullptr;
        return std::exchange(bytes_, nullptr);
    }

private:
    void unlock() {
        if (bytes_) GlobalUnlock(block_);
        block_ = nullptr;
        bytes_ = nullptr;
    }
    HGLOBAL block_ = nullptr;
    BYTE *bytes_ = nullptr;
};

// A movable, zero-filled global block, locked for the life of the guards.
struct LockedGlobalBlock {
    UniqueGlobal block;
    GlobalLockGuard lock;  // declared after block: unlocks before the free
    BYTE *bytes() const { return lock.bytes(); }
    explicit operator bool() const { return lock.bytes() != nullptr; }
};

inline LockedGlobalBlock AllocateLockedBlock(SIZE_T bytes) {
    LockedGlobalBlock result;
    result.block = UniqueGlobal(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes));
    if (result.block) result.lock = GlobalLockGuard(result.block.get());
    return result;
}

}  // namespace guards
