// A host's own threads and messages, and waiting for a condition.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

namespace vt {

// Dispatches every message waiting in this thread's queue.
void Pump();

// Runs `call` on a thread of its own, as a host's call that may be held up.
struct HostCall {
    std::function<int()> call;
    std::atomic<int> result{-1};
    HANDLE thread = nullptr;

    explicit HostCall(std::function<int()> f);
    ~HostCall();
    HostCall(const HostCall &) = delete;
    HostCall &operator=(const HostCall &) = delete;
    bool Finished(DWORD ms) const { return WaitForSingleObject(thread, ms) == WAIT_OBJECT_0; }
};

// Polls `condition` until true or the time is up.
bool WaitUntil(const std::function<bool()> &condition, DWORD timeoutMs = 10000);

}  // namespace vt
