// The Kingsoft source step: every ticked Kingsoft list is downloaded, converted and added to
// KingsoftRules, with a status text per list.
#include <exception>

#include "common/encoding.h"
#include "common/stop.h"
#include "common/task_report.h"
#include "platform/threads.h"
#include "rules/sources/kingsoft_convert.h"
#include "rules/sources/source_steps.h"
#include "web/rule_sites.h"
#include "web/web_fetch.h"

namespace {

// One list downloaded, converted and added to the bucket; false when it failed.
bool FetchKingsoftList(const RuleSourceRow& list, Text& bucket) {
    // Running out of memory on a long list is that list's failure; the others go on.
    try {
        const ByteBuffer body = WebFetch(RuleSiteUrl(kKingsoftRuleHost, KingsoftListPath(list.kingsoftRuleId)));
        // The lists are GBK already; only a byte-order mark is dropped.
        return AppendKingsoftList(bucket, ConvertKingsoftList(TextUpTo0(StripUtf8Bom(body))));
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

// The Kingsoft lists in the order of the table of sources.
void FetchKingsoftRules(const SourceSelection& selection) {
    Text& bucket = Buckets().KingsoftRules;
    bucket.clear();
    SetStatusText("正在获取金山规则...");
    for (const RuleSourceRow& list : kRuleSources) {
        if (StopRequested()) return;
        if (!list.kingsoftRuleId || !selection.Has(list.source)) continue;
        if (!FetchKingsoftList(list, bucket)) {
            SetStatusText(list.kingsoftFailed);
            platform::PauseDispatching(500, &StopEvent());  // long enough to read the message
            continue;
        }
        SetStatusText(list.kingsoftFetched);
    }
}
