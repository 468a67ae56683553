#include "ui/task_commands.h"

#include "common/task_report.h"
#include "common/worker_threads.h"
#include "platform/window.h"
#include "rules/sources/fetch_rules_task.h"
#include "store/package_writer.h"
#include "ui/controls.h"
#include "ui/layout.h"

namespace {

struct WriteButton {
    ControlId editBox;
    WriteMode mode;
    int slot;
    const char* status;
};
const WriteButton kBlacklistButton = {编辑框_黑名单, WriteMode::Blacklist, kWriteBlacklistSlot,
                                      "正将过滤规则写到规则文件..."};
const WriteButton kWhitelistButton = {编辑框_白名单, WriteMode::Whitelist, kWriteWhitelistSlot,
                                      "正将白名单写到规则文件..."};

void OnWriteClicked(const WriteButton& button) {
    if (LongCommandRunning()) return;
    SetStatusText(button.status);
    StartTask(button.slot, [rules = platform::GetControlText(button.editBox), mode = button.mode] {
        WriteRulesTask(rules, mode);
    });
}

}  // namespace

void OnFetchRulesClicked() {
    // Two fetch tasks would fill the same rule buckets from two threads.
    if (LongCommandRunning()) return;
    StartTask(kFetchTaskSlot, [selection = SelectionInWindow()] { FetchRulesTask(selection); });
}

SourceSelection SelectionInWindow() {
    SourceSelection selection;
    for (const RuleSourceRow& row : kRuleSources)
        selection.Tick(row.source, platform::IsControlChecked(SourceBox(row.source)));
    selection.userRulesCustomOnly = platform::IsControlChecked(单选框_用户原有规则_自定义规则);
    return selection;
}

void OnWriteBlacklistClicked() { OnWriteClicked(kBlacklistButton); }
void OnWriteWhitelistClicked() { OnWriteClicked(kWhitelistButton); }
