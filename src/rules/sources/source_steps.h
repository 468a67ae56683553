// The four rule-source steps that FetchRulesTask runs, in this order. Each takes nothing,
// returns nothing, reads its own check boxes, reports through the status line and writes only its
// own rule buckets.
#pragma once

#include "base/text.h"

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

void FetchMaxthonRules();    // MaxthonBlockRules, MaxthonWhiteRules
void FetchKingsoftRules();   // KingsoftRules
void FetchChinaListRules();  // ChinaListBlockRules, ChinaListWhiteRules, ChinaListHideRules
void FetchUserRules();       // UserBlockRules, UserHideRules, UserWhiteRules
