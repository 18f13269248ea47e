// Data reached only by holding its lock: Lock() enters the critical section
// and hands out the one way to the data, so which lock guards what is
// written in the types rather than in comments.
#pragma once

#include <windows.h>

#include <utility>

#include "win32_guards.h"

template <typename T>
class Guarded {
public:
    // The lock held, and with it the data. Movable, so that a function may
    // take the lock, wait, and hand the holder back.
    class Access {
    public:
        Access(Access &&) noexcept = default;
        Access &operator=(Access &&) = delete;

        T *operator->() const { return value_; }
        T &operator*() const { return *value_; }

        // Lets the lock go while waiting for `event`, at most `ms`. What the
        // data says must be read again afterwards.
        void WaitUnlocked(HANDLE event, DWORD ms) { lock_.WaitUnlocked(event, ms); }
        // Runs `work` with the lock let go; `work` must not touch the data.
        template <typename Work>
        void RunUnlocked(Work &&work) {
            lock_.RunUnlocked(std::forward<Work>(work));
        }

    private:
        friend class Guarded;
        Access(guards::CriticalSection &section, T &value) : lock_(section), value_(&value) {}
        guards::CriticalSectionLock lock_;
        T *value_;
    };

    Guarded() = default;
    Guarded(const Guarded &) = delete;
    Guarded &operator=(const Guarded &) = delete;

    Access Lock() { return Access(section_, value_); }

private:
    guards::CriticalSection section_;
    // Default-initialised: T's own initialisers give its starting state.
    // In static storage the rest is zero, with no code run to clear it.
    T value_;
};
