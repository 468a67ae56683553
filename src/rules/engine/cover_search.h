// The search for the rule that dominates each rule of a list: a rule that covers it and that it
// does not cover in turn (of two that cover each other, the earlier one dominates). The
// candidates come from a CoverIndex over the list's first copies, in a fixed order, each group
// by line; the first candidate that dominates is the one.
#pragma once

#include <vector>

#include "rules/engine/browser_rule.h"
#include "rules/engine/cover_index.h"

// The candidates that come first for a host rule, and for a "~." rule: the rules of the same
// host (or "~." domain) and options. dominatedBy[r] is set for each rule dominated by one of
// them.
void DominatedWithinHostGroups(const std::vector<BrowserRule>& rules, const CoverIndex& index,
                               std::vector<int>& dominatedBy);

// The other candidates (CoverIndex::LookupKeys), for the rules `indexed` that none of the first
// dominates (dominatedBy[r] -1): dominatedBy[r] is set to the first that dominates r, or stays
// -1. `stopped` is asked now and then; when it returns true the search ends at once, and false
// is returned.
bool DominatedByLookups(const std::vector<BrowserRule>& rules, CoverIndex& index, const std::vector<int>& indexed,
                        std::vector<int>& dominatedBy, bool (*stopped)());

// Fetches the rules `indexes` into the cache, then the patterns they point to: for a few hundred
// rules far apart in memory at a time, so that most have arrived by the time they are read.
void FetchRules(const std::vector<BrowserRule>& rules, const std::vector<int>& indexes);
