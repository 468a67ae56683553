// The process-wide stop signal: set when the window is about to be destroyed, so every
// background task ends promptly. Every blocking wait of a task also wakes on it.
#pragma once

#include "platform/threads.h"

const platform::Event& StopEvent();
inline bool StopRequested() { return StopEvent().IsSet(); }
void RequestStop();
void ClearStop();
