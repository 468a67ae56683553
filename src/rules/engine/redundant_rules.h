// Finds the rules of a list that other rules of the same list already cover, so that they can
// go without changing what the list blocks or hides:
// 1. an exact duplicate (after TrimRuleText) of an earlier line;
// 2. a blocking rule that another blocking rule covers (RuleCovers);
// 3. a hiding rule whose selector a generic hiding rule "**://*##SEL" hides everywhere.
// Every removed rule names a covering rule that stays; lines that are no rule the model knows
// are never removed and never cover anything. Near-linear: candidates come from indexes by
// host, by domain suffix and by a literal run of each anywhere pattern, never from pairs.
#pragma once

#include <string_view>
#include <vector>

#include "base/text.h"

struct RedundantRules {
    // By line: -1 when the line stays, otherwise the index of a line that stays and covers it.
    std::vector<int> coveredBy;
    size_t removedCount = 0;
    bool complete = false;  // false when `stopped` ended the search (nothing is then removed)
};

// `lines` are the list's lines as they stand (a list split with SplitRuleLineViews). `stopped`
// is asked now and then; when it returns true the search ends at once.
RedundantRules FindRedundantRules(const std::vector<std::string_view>& lines, bool (*stopped)() = nullptr);

// The list without its redundant rules and the rules removed, each line followed by CR LF, in
// the order of the list.
struct PrunedRuleList {
    Text kept;
    Text removed;
    size_t removedCount = 0;
    bool complete = false;
};
PrunedRuleList PruneRuleList(const Text& list, bool (*stopped)() = nullptr);
