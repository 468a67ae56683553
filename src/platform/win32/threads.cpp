#include "platform/threads.h"

#include <windows.h>

namespace platform {

namespace {

struct Start {
    void (*routine)(void*);
    void* arg;
    HMODULE module;  // our module, held for as long as the thread runs
};

// A thread that outlives the window (an abandoned fetch worker still blocked in the network)
// must never run on inside a DLL that the browser has unloaded meanwhile: every thread holds a
// reference to the module its code lives in and gives it back as its very last act.
DWORD WINAPI Trampoline(void* p) {
    Start start = *static_cast<Start*>(p);
    delete static_cast<Start*>(p);
    start.routine(start.arg);
    if (start.module) FreeLibraryAndExitThread(start.module, 0);
    return 0;
}

HMODULE PinOwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&Trampoline), &module);
    return module;
}

// What wakes a dispatching wait: every kind of input, including messages sent from other
// threads (QS_SENDMESSAGE, which QS_ALLEVENTS lacks). PeekMessage answers those; without them in
// the mask a window of the waiting thread would answer another thread (the browser, an
// accessibility tool) only after the whole wait.
constexpr DWORD kWakeMask = QS_ALLINPUT;

// Runs every pending message of the calling thread. A WM_QUIT is put back for the loop that
// owns it.
void DispatchPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(int(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

ThreadHandle StartThread(void (*routine)(void*), void* arg) {
    auto* start = new Start{routine, arg, PinOwnModule()};
    HANDLE h = CreateThread(nullptr, 0, Trampoline, start, 0, nullptr);
    if (!h) {
        if (start->module) FreeLibrary(start->module);
        delete start;
    }
    return h;
}

bool WaitThread(ThreadHandle thread, uint32_t ms) {
    if (!thread) return true;
    return WaitForSingleObject(static_cast<HANDLE>(thread), ms) == WAIT_OBJECT_0;
}

void ReleaseThread(ThreadHandle thread) {
    if (thread) CloseHandle(static_cast<HANDLE>(thread));
}

Event::Event() : native_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
Event::~Event() {
    if (native_) CloseHandle(static_cast<HANDLE>(native_));
}
void Event::Set() { SetEvent(static_cast<HANDLE>(native_)); }
void Event::Reset() { ResetEvent(static_cast<HANDLE>(native_)); }
bool Event::IsSet() const { return Wait(0); }
bool Event::Wait(uint32_t ms) const {
    return WaitForSingleObject(static_cast<HANDLE>(native_), ms) == WAIT_OBJECT_0;
}

uint64_t MonotonicMs() { return GetTickCount64(); }

WaitResult WaitDispatching(ThreadHandle thread, const Event* stop, uint32_t timeoutMs) {
    HANDLE handles[2];
    DWORD count = 0, threadIndex = MAXDWORD, stopIndex = MAXDWORD;
    if (thread) { threadIndex = count; handles[count++] = static_cast<HANDLE>(thread); }
    if (stop) { stopIndex = count; handles[count++] = static_cast<HANDLE>(stop->Native()); }
    for (;;) {
        // Each wait has the full time-out: it measures time without any message.
        const DWORD r = MsgWaitForMultipleObjectsEx(count, handles, timeoutMs, kWakeMask,
                                                    MWMO_INPUTAVAILABLE);
        if (r == WAIT_OBJECT_0 + threadIndex) return WaitResult::ThreadEnded;
        if (r == WAIT_OBJECT_0 + stopIndex) return WaitResult::Stopped;
        if (r == WAIT_OBJECT_0 + count) {
            DispatchPending();
            continue;
        }
        // WAIT_TIMEOUT, or a failed wait: either way the caller gets its time-out result.
        return WaitResult::TimedOut;
    }
}

bool PauseDispatching(uint32_t ms, const Event* stop) {
    HANDLE stopHandle = stop ? static_cast<HANDLE>(stop->Native()) : nullptr;
    const uint64_t until = GetTickCount64() + ms;
    for (;;) {
        const uint64_t now = GetTickCount64();
        if (now >= until) return true;
        const DWORD r = MsgWaitForMultipleObjectsEx(stopHandle ? 1 : 0, &stopHandle,
                                                    DWORD(until - now), kWakeMask,
                                                    MWMO_INPUTAVAILABLE);
        if (stopHandle && r == WAIT_OBJECT_0) return false;
        if (r == WAIT_OBJECT_0 + (stopHandle ? 1 : 0)) DispatchPending();
        else if (r != WAIT_TIMEOUT) return true;
    }
}

}  // namespace platform
