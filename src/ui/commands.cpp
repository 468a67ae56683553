#include "ui/commands.h"

#include "common/stop.h"
#include "common/task_report.h"
#include "platform/clipboard.h"
#include "platform/threads.h"
#include "platform/window.h"
#include "ui/controls.h"
#include "ui/layout.h"

namespace {

// Paste replaces the whole content (never inserts at the caret); no text on the clipboard
// empties the box.
void Paste(ControlId box) {
    platform::SetEditSelection(box, 0, 0);
    platform::SetControlText(box, platform::GetClipboardText());
    platform::FocusControl(box);
    SetStatusText("已粘贴！");
}

// A clipboard that did not take the text is reported, never "copied".
void Copy(ControlId box, const Text& status) {
    platform::SetEditSelection(box, 0, -1);
    const bool copied = platform::SetClipboardText(platform::GetControlText(box));
    platform::FocusControl(box);
    SetStatusText(copied ? status : Text("复制失败！"));
}

void Clear(ControlId box) {
    platform::SetControlText(box, Text());
    SetStatusText("已清空！");
}

}  // namespace

void OnBlacklistPaste() { Paste(编辑框_黑名单); }
void OnBlacklistCopy() { Copy(编辑框_黑名单, "已复制到剪切板！"); }
void OnBlacklistClear() { Clear(编辑框_黑名单); }
void OnWhitelistPaste() { Paste(编辑框_白名单); }
void OnWhitelistCopy() { Copy(编辑框_白名单, "已复制到剪切板！"); }
void OnWhitelistClear() { Clear(编辑框_白名单); }
void OnRedundantCopy() { Copy(编辑框_冗余规则, "已复制！"); }

void OnRedundantClear() {
    platform::SetControlText(编辑框_冗余规则, Text());
    platform::FocusControl(编辑框_冗余规则);
    SetStatusText("已清空！");
}

void OnRedundantHide() { platform::SetControlHeight(编辑框_黑名单, kBlacklistTallHeight); }

// The selectable sources' boxes, in the order of the table of sources.
void OnSelectAllSources() {
    for (const RuleSourceRow& row : kRuleSources)
        if (row.selectable) platform::SetControlChecked(SourceBox(row.source), true);
}

void OnInvertSources() {
    for (const RuleSourceRow& row : kRuleSources) {
        const ControlId box = SourceBox(row.source);
        if (row.selectable) platform::SetControlChecked(box, !platform::IsControlChecked(box));
    }
}

// Runs after the box has toggled; which radio button is selected stays as it is.
void OnUserRulesToggled() {
    const bool ticked = platform::IsControlChecked(选择框_用户原有规则);
    platform::SetControlEnabled(单选框_用户原有规则_全部, ticked);
    platform::SetControlEnabled(单选框_用户原有规则_自定义规则, ticked);
}
