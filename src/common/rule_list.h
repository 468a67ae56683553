// RuleList: a Text with one rule per line. Inside the program lines end in CR LF; LF alone is
// accepted on input.
#pragma once

#include <vector>

#include "base/text.h"

extern const Text kCrLf;

// The lines of a list, without their line ends (a CR before an LF is dropped). A final line
// end gives no empty item after it; an empty text gives no lines.
std::vector<Text> SplitRuleLines(const Text& list);
// The same lines as views into `list`, without a copy of each.
std::vector<std::string_view> SplitRuleLineViews(std::string_view list);

// Appends `rule` and CR LF to `list` in place.
void AppendRule(Text& list, const Text& rule);
