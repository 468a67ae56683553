// The four rule-source steps that FetchRulesTask runs, in this order. Each takes what is ticked,
// returns nothing, reports through the status line and writes only its own rule buckets.
#pragma once

#include <array>

#include "base/text.h"
#include "common/rule_sources.h"

// What a fetch is asked to do: the sources ticked and the user-rules mode. The window builds it
// from its check boxes when the fetch button is clicked; the command line from its arguments.
struct SourceSelection {
    std::array<bool, kRuleSourceCount> ticked{};
    bool userRulesCustomOnly = kUserRulesCustomOnlyAtStart;  // else every rule of the package

    bool Has(RuleSource source) const { return ticked[size_t(source)]; }
    void Tick(RuleSource source, bool on) { ticked[size_t(source)] = on; }
};
// The sources the window opens with ticked, and its user-rules mode.
SourceSelection StartingSelection();

// The nine rule buckets that the source steps fill and the fetch merges, each written only by its
// own step, and the merged lists of the last fetch. Only the thread of the running fetch touches
// them (the busy lock keeps a second fetch from starting); others read them once it has ended.
// A bucket lives from start-up to unload: a step that leaves it untouched has it merged again.
struct RuleBuckets {
    Text MaxthonBlockRules, KingsoftRules, ChinaListBlockRules, ChinaListHideRules;
    Text UserBlockRules, UserHideRules;
    Text MaxthonWhiteRules, ChinaListWhiteRules, UserWhiteRules;
    Text BlacklistText, WhitelistText;  // the merged lists
};
RuleBuckets& Buckets();

void FetchMaxthonRules(const SourceSelection& selection);    // MaxthonBlockRules, MaxthonWhiteRules
void FetchKingsoftRules(const SourceSelection& selection);   // KingsoftRules
void FetchChinaListRules(const SourceSelection& selection);  // ChinaListBlockRules, ChinaListWhiteRules,
                                                             // ChinaListHideRules
void FetchUserRules(const SourceSelection& selection);       // UserBlockRules, UserHideRules, UserWhiteRules
