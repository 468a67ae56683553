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
