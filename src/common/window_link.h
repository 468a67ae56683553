// What background tasks (and the window's own handlers) may do to the window's controls.
// Writes from another thread are queued and applied by the window thread, in order, when it is
// woken; a task never waits for the window. Once the window is gone every write is dropped.
#pragma once

#include <functional>

#include "base/text.h"
#include "common/controls.h"
#include "common/rule_sources.h"

void SetControlCaption(ControlId id, const Text& text);
void AppendControlCaption(ControlId id, const Text& text);
void AppendToEditBox(ControlId id, const Text& text);
void SetControlEnabledState(ControlId id, bool enabled);
void SetControlHeightTo(ControlId id, int height);
void SetStatusText(const Text& text);  // the caption of 标签_状态
void SetWindowTopmostState(bool on);    // the window's always-on-top setting
// The caption of a source's check box: a date appended, or the whole caption.
void AppendSourceCaption(RuleSource source, const Text& text);
void SetSourceCaption(RuleSource source, const Text& text);
// Runs `work` on the window thread, in order with the writes above, for a result that has to be
// weighed against the controls as they are when it arrives (an edit the user made meanwhile).
// Dropped, like every write, once the window is gone.
void ApplyOnWindowThread(std::function<void()> work);

// The busy lock over the four long-running commands: sets their disabled state to the opposite
// of `enabled`, in this order: 按钮_黑名单_写到规则文件, 按钮_白名单_写到规则文件,
// 按钮_黑名单_去除冗余规则, 按钮_获取规则. Nothing else is touched.
void SetCommandsEnabled(bool enabled);

// A message box shown by a task (the ChinaList step's hiding rules): waits for its OK.
void ShowTaskMessage(const Text& text, const Text& caption);

// Headless runs (the command line): no window; status texts and task messages go to the
// observer. Null observers end the headless mode.
struct HeadlessObserver {
    void (*status)(const Text& text);
    void (*message)(const Text& text, const Text& caption);
};
void RunHeadless(const HeadlessObserver& observer);

// Window-thread side.
void OpenWindowLink();            // the window exists: writes are delivered from now on
void CloseWindowLink();           // the window is going: later writes are dropped
void DeliverQueuedControlWrites();  // applies every queued write, in order
