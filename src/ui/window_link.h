// How the window's controls are written from any thread, and the window's TaskReport. Writes
// from another thread are queued and applied by the window thread, in order, when it is woken;
// a writer never waits for the window. Once the window is gone every write is dropped.
#pragma once

#include <functional>

#include "base/text.h"
#include "ui/controls.h"

void SetControlCaption(ControlId id, const Text& text);
void AppendControlCaption(ControlId id, const Text& text);
void AppendToEditBox(ControlId id, const Text& text);
void SetControlEnabledState(ControlId id, bool enabled);
void SetControlHeightTo(ControlId id, int height);
void SetWindowTopmostState(bool on);  // the window's always-on-top setting
// Runs `work` on the window thread, in order with the writes above, for a result that has to be
// weighed against the controls as they are when it arrives (an edit the user made meanwhile).
// Dropped, like every write, once the window is gone.
void ApplyOnWindowThread(std::function<void()> work);

// Window-thread side.
void OpenWindowLink();            // the window exists: writes are delivered from now on, and the
                                  // tasks' reports (common/task_report.h) go to its controls
void CloseWindowLink();           // the window is going: later writes are dropped
void DeliverQueuedControlWrites();  // applies every queued write, in order
