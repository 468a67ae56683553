// Native threads: std::thread underneath, with a completion flag so a handle can be waited on
// with a time-out. "Dispatching messages" means running the headless window's queue when the
// caller is the window thread; other threads have no messages.
#include "platform/threads.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/native/window_queue.h"

namespace platform {

namespace {

struct NativeThread {
    std::thread thread;
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    bool released = false;  // the handle was released while the thread ran: it deletes itself
    void (*routine)(void*);
    void* arg;
};

struct NativeEvent {
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool set = false;
};

NativeEvent* E(void* p) { return static_cast<NativeEvent*>(p); }

}  // namespace

ThreadHandle StartThread(void (*routine)(void*), void* arg) {
    auto* t = new NativeThread();
    t->routine = routine;
    t->arg = arg;
    try {
        t->thread = std::thread([t] {
            t->routine(t->arg);
            bool deleteSelf;
            {
                std::lock_guard<std::mutex> lock(t->mutex);
                t->done = true;
                t->ended.notify_all();
                deleteSelf = t->released;
            }
            if (deleteSelf) delete t;  // detached already: nobody else holds the record
        });
    } catch (...) {
        delete t;
        return nullptr;
    }
    return t;
}

bool WaitThread(ThreadHandle handle, uint32_t ms) {
    if (!handle) return true;
    auto* t = static_cast<NativeThread*>(handle);
    std::unique_lock<std::mutex> lock(t->mutex);
    if (ms == UINT32_MAX) {
        t->ended.wait(lock, [t] { return t->done; });
        return true;
    }
    return t->ended.wait_for(lock, std::chrono::milliseconds(ms), [t] { return t->done; });
}

void ReleaseThread(ThreadHandle handle) {
    if (!handle) return;
    auto* t = static_cast<NativeThread*>(handle);
    {
        std::lock_guard<std::mutex> lock(t->mutex);
        if (!t->done) {
            // The thread goes on alone and deletes its record when it ends: never a freed
            // record under a running thread, and no record left over once it has ended.
            t->thread.detach();
            t->released = true;
            return;
        }
    }
    t->thread.join();
    delete t;
}

Event::Event() : native_(new NativeEvent()) {}
Event::~Event() { delete E(native_); }

void Event::Set() {
    std::lock_guard<std::mutex> lock(E(native_)->mutex);
    E(native_)->set = true;
    E(native_)->changed.notify_all();
    native::NotifyWaiters();
}

void Event::Reset() {
    std::lock_guard<std::mutex> lock(E(native_)->mutex);
    E(native_)->set = false;
}

bool Event::IsSet() const {
    std::lock_guard<std::mutex> lock(E(native_)->mutex);
    return E(native_)->set;
}

bool Event::Wait(uint32_t ms) const {
    std::unique_lock<std::mutex> lock(E(native_)->mutex);
    if (ms == UINT32_MAX) {
        E(native_)->changed.wait(lock, [this] { return E(native_)->set; });
        return true;
    }
    return E(native_)->changed.wait_for(lock, std::chrono::milliseconds(ms),
                                        [this] { return E(native_)->set; });
}

uint64_t MonotonicMs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

WaitResult WaitDispatching(ThreadHandle thread, const Event* stop, uint32_t timeoutMs) {
    // The time-out counts time without a message: every dispatched message restarts it.
    uint64_t quietSince = MonotonicMs();
    for (;;) {
        if (thread && ThreadHasEnded(thread)) return WaitResult::ThreadEnded;
        if (stop && stop->IsSet()) return WaitResult::Stopped;
        if (native::DispatchWindowMessages()) quietSince = MonotonicMs();
        const uint64_t now = MonotonicMs();
        if (now - quietSince >= timeoutMs) return WaitResult::TimedOut;
        const uint64_t left = timeoutMs - (now - quietSince);
        if (thread) {
            if (WaitThread(thread, uint32_t(left < 10 ? left : 10))) return WaitResult::ThreadEnded;
        } else {
            native::WaitForWindowMessage(uint32_t(left < 10 ? left : 10));
        }
    }
}

bool PauseDispatching(uint32_t ms, const Event* stop) {
    const uint64_t until = MonotonicMs() + ms;
    for (;;) {
        if (stop && stop->IsSet()) return false;
        native::DispatchWindowMessages();
        const uint64_t now = MonotonicMs();
        if (now >= until) return true;
        const uint64_t left = until - now;
        native::WaitForWindowMessage(uint32_t(left < 10 ? left : 10));
    }
}

}  // namespace platform
