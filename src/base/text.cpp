#include "base/text.h"

#include <cstring>

namespace {

inline char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Length in bytes of the character that starts at index i.
inline size_t CharLength(TextView t, size_t i) {
    return (IsLeadByte(static_cast<unsigned char>(t[i])) && i + 1 < t.size()) ? 2 : 1;
}

// Does `needle` stand at byte index i of `hay`? Only single-byte characters of the needle are
// compared without case: both bytes of a double-byte character must match exactly.
bool MatchAt(TextView hay, size_t i, TextView needle, bool exact) {
    if (exact) return hay.compare(i, needle.size(), needle) == 0;
    for (size_t k = 0; k < needle.size(); ++k) {
        const char n = needle[k], h = hay[i + k];
        if (h == n) {
            // Equal lead bytes: the second byte of the character must be equal too.
            if (IsLeadByte(static_cast<unsigned char>(n)) && k + 1 < needle.size()) {
                ++k;
                if (hay[i + k] != needle[k]) return false;
            }
        } else if (IsLeadByte(static_cast<unsigned char>(n)) || FoldAscii(h) != FoldAscii(n)) {
            return false;
        }
    }
    return true;
}

// The first byte of a needle in both cases (the same byte twice when case does not apply):
// a cheap test that rules out almost every position before the full comparison.
struct FirstByte {
    char lower, upper;
    FirstByte(TextView needle, bool exact) {
        const char c = needle[0];
        const bool letter = !exact && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'));
        lower = letter ? FoldAscii(c) : c;
        upper = letter ? char(lower - 'a' + 'A') : c;
    }
    bool At(char c) const { return c == lower || c == upper; }
};

// How many bytes of 0x80 or more stand right before `end`, not counting below `begin`.
size_t HighRunBefore(TextView t, size_t begin, size_t end) {
    size_t k = 0;
    while (end - k > begin && IsLeadByte(static_cast<unsigned char>(t[end - 1 - k]))) ++k;
    return k;
}

// Does a character start at index i, given that one starts at `known` (known <= i)? A byte right
// after a byte below 0x80 always starts a character, so only the run of bytes of 0x80 or more
// just before i matters: its bytes pair up, and an odd run makes i a trail byte.
bool StartsCharacter(TextView t, size_t known, size_t i) { return HighRunBefore(t, known, i) % 2 == 0; }

// A left-to-right search that remembers a character boundary, so that checking a candidate
// never looks further back than the previous candidate: searching a whole text stays linear.
class Searcher {
public:
    Searcher(TextView hay, TextView needle, bool exact, size_t start)
        : hay_(hay), needle_(needle), exact_(exact), first_(needle, exact), known_(start) {}

    // The 0-based index of the next match at or after `i`, or npos.
    size_t Next(size_t i) {
        const size_t n = hay_.size(), m = needle_.size();
        while (i + m <= n) {
            if (first_.lower == first_.upper) {
                const void* p = std::memchr(hay_.data() + i, first_.lower, n - m + 1 - i);
                if (!p) return TextView::npos;
                i = size_t(static_cast<const char*>(p) - hay_.data());
            } else {
                while (i + m <= n && !first_.At(hay_[i])) ++i;
                if (i + m > n) return TextView::npos;
            }
            if (StartsCharacter(hay_, known_, i)) {
                known_ = i;
                if (MatchAt(hay_, i, needle_, exact_)) return i;
            } else {
                known_ = i + 1;  // i is the trail byte of the character before it
            }
            ++i;
        }
        return TextView::npos;
    }

private:
    TextView hay_;
    TextView needle_;
    bool exact_;
    FirstByte first_;
    size_t known_;
};

// Does the rest of `needle` (after its first byte) stand at index i + 1 of `hay`? For a needle
// without ASCII letters, or an exact search, this is a plain byte comparison.
bool RestMatchesAt(TextView hay, size_t i, TextView needle, bool plain) {
    if (!plain) return MatchAt(hay, i, needle, false);
    for (size_t k = 1; k < needle.size(); ++k) {
        if (hay[i + k] != needle[k]) return false;
    }
    return true;
}

size_t FindLastImpl(TextView hay, TextView needle, bool exact) {
    if (needle.empty()) return 0;
    Searcher search(hay, needle, exact, 0);
    size_t last = 0;
    for (size_t at = search.Next(0); at != TextView::npos; at = search.Next(at + 1)) last = at + 1;
    return last;
}

Text ReplaceImpl(const Text& text, const Text& from, const Text& to, bool exact) {
    if (from.empty()) return text;
    Text out;
    out.reserve(text.size());
    Searcher search(text, from, exact, 0);
    size_t copied = 0;  // bytes of `text` already copied or replaced
    for (size_t at = search.Next(0); at != TextView::npos; at = search.Next(copied)) {
        out.append(text, copied, at - copied);
        out += to;
        copied = at + from.size();
    }
    out.append(text, copied, Text::npos);
    return out;
}

// Length of the character that makes a trimmable run at index i, or 0 when it is not one.
size_t TrimmableAt(TextView t, size_t i, bool ruleChars) {
    const char c = t[i];
    if (c == ' ') return 1;
    if (ruleChars && (c == '\t' || c == '\r' || c == '\n')) return 1;
    if (static_cast<unsigned char>(c) == 0xA1 && i + 1 < t.size() &&
        static_cast<unsigned char>(t[i + 1]) == 0xA1)
        return 2;
    return 0;
}

// The left end is found walking forward. The right end is found walking backward: a byte right
// after a byte below 0x80 always starts a character, so a run of bytes of 0x80 or more pairs up
// from its start, and whether the last byte ends a character follows from the run's parity.
// Trimming a long text is then as cheap as its trimmed ends.
struct Bounds {
    size_t begin, end;
};

Bounds TrimBounds(TextView t, bool ruleChars) {
    size_t begin = 0;
    for (size_t len; begin < t.size() && (len = TrimmableAt(t, begin, ruleChars)) != 0;) begin += len;
    size_t end = t.size();
    size_t run = HighRunBefore(t, begin, end);  // high bytes ending the text as kept so far
    while (end > begin) {
        if (run == 0) {
            // A single byte below 0x80: a character of its own unless a lead byte precedes it.
            const size_t before = HighRunBefore(t, begin, end - 1);
            if (before % 2 == 1 || TrimmableAt(t, end - 1, ruleChars) != 1) break;
            --end;
            run = before;
        } else if (run >= 2 && run % 2 == 0 && TrimmableAt(t, end - 2, ruleChars) == 2) {
            end -= 2;  // a full-width space
            run -= 2;
        } else {
            break;
        }
    }
    return {begin, end};
}

Text TrimImpl(const Text& t, bool ruleChars) {
    const Bounds b = TrimBounds(t, ruleChars);
    return t.substr(b.begin, b.end - b.begin);
}

}  // namespace

namespace text_search {

size_t FindFrom(TextView hay, TextView needle, size_t from, bool exact) {
    if (needle.empty() || from < 1 || from > hay.size() || needle.size() > hay.size() - (from - 1)) return 0;
    const char c = needle[0];
    if (!exact && (c | 0x20) >= 'a' && (c | 0x20) <= 'z') {
        const size_t at = Searcher(hay, needle, exact, from - 1).Next(from - 1);
        return at == TextView::npos ? 0 : at + 1;
    }
    // The first byte has no letter case: memchr finds the candidates, and only those that start
    // a character are compared further.
    const bool plain = exact || !HasAsciiLetter(needle);
    const size_t last = hay.size() - needle.size();  // the last index a match can start at
    for (size_t known = from - 1, i = known; i <= last;) {
        const void* p = std::memchr(hay.data() + i, c, last + 1 - i);
        if (!p) return 0;
        i = size_t(static_cast<const char*>(p) - hay.data());
        if (!StartsCharacter(hay, known, i)) {
            known = ++i;  // i is the second byte of a character: the next byte starts one
            continue;
        }
        known = i;
        if (RestMatchesAt(hay, i, needle, plain)) return i + 1;
        ++i;
    }
    return 0;
}

}  // namespace text_search

bool IsCharacterStart(TextView text, size_t index) { return StartsCharacter(text, 0, index); }

Text TextUpTo0(const ByteBuffer& bytes) {
    const size_t nul = bytes.find('\0');
    return nul == ByteBuffer::npos ? bytes : bytes.substr(0, nul);
}

size_t FindLast(TextView hay, TextView needle) { return FindLastImpl(hay, needle, false); }
size_t FindLastExact(TextView hay, TextView needle) { return FindLastImpl(hay, needle, true); }

Text ReplaceAll(const Text& text, const Text& from, const Text& to) { return ReplaceImpl(text, from, to, false); }
Text ReplaceAllExact(const Text& text, const Text& from, const Text& to) { return ReplaceImpl(text, from, to, true); }

Text Left(const Text& text, long count) {
    if (count <= 0) return Text();
    return text.substr(0, static_cast<size_t>(count));
}

Text Right(const Text& text, long count) {
    if (count <= 0) return Text();
    const size_t n = static_cast<size_t>(count);
    return n >= text.size() ? text : text.substr(text.size() - n);
}

Text Mid(const Text& text, long pos, long count) {
    if (pos < 1 || count <= 0 || static_cast<size_t>(pos) > text.size()) return Text();
    return text.substr(static_cast<size_t>(pos) - 1, static_cast<size_t>(count));
}

Text MidToEnd(const Text& text, long pos) {
    if (pos < 1 || static_cast<size_t>(pos) > text.size()) return Text();
    return text.substr(static_cast<size_t>(pos) - 1);
}

std::vector<Text> Split(const Text& text, const Text& separator) {
    std::vector<Text> items;
    if (text.empty()) return items;
    if (separator.empty()) {
        items.push_back(text);
        return items;
    }
    size_t start = 1;
    for (size_t at; (at = Find(text, separator, start)) != 0; start = at + separator.size()) {
        items.push_back(text.substr(start - 1, at - start));
    }
    if (start <= text.size()) items.push_back(text.substr(start - 1));
    return items;
}

Text ToLowerAscii(const Text& text) {
    Text out = text;
    for (size_t i = 0; i < out.size(); i += CharLength(out, i)) {
        if (out[i] >= 'A' && out[i] <= 'Z') out[i] = char(out[i] - 'A' + 'a');
    }
    return out;
}

Text ToUpperAscii(const Text& text) {
    Text out = text;
    for (size_t i = 0; i < out.size(); i += CharLength(out, i)) {
        if (out[i] >= 'a' && out[i] <= 'z') out[i] = char(out[i] - 'a' + 'A');
    }
    return out;
}

bool StartsWith(TextView text, TextView prefix) {
    return prefix.size() <= text.size() && MatchAt(text, 0, prefix, false);
}

Text Trim(const Text& text) { return TrimImpl(text, false); }
Text TrimRuleText(const Text& text) { return TrimImpl(text, true); }

TextView TrimRuleTextViewSlow(TextView text) {
    const Bounds b = TrimBounds(text, true);
    return text.substr(b.begin, b.end - b.begin);
}

void TrimRuleTextInPlace(Text& text) {
    const Bounds b = TrimBounds(text, true);
    text.erase(b.end);
    text.erase(0, b.begin);
}

void AppendTrimmedRuleText(Text& out, const Text& text) {
    const Bounds b = TrimBounds(text, true);
    out.append(text, b.begin, b.end - b.begin);
}
