// The ChinaList source step: the ChinaList Lazy list (kept by the update probe, or downloaded
// here) is sorted and converted into the three ChinaList buckets.
#include "common/controls.h"
#include "common/globals.h"
#include "common/stop.h"
#include "common/window_link.h"
#include "rules/sources/chinalist_convert.h"
#include "rules/sources/source_steps.h"
#include "web/decode.h"
#include "web/rule_sites.h"
#include "web/web_fetch.h"

namespace {

constexpr size_t kMinChinaListBytes = 1000;

// An element-hiding rule without a domain is shown to the user before it is converted; the
// conversion waits for the OK (the box goes away by itself when the window closes).
void ShowHidingRule(const Text& rule) {
    if (!StopRequested()) ShowTaskMessage(rule, "信息：");
}

}  // namespace

void FetchChinaListRules() {
    Globals& g = G();
    if (!IsControlTicked(选择框_ChinaList规则)) {
        g.ChinaListBlockRules.clear();
        g.ChinaListWhiteRules.clear();
        g.ChinaListHideRules.clear();
        return;
    }
    // Taken once as a whole copy: the update probe may still be writing it.
    Text list = g.ChinaListText.Get();
    if (list.empty()) {
        SetStatusText("正在获取ChinaList_Lazy规则...");
        list = Utf8ToGbk(WebFetch(RuleSiteUrl(kChinaListHost, kChinaListPath)));
        if (list.size() < kMinChinaListBytes) {
            g.ChinaListText.Set(Text());
            SetStatusText("ChinaList_Lazy规则获取失败！");
            return;  // the buckets keep what they held
        }
        g.ChinaListText.Set(list);
    }
    SetStatusText("正在处理ChinaList_Lazy规则...");
    ChinaListBuckets buckets = ConvertChinaList(list, ShowHidingRule);
    g.ChinaListBlockRules = std::move(buckets.block);
    g.ChinaListWhiteRules = std::move(buckets.white);
    g.ChinaListHideRules = std::move(buckets.hide);
}
