// In-place text steps the rule converters share. Each gives exactly the bytes of the text engine's
// operations it stands for (searches at character starts, ASCII case ignored), without a new text
// per step: a converter copies a line into one reused buffer and rewrites it there.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "base/text.h"
#include "base/swar.h"

// StartsWith for a single character that has no letter case: a comparison of one byte.
inline bool BeginsWith(TextView text, char c) { return !text.empty() && text[0] == c; }


// The index of the first byte at or after `i` that is `a` or `b`, or the length of the text:
// for the short scans of a line, where memchr's call would cost more.
inline size_t FindEitherByte(TextView text, size_t i, char a, char b) {
    return swar::FindFirst(text, i, [a, b](uint64_t v) { return swar::Equal(v, a) | swar::Equal(v, b); });
}

// Bytes appended at the end of a text without a string call per part: room is made a few
// kilobytes ahead and the text gets its final size from Finish(). Until then the text's own
// size is the room, not the content.
class TextAppender {
public:
    explicit TextAppender(Text& text) : text_(text), used_(text.size()) {}
    TextAppender(const TextAppender&) = delete;
    TextAppender& operator=(const TextAppender&) = delete;

    void Append(std::initializer_list<TextView> parts) { Append(parts.begin(), parts.size()); }
    void Append(const TextView* parts, size_t count) {
        size_t total = 0;
        for (size_t k = 0; k < count; ++k) total += parts[k].size();
        if (total > text_.size() - used_) Grow(total);
        char* out = &text_[0] + used_;
        for (size_t k = 0; k < count; ++k) {
            if (parts[k].empty()) continue;  // an empty view may have no data at all
            std::memcpy(out, parts[k].data(), parts[k].size());
            out += parts[k].size();
        }
        used_ += total;
    }
    // Room for `more` bytes made at once.
    void Reserve(size_t more) {
        if (more > text_.size() - used_) text_.resize(used_ + more);
    }
    size_t Size() const { return used_; }
    TextView View() const { return TextView(text_.data(), used_); }
    // Drops what was appended after the first `size` bytes.
    void CutTo(size_t size) { used_ = size < used_ ? size : used_; }
    Text& Finish() {
        text_.resize(used_);
        return text_;
    }

private:
    void Grow(size_t more);

    Text& text_;
    size_t used_;
};

// `text` copied into `out` with every "?" replaced by "*", then "**" replaced by "*" until none is
// left: each run of stars (and question marks) made one star.
void FoldWildcardsInto(Text& out, TextView text);

// ReplaceAll(ReplaceAll(text, ":/", "://"), ":///", "://") in place: a ":" followed by exactly
// one "/" gets a second one ('http:/x' becomes 'http://x'); every other text stays as it is.
// True when the text holds a ":" byte at all (so that a search for "://" may find one).
bool RepairSchemeInPlace(Text& text);

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
