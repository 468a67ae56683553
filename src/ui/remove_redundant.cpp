#include "ui/remove_redundant.h"

#include <string>
#include <utility>

#include "common/stop.h"
#include "common/task_report.h"
#include "common/worker_threads.h"
#include "platform/window.h"
#include "rules/engine/redundant_rules.h"
#include "ui/controls.h"
#include "ui/window_link.h"

namespace {

const char kOutOfMemory[] = "内存不足，未能去除冗余规则！";

bool WindowGoing() { return StopRequested(); }

// Window thread: the result goes in only over the text it was worked out from.
void ShowResult(const Text& original, const PrunedRuleList& pruned) {
    if (platform::GetControlText(编辑框_黑名单) != original) {
        SetStatusText("过滤规则在去除冗余规则期间已被修改，未作任何更改！");
        return;
    }
    if (pruned.removedCount == 0) {
        SetStatusText("没有发现冗余规则！");
        return;
    }
    platform::SetControlText(编辑框_黑名单, pruned.kept);
    platform::AppendEditText(编辑框_冗余规则, pruned.removed);
    platform::SetControlHeight(编辑框_黑名单, kBlacklistShortHeight);
    SetStatusText("去除冗余规则完毕！共去除" + std::to_string(pruned.removedCount) + "条");
}

// The lists are copied a few times over; in the browser's address space that may fail.
void ShowResultOrNoMemory(const Text& original, const PrunedRuleList& pruned) {
    try {
        ShowResult(original, pruned);
    } catch (const std::exception&) {
        SetStatusText(kOutOfMemory);
    }
}

}  // namespace

void OnRemoveRedundant() {
    if (LongCommandRunning()) return;
    StartTask(kRemoveRedundantSlot,
              [blacklist = platform::GetControlText(编辑框_黑名单)] { RemoveRedundantTask(blacklist); });
}

void RemoveRedundantTask(const Text& blacklist) {
    SetCommandsEnabled(false);
    SetStatusText("正在去除冗余规则...");
    try {
        PrunedRuleList pruned = PruneRuleList(blacklist, WindowGoing);
        if (pruned.complete) {  // otherwise the window is going
            ApplyOnWindowThread([original = blacklist, pruned = std::move(pruned)] {
                ShowResultOrNoMemory(original, pruned);
            });
        }
    } catch (const std::exception&) {
        SetStatusText(kOutOfMemory);
    }
    SetCommandsEnabled(true);
}
