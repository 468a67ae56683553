// The rule sources, described once: the names the command line knows them by, whether the window
// opens with a source ticked, which update probe dates it and in which worker slot, and the
// Kingsoft lists with the Kingsoft step's texts for each. The window lays out one check box per
// source and names the source of each box (ui/layout.cpp); everything else that needs a source
// reads this table.
#pragma once

#include <cstddef>

// In the order of the window's check boxes, which is also the order of the table.
enum class RuleSource { Maxthon, Kafan, ChinaList, Novel, Movie, Anime, Malicious, HotNovel, User };
constexpr size_t kRuleSourceCount = 9;

// The probe that dates a source when the window is first activated.
enum class UpdateProbe {
    None,
    ForumThread,   // the Maxthon forum thread: a date and a note
    KingsoftRule,  // the rule page of the source's Kingsoft list: a date and a note
    ChinaList,     // the list itself: a date, and the list is kept for the fetch
};

struct RuleSourceRow {
    RuleSource source;
    const char* name;         // on the command line
    const char* description;  // in the command line's help
    bool tickedAtStart;       // the window opens with its box ticked
    bool selectable;          // ticked and inverted by 全选 and 反选
    UpdateProbe probe;
    int probeSlot;               // the worker slot its probe runs in; -1 without a probe
    const char* kingsoftRuleId;  // its Kingsoft list and rule page; nullptr for the other sources
    const char* kingsoftFailed;  // the Kingsoft step's status texts for that list
    const char* kingsoftFetched;
};

inline constexpr RuleSourceRow kRuleSources[kRuleSourceCount] = {
    {RuleSource::Maxthon, "maxthon", "the Maxthon forum's SiteList archive", true, true,
     UpdateProbe::ForumThread, 0, nullptr, nullptr, nullptr},
    {RuleSource::Kafan, "kafan", "Kingsoft list: Kafan forum rules", true, true,
     UpdateProbe::KingsoftRule, 1, "761e39dc276111df8e7700215a45ab18",
     "卡饭论坛规则获取失败！", "成功获取卡饭论坛规则！"},
    {RuleSource::ChinaList, "chinalist", "the ChinaList Lazy Adblock Plus list", true, true,
     UpdateProbe::ChinaList, 2, nullptr, nullptr, nullptr},
    {RuleSource::Novel, "novel", "Kingsoft list: novel sites", false, true,
     UpdateProbe::KingsoftRule, 3, "04cb80bc276811df854800215a45ab18",
     "小说网站广告过滤规则获取失败！", "成功获取小说网站广告过滤！"},
    {RuleSource::Movie, "movie", "Kingsoft list: film sites", false, true,
     UpdateProbe::KingsoftRule, 4, "48602218a44c11df972a00215edd6d00",
     "电影网站广告过滤规则获取失败！", "成功获取电影网站广告过滤！"},
    {RuleSource::Anime, "anime", "Kingsoft list: anime sites", false, true,
     UpdateProbe::KingsoftRule, 5, "d1ed393030e311df845400215a45ab18",
     "动漫网站广告过滤规则获取失败！", "成功获取动漫网站广告过滤！"},
    {RuleSource::Malicious, "malicious", "Kingsoft list: malicious elements", false, true,
     UpdateProbe::KingsoftRule, 6, "517283184a0c11df8fa200215edd6d00",
     "不良网站恶意元素过滤规则获取失败！", "成功获取不良网站恶意元素过滤规则！"},
    {RuleSource::HotNovel, "hot-novel", "Kingsoft list: popular novel sites", false, true,
     UpdateProbe::KingsoftRule, 7, "c4b5cd522cd511df9fd600215a45ab18",
     "热门小说网站广告过滤规则获取失败！", "成功获取热门小说网站广告过滤！"},
    {RuleSource::User, "user", "the rules in the running browser's rule package", true, false,
     UpdateProbe::None, -1, nullptr, nullptr, nullptr},
};

constexpr const RuleSourceRow& SourceRow(RuleSource source) { return kRuleSources[size_t(source)]; }

// The sources whose probe leaves a note (shown as the box's hover help) and a date.
constexpr bool HasUpdateNote(const RuleSourceRow& row) {
    return row.probe == UpdateProbe::ForumThread || row.probe == UpdateProbe::KingsoftRule;
}

// The user-rules mode the window opens with: 自定义规则 (the user's own rules only), not 全部.
constexpr bool kUserRulesCustomOnlyAtStart = true;

// Rows in RuleSource order, a Kingsoft probe for each Kingsoft list, and the probes in the order
// of their slots (the first activation starts them in slot order by going through the table).
constexpr bool RuleSourceTableInOrder() {
    int lastSlot = -1;
    for (size_t i = 0; i < kRuleSourceCount; ++i) {
        if (size_t(kRuleSources[i].source) != i) return false;
        if ((kRuleSources[i].probe == UpdateProbe::KingsoftRule) != (kRuleSources[i].kingsoftRuleId != nullptr))
            return false;
        if (kRuleSources[i].probe == UpdateProbe::None) continue;
        if (kRuleSources[i].probeSlot <= lastSlot) return false;
        lastSlot = kRuleSources[i].probeSlot;
    }
    return true;
}
static_assert(RuleSourceTableInOrder(), "one row per RuleSource, in its order; probes in slot order");
