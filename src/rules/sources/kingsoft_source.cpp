// The Kingsoft source step: every ticked Kingsoft list is downloaded, converted and added to
// KingsoftRules, with a status text per list.
#include <exception>

#include "common/controls.h"
#include "common/encoding.h"
#include "common/stop.h"
#include "common/window_link.h"
#include "platform/threads.h"
#include "rules/sources/kingsoft_convert.h"
#include "rules/sources/source_steps.h"
#include "web/probes.h"
#include "web/rule_sites.h"
#include "web/web_fetch.h"

namespace {

struct KingsoftList {
    ControlId box;
    int sourceSlot;  // the list id is the source's Kingsoft rule identifier
    const char* failure;
    const char* success;
};

// KingsoftLists, in the order they are fetched.
const KingsoftList KingsoftLists[] = {
    {选择框_卡饭论坛规则, 1, "卡饭论坛规则获取失败！", "成功获取卡饭论坛规则！"},
    {选择框_小说网站广告过滤, 2, "小说网站广告过滤规则获取失败！", "成功获取小说网站广告过滤！"},
    {选择框_电影网站广告过滤, 3, "电影网站广告过滤规则获取失败！", "成功获取电影网站广告过滤！"},
    {选择框_动漫网站广告过滤, 4, "动漫网站广告过滤规则获取失败！", "成功获取动漫网站广告过滤！"},
    {选择框_不良网站恶意元素过滤, 5, "不良网站恶意元素过滤规则获取失败！", "成功获取不良网站恶意元素过滤规则！"},
    {选择框_热门小说网站广告过滤, 6, "热门小说网站广告过滤规则获取失败！", "成功获取热门小说网站广告过滤！"},
};

// One list downloaded, converted and added to the bucket; false when it failed.
bool FetchKingsoftList(const KingsoftList& list, Text& bucket) {
    // Running out of memory on a long list is that list's failure; the others go on.
    try {
        const ByteBuffer body =
            WebFetch(RuleSiteUrl(kKingsoftRuleHost, KingsoftListPath(kKingsoftRuleIds[list.sourceSlot])));
        // The lists are GBK already; only a byte-order mark is dropped.
        return AppendKingsoftList(bucket, ConvertKingsoftList(TextUpTo0(StripUtf8Bom(body))));
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

void FetchKingsoftRules() {
    Text& bucket = Buckets().KingsoftRules;
    bucket.clear();
    SetStatusText("正在获取金山规则...");
    for (const KingsoftList& list : KingsoftLists) {
        if (StopRequested()) return;
        if (!IsControlTicked(list.box)) continue;
        if (!FetchKingsoftList(list, bucket)) {
            SetStatusText(list.failure);
            platform::PauseDispatching(500, &StopEvent());  // long enough to read the message
            continue;
        }
        SetStatusText(list.success);
    }
}
