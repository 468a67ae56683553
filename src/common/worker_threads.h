// The fixed slots of WorkerThreads in which background tasks run.
#pragma once

#include <functional>

#include "platform/threads.h"

// Slots 0 to 7 hold the update probes (the table of rule sources gives each probe its slot); the
// long-running commands have one each.
constexpr int kRemoveRedundantSlot = 8;
constexpr int kFetchTaskSlot = 9;
constexpr int kWriteBlacklistSlot = 10;
constexpr int kWriteWhitelistSlot = 11;
constexpr int kWorkerSlots = 12;

// Starts `task` on a new thread in `slot`, replacing the handle kept there; the task carries its
// own inputs. Nothing starts once the stop signal is set. False when the thread could not be
// started (the slot is then empty).
bool StartTask(int slot, std::function<void()> task);

// Window thread, when the window is about to be destroyed: sets the stop signal and waits until
// the task of every slot (and any task whose handle a later start replaced) has ended.
void StopAllTasks();

// True while the thread in `slot` is running.
bool TaskRunning(int slot);

// True while one of the four long-running commands runs: the removal of redundant rules, the
// fetch or a write. Their buttons are disabled by the task itself a moment after it starts, so a
// quick second click must be refused here, on the window thread.
bool LongCommandRunning();
