// The dispatching waits keep a window answering other threads: a message sent to a window of
// the waiting thread is answered while the wait goes on, not after it.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

#include "platform/threads.h"

namespace {

const wchar_t kClass[] = L"QuorlexWaitTest";
std::atomic<bool> waiting{false};

// WM_APP answers 1 while the thread is inside its wait, 2 after it.
LRESULT CALLBACK Answer(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_APP) return waiting ? 1 : 2;
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

void SleepASecond(void*) { Sleep(1000); }

struct Waiter {
    const char* name;
    void (*wait)();
    HWND hwnd = nullptr;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

// A thread with a window of its own that enters one wait and leaves it.
DWORD WINAPI RunWaiter(void* p) {
    auto* w = static_cast<Waiter*>(p);
    w->hwnd = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    waiting = true;
    SetEvent(w->ready);
    w->wait();
    waiting = false;
    MSG msg;  // whatever was sent and not answered yet is answered now, after the wait
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    DestroyWindow(w->hwnd);
    return 0;
}

TEST(DispatchingWaits, AnswerAMessageSentFromAnotherThreadDuringTheWait) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Answer;
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);
    Waiter waiters[] = {
        {"PauseDispatching", [] { platform::PauseDispatching(1000, nullptr); }},
        {"WaitDispatching",
         [] {
             platform::ThreadHandle sleeper = platform::StartThread(SleepASecond, nullptr);
             platform::WaitDispatching(sleeper, nullptr, 5000);
             platform::ReleaseThread(sleeper);
         }},
    };
    for (Waiter& w : waiters) {
        HANDLE thread = CreateThread(nullptr, 0, RunWaiter, &w, 0, nullptr);
        ASSERT_EQ(WaitForSingleObject(w.ready, 5000), WAIT_OBJECT_0) << w.name;
        const ULONGLONG start = GetTickCount64();
        DWORD_PTR answer = 0;
        const bool answered = SendMessageTimeoutW(w.hwnd, WM_APP, 0, 0, SMTO_NORMAL, 5000, &answer) != 0;
        const ULONGLONG ms = GetTickCount64() - start;
        EXPECT_TRUE(answered) << w.name;
        EXPECT_EQ(answer, 1u) << w.name << ": answered only after the wait, " << ms << " ms after it was sent";
        std::printf("%s: a message sent from another thread was answered during the wait, after %llu ms\n", w.name, ms);
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
        CloseHandle(w.ready);
    }
}

}  // namespace
