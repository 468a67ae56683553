#include "common/worker_threads.h"

#include <array>
#include <memory>
#include <utility>
#include <vector>

#include "common/stop.h"
#include "platform/window.h"

namespace {

// WorkerThreads: the handle of the task started last in each slot. Only the window thread
// touches them.
std::array<platform::ThreadHandle, kWorkerSlots> workerThreads{};

// Threads whose slot was taken over by a later start; they are waited for at stop too, so that
// no task outlives the window.
std::vector<platform::ThreadHandle>& Replaced() {
    static std::vector<platform::ThreadHandle> handles;
    return handles;
}

// No exception ever leaves a task: one that reached the thread's start would end the whole
// browser. The tasks answer for their own failures; this is the last guard.
void RunTask(void* started) {
    const std::unique_ptr<std::function<void()>> task(static_cast<std::function<void()>*>(started));
    try {
        (*task)();
    } catch (...) {
    }
}

// A task may be waiting in a message box: close such boxes until the task has ended (a box
// may open just after a dismissal).
void WaitAndForget(platform::ThreadHandle& handle) {
    if (!handle) return;
    while (!platform::WaitThread(handle, 20)) platform::DismissTaskMessageBoxes();
    platform::ReleaseThread(handle);
    handle = nullptr;
}

}  // namespace

bool StartTask(int slot, std::function<void()> task) {
    if (slot < 0 || slot >= kWorkerSlots || StopRequested() || !task) return false;
    platform::ThreadHandle& kept = workerThreads[slot];
    if (kept) {
        if (platform::ThreadHasEnded(kept))
            platform::ReleaseThread(kept);
        else
            Replaced().push_back(kept);
        kept = nullptr;
    }
    // The thread owns the task and its inputs; if it cannot start, they are released here.
    auto started = std::make_unique<std::function<void()>>(std::move(task));
    kept = platform::StartThread(RunTask, started.get());
    if (kept) started.release();
    return kept != nullptr;
}

void StopAllTasks() {
    RequestStop();
    for (platform::ThreadHandle& handle : workerThreads) WaitAndForget(handle);
    for (platform::ThreadHandle& handle : Replaced()) WaitAndForget(handle);
    Replaced().clear();
}

bool TaskRunning(int slot) {
    if (slot < 0 || slot >= kWorkerSlots) return false;
    platform::ThreadHandle handle = workerThreads[slot];
    return handle && !platform::ThreadHasEnded(handle);
}

bool LongCommandRunning() {
    static const int kLongCommandSlots[] = {kRemoveRedundantSlot, kFetchTaskSlot, kWriteBlacklistSlot,
                                            kWriteWhitelistSlot};
    for (int slot : kLongCommandSlots) {
        if (TaskRunning(slot)) return true;
    }
    return false;
}
