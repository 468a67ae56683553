#include "common/text.h"

#include <cstring>

namespace {

inline char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Length in bytes of the character that starts at index i.
inline size_t CharLength(const Text& t, size_t i) {
    return (IsLeadByte(static_cast<unsigned char>(t[i])) && i + 1 < t.size()) ? 2 : 1;
}

// Does `needle` stand at byte index i of `hay`? Only single-byte characters of the needle are
// compared without case: both bytes of a double-byte character must match exactly.
bool MatchAt(const Text& hay, size_t i, const Text& needle, bool exact) {
    if (exact) return hay.compare(i, needle.size(), needle) == 0;
    for (size_t k = 0; k < needle.size(); ++k) {
        const char n = needle[k];
        if (IsLeadByte(static_cast<unsigned char>(n))) {
            if (hay[i + k] != n) return false;
            if (k + 1 < needle.size()) {
                ++k;
                if (hay[i + k] != needle[k]) return false;
            }
        } else if (FoldAscii(hay[i + k]) != FoldAscii(n)) {
            return false;
        }
    }
    return true;
}

size_t FindFrom(const Text& hay, const Text& needle, size_t from, bool exact) {
    if (needle.empty() || from < 1) return 0;
    const size_t n = hay.size(), m = needle.size();
    for (size_t i = from - 1; i + m <= n; i += CharLength(hay, i)) {
        if (MatchAt(hay, i, needle, exact)) return i + 1;
    }
    return 0;
}

size_t FindLastImpl(const Text& hay, const Text& needle, bool exact) {
    if (needle.empty()) return 0;
    size_t last = 0;
    const size_t n = hay.size(), m = needle.size();
    for (size_t i = 0; i + m <= n; i += CharLength(hay, i)) {
        if (MatchAt(hay, i, needle, exact)) last = i + 1;
    }
    return last;
}

Text ReplaceImpl(const Text& text, const Text& from, const Text& to, bool exact) {
    if (from.empty()) return text;
    Text out;
    out.reserve(text.size());
    size_t copied = 0;  // bytes of `text` already copied or replaced
    size_t i = 0;
    while (i + from.size() <= text.size()) {
        if (MatchAt(text, i, from, exact)) {
            out.append(text, copied, i - copied);
            out += to;
            i += from.size();
            copied = i;
        } else {
            i += CharLength(text, i);
        }
    }
    out.append(text, copied, Text::npos);
    return out;
}

// Length of the character that makes a trimmable run at index i, or 0 when it is not one.
size_t TrimmableAt(const Text& t, size_t i, bool ruleChars) {
    const char c = t[i];
    if (c == ' ') return 1;
    if (ruleChars && (c == '\t' || c == '\r' || c == '\n')) return 1;
    if (static_cast<unsigned char>(c) == 0xA1 && i + 1 < t.size() &&
        static_cast<unsigned char>(t[i + 1]) == 0xA1)
        return 2;
    return 0;
}

// One pass from the left: skip the leading run, then remember where the trailing run begins
// (character boundaries are only known when walking from the start).
Text TrimImpl(const Text& t, bool ruleChars) {
    size_t i = 0;
    for (size_t len; i < t.size() && (len = TrimmableAt(t, i, ruleChars)) != 0;) i += len;
    const size_t begin = i;
    size_t runStart = Text::npos;
    while (i < t.size()) {
        const size_t len = TrimmableAt(t, i, ruleChars);
        if (len != 0) {
            if (runStart == Text::npos) runStart = i;
            i += len;
        } else {
            runStart = Text::npos;
            i += CharLength(t, i);
        }
    }
    const size_t end = runStart == Text::npos ? t.size() : runStart;
    return t.substr(begin, end - begin);
}

}  // namespace

Text TextUpTo0(const ByteBuffer& bytes) {
    const size_t nul = bytes.find('\0');
    return nul == ByteBuffer::npos ? bytes : bytes.substr(0, nul);
}

size_t Find(const Text& hay, const Text& needle, size_t from) { return FindFrom(hay, needle, from, false); }
size_t FindExact(const Text& hay, const Text& needle, size_t from) { return FindFrom(hay, needle, from, true); }
size_t FindLast(const Text& hay, const Text& needle) { return FindLastImpl(hay, needle, false); }
size_t FindLastExact(const Text& hay, const Text& needle) { return FindLastImpl(hay, needle, true); }

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

bool StartsWith(const Text& text, const Text& prefix) {
    return prefix.size() <= text.size() && MatchAt(text, 0, prefix, false);
}

Text Trim(const Text& text) { return TrimImpl(text, false); }
Text TrimRuleText(const Text& text) { return TrimImpl(text, true); }
