// The removal of redundant rules as first written, kept as the reference that the program's
// faster search must agree with line for line: the same lines removed, each charged to the same
// rule. It looks up each rule's candidates one rule at a time, in hash tables and with an
// Aho-Corasick automaton over the literal runs of the anywhere patterns.
#pragma once

#include <string_view>
#include <vector>

namespace reference {

// By line: -1 when the line stays, otherwise the line that stays and covers it (what
// FindRedundantRules reports in coveredBy).
std::vector<int> CoveredBy(const std::vector<std::string_view>& lines);

}  // namespace reference
