#include "common/task_report.h"

#include <atomic>

namespace {

TaskReport nowhere;
std::atomic<TaskReport*> installed{&nowhere};

TaskReport& Report() { return *installed.load(); }

}  // namespace

void InstallTaskReport(TaskReport* report) { installed.store(report ? report : &nowhere); }

void SetStatusText(const Text& text) { Report().Status(text); }
void SetCommandsEnabled(bool enabled) { Report().CommandsEnabled(enabled); }
void AppendSourceCaption(RuleSource source, const Text& text) { Report().SourceCaption(source, text, true); }
void SetSourceCaption(RuleSource source, const Text& text) { Report().SourceCaption(source, text, false); }
void AppendToRuleList(RuleListBox box, const Text& rules) { Report().AppendToList(box, rules); }
void MakeBlacklistTall() { Report().BlacklistTall(); }
void RaiseWindow() { Report().RaiseWindow(); }
void ShowTaskMessage(const Text& text, const Text& caption) { Report().Message(text, caption); }
