#include "host_threads.h"

namespace vt {

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

bool WaitUntil(const std::function<bool()> &condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(5);
    }
}

}  // namespace vt
