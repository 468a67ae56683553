// In-place text steps the rule converters share. Each gives exactly the bytes of the text engine's
// operations it stands for (searches at character starts, ASCII case ignored), without a new text
// per step: a converter copies a line into one reused buffer and rewrites it there.
#pragma once

#include <initializer_list>

#include "base/text.h"

// StartsWith for a single character that has no letter case: a comparison of one byte.
inline bool BeginsWith(TextView text, char c) { return !text.empty() && text[0] == c; }

// Appends the parts one after the other, growing `out` once.
void AppendParts(Text& out, std::initializer_list<TextView> parts);

// ReplaceAll(text, from, to) in place, for a `to` no longer than `from`.
void ReplaceShorterInPlace(Text& text, TextView from, TextView to);

// `text` copied into `out` with every "?" replaced by "*", then "**" replaced by "*" until none is
// left: each run of stars (and question marks) made one star.
void FoldWildcardsInto(Text& out, TextView text);

// ReplaceAll(ReplaceAll(text, ":/", "://"), ":///", "://") in place: a ":" followed by exactly
// one "/" gets a second one ('http:/x' becomes 'http://x'); every other text stays as it is.
void RepairSchemeInPlace(Text& text);

// The lines of a RuleList as SplitRuleLines gives them (split at every LF byte, one CR before
// it dropped, no item after a final LF, none for an empty text), handed one by one to `each`.
template <typename Each>
void ForEachRuleLine(TextView list, Each each) {
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find('\n', start);
        const bool last = end == TextView::npos;
        if (last) end = list.size();
        const size_t cut = (end > start && list[end - 1] == '\r') ? end - 1 : end;
        each(list.substr(start, cut - start));
        if (last) break;
        start = end + 1;
    }
}

// The items of Split(text, separator) for a single-byte separator, handed one by one to `each`.
template <typename Each>
void ForEachItem(TextView text, TextView separator, Each each) {
    if (text.empty()) return;
    size_t start = 1;
    for (size_t at; (at = FindExact(text, separator, start)) != 0; start = at + separator.size())
        each(text.substr(start - 1, at - start));
    if (start <= text.size()) each(text.substr(start - 1));
}
