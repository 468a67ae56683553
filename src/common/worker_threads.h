// The fixed slots of WorkerThreads in which background tasks run.
#pragma once

#include "platform/threads.h"

// Starts `task` on a new thread in `slot`, replacing the handle kept there. Nothing starts once
// the stop signal is set. False when the thread could not be started (the slot is then empty).
bool StartTask(int slot, void (*task)());

// Window thread, when the window is about to be destroyed: sets the stop signal and waits until
// the task of every slot (and any task whose handle a later start replaced) has ended.
void StopAllTasks();

// True while the thread in `slot` is running.
bool TaskRunning(int slot);

// True while one of the four long-running commands runs: the removal of redundant rules (8),
// the fetch (9) or a write (10, 11). Their buttons are disabled by the task itself a moment
// after it starts, so a quick second click must be refused here, on the window thread.
bool LongCommandRunning();
