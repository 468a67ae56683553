#include "rules/sources/fetch_rules_task.h"

#include <exception>

#include "common/rule_list.h"
#include "common/stop.h"
#include "common/task_report.h"
#include "rules/sources/source_steps.h"

namespace {
RuleBuckets buckets;
}  // namespace

RuleBuckets& Buckets() { return buckets; }

SourceSelection StartingSelection() {
    SourceSelection selection;
    for (const RuleSourceRow& row : kRuleSources) selection.Tick(row.source, row.tickedAtStart);
    return selection;
}

void ReleaseRuleBuckets() {
    RuleBuckets& b = buckets;
    for (Text* t : {&b.BlacklistText, &b.WhitelistText, &b.MaxthonBlockRules, &b.KingsoftRules, &b.ChinaListBlockRules,
                    &b.ChinaListHideRules, &b.UserBlockRules, &b.UserHideRules, &b.MaxthonWhiteRules,
                    &b.ChinaListWhiteRules, &b.UserWhiteRules})
        Text().swap(*t);
}

Text MergeRuleBuckets(std::initializer_list<const Text*> buckets) {
    // Built in one buffer: the lists run to megabytes, and every fresh copy costs.
    size_t total = 0;
    for (const Text* bucket : buckets) total += bucket->size() + kCrLf.size();
    Text acc;
    acc.reserve(total);
    bool first = true;
    for (const Text* bucket : buckets) {
        if (!first) {
            TrimRuleTextInPlace(acc);
            acc += kCrLf;
        }
        AppendTrimmedRuleText(acc, *bucket);
        first = false;
    }
    return acc;
}

void FetchRulesTask(const SourceSelection& selection) {
    RuleBuckets& b = buckets;
    SetCommandsEnabled(false);
    MakeBlacklistTall();
    SetStatusText("正在获取过滤规则...");
    b.BlacklistText.clear();
    b.WhitelistText.clear();

    // A closed window ends the task between steps; the buttons are gone with it.
    static void (*const kSteps[])(const SourceSelection&) = {FetchMaxthonRules, FetchKingsoftRules,
                                                             FetchChinaListRules, FetchUserRules};
    for (auto step : kSteps) {
        step(selection);
        if (StopRequested()) return;
    }

    // Each step answers for its own failures, running out of memory included. Merging can run
    // out of memory as well: then nothing is appended, the fetch says it failed, and the buttons
    // come back all the same.
    try {
        b.BlacklistText = MergeRuleBuckets({&b.MaxthonBlockRules, &b.KingsoftRules, &b.ChinaListBlockRules,
                                            &b.ChinaListHideRules, &b.UserBlockRules, &b.UserHideRules});
        AppendToRuleList(RuleListBox::Blacklist, b.BlacklistText);
        b.WhitelistText = MergeRuleBuckets({&b.MaxthonWhiteRules, &b.ChinaListWhiteRules, &b.UserWhiteRules});
        AppendToRuleList(RuleListBox::Whitelist, b.WhitelistText);
        SetStatusText("过滤规则获取完毕！");
    } catch (const std::exception&) {
        Text().swap(b.BlacklistText);
        Text().swap(b.WhitelistText);
        SetStatusText("过滤规则获取失败！");
    }
    SetCommandsEnabled(true);
}
