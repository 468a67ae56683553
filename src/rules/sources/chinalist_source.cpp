// The ChinaList source step: the ChinaList Lazy list (kept by the update probe, or downloaded
// here) is sorted and converted into the three ChinaList buckets.
#include <exception>
#include <memory>

#include "common/encoding.h"
#include "common/stop.h"
#include "common/task_report.h"
#include "rules/sources/chinalist_convert.h"
#include "rules/sources/source_steps.h"
#include "web/probes.h"
#include "web/rule_sites.h"
#include "web/web_fetch.h"

namespace {

constexpr size_t kMinChinaListBytes = 1000;
const char kFetchFailed[] = "ChinaList_Lazy规则获取失败！";

// An element-hiding rule without a domain is shown to the user before it is converted; the
// conversion waits for the OK (the box goes away by itself when the window closes).
void ShowHidingRule(const Text& rule) {
    if (!StopRequested()) ShowTaskMessage(rule, "信息：");
}

void ClearChinaListBuckets() {
    RuleBuckets& b = Buckets();
    Text().swap(b.ChinaListBlockRules);
    Text().swap(b.ChinaListWhiteRules);
    Text().swap(b.ChinaListHideRules);
}

void FetchAndConvert() {
    RuleBuckets& b = Buckets();
    // Shared, not copied: the update probe may replace it meanwhile, and this one stays valid.
    std::shared_ptr<const Text> list = ChinaListText().Share();
    if (!list || list->empty()) {
        SetStatusText("正在获取ChinaList_Lazy规则...");
        list = std::make_shared<const Text>(Utf8ToGbk(WebFetch(RuleSiteUrl(kChinaListHost, kChinaListPath))));
        if (list->size() < kMinChinaListBytes) {
            ChinaListText().Set(Text());
            SetStatusText(kFetchFailed);
            return;  // the buckets keep what they held
        }
        ChinaListText().Set(list);
    }
    SetStatusText("正在处理ChinaList_Lazy规则...");
    ChinaListBuckets buckets = ConvertChinaList(*list, ShowHidingRule);
    b.ChinaListBlockRules = std::move(buckets.block);
    b.ChinaListWhiteRules = std::move(buckets.white);
    b.ChinaListHideRules = std::move(buckets.hide);
}

}  // namespace

void FetchChinaListRules(const SourceSelection& selection) {
    if (!selection.Has(RuleSource::ChinaList)) return ClearChinaListBuckets();
    // Running out of memory (a long list in the browser's crowded 32-bit address space) is this
    // step's failure: it contributes no rules, and the fetch goes on with the next source.
    try {
        FetchAndConvert();
    } catch (const std::exception&) {
        ClearChinaListBuckets();
        SetStatusText(kFetchFailed);
    }
}
