// Threads, events and waits, shaped like the Windows calls the program makes.
#pragma once

#include <cstdint>

namespace platform {

// An opaque thread handle; nullptr is "no thread". Handles stay valid until ReleaseThread.
using ThreadHandle = void*;

// Starts `routine(arg)` on a new thread at once; nullptr when the thread cannot be started.
ThreadHandle StartThread(void (*routine)(void*), void* arg);
// Waits up to `ms` milliseconds for the thread to end; true when it has ended.
bool WaitThread(ThreadHandle thread, uint32_t ms);
inline bool ThreadHasEnded(ThreadHandle thread) { return WaitThread(thread, 0); }
// Gives the handle back; the thread itself, if still running, goes on (it is never killed).
void ReleaseThread(ThreadHandle thread);

// A manual-reset event.
class Event {
public:
    Event();
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    void Set();
    void Reset();
    bool IsSet() const;
    // Waits up to `ms` (UINT32_MAX: no limit); true when the event is set.
    bool Wait(uint32_t ms) const;
    void* Native() const { return native_; }

private:
    void* native_;
};

enum class WaitResult { ThreadEnded, Stopped, TimedOut };

// Waits for `thread` to end, for `stop` to be set (either may be null), or until `timeoutMs`
// pass without any message for the calling thread. After every wake-up the calling thread's
// pending window messages are dispatched, so a window on this thread stays responsive.
WaitResult WaitDispatching(ThreadHandle thread, const Event* stop, uint32_t timeoutMs);

// Pauses `ms` milliseconds while dispatching the calling thread's messages; returns false
// early when `stop` is set.
bool PauseDispatching(uint32_t ms, const Event* stop);

uint64_t MonotonicMs();

}  // namespace platform
