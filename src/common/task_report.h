// What the work below the window shows the user, said in the window's terms but naming no
// control: the status line, the busy lock over the long-running commands, a source's caption,
// the merged lists appended to the two list boxes, the blacklist box made tall, the window put
// on top, and a message that waits for its OK. The window (ui/) installs a report that writes its
// controls and the command line one that prints; until one is installed, reports go nowhere.
// Any thread may report, and no report waits for the window (but a message, for its OK).
#pragma once

#include "base/text.h"
#include "common/rule_sources.h"

enum class RuleListBox { Blacklist, Whitelist };

class TaskReport {
public:
    virtual ~TaskReport() = default;
    virtual void Status(const Text& text) {}
    virtual void CommandsEnabled(bool enabled) {}
    virtual void SourceCaption(RuleSource source, const Text& text, bool append) {}
    virtual void AppendToList(RuleListBox box, const Text& rules) {}
    virtual void BlacklistTall() {}
    virtual void RaiseWindow() {}
    virtual void Message(const Text& text, const Text& caption) {}
};

// Every later report goes to `report` (nullptr: nowhere), which must outlive them.
void InstallTaskReport(TaskReport* report);

// The installed report's operations.
void SetStatusText(const Text& text);
// The busy lock: the four long-running commands' buttons disabled (false) or enabled again.
void SetCommandsEnabled(bool enabled);
// The caption of a source's check box: a date appended, or the whole caption set.
void AppendSourceCaption(RuleSource source, const Text& text);
void SetSourceCaption(RuleSource source, const Text& text);
// `rules` placed after the last character of a list box, without a separator.
void AppendToRuleList(RuleListBox box, const Text& rules);
// The blacklist box made tall, over the redundant-rules area.
void MakeBlacklistTall();
// The window taken off always-on-top and put on it again, so that it comes up over the browser.
void RaiseWindow();
// A message box with `text` and `caption` (the ChinaList step's hiding rules): returns once it
// has been dismissed.
void ShowTaskMessage(const Text& text, const Text& caption);
