// The four rule-source steps that FetchRulesTask runs, in this order. Each takes nothing,
// returns nothing, reads its own check boxes, reports through the status line and writes only its
// own rule buckets.
#pragma once

void FetchMaxthonRules();    // MaxthonBlockRules, MaxthonWhiteRules
void FetchKingsoftRules();   // KingsoftRules
void FetchChinaListRules();  // ChinaListBlockRules, ChinaListWhiteRules, ChinaListHideRules
void FetchUserRules();       // UserBlockRules, UserHideRules, UserWhiteRules
