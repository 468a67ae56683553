// Text: a GBK (code page 936) byte string. Positions are 1-based byte positions; 0 means
// "not found". A double-byte character is a byte >= 0x80 and the byte after it; no search ever
// starts a match on the second byte of one. Searches, replaces and splits ignore the case of
// ASCII letters (and only of those) unless their name says Exact.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using Text = std::string;
// A part of a Text (or of a literal) without a copy of its own; searches take these, so a
// converter can look into the lines of a list where they stand.
using TextView = std::string_view;
// Raw bytes (a download, a file) before they are decoded into a Text.
using ByteBuffer = std::string;

// The text as the program sees it: everything up to the first NUL byte.
Text TextUpTo0(const ByteBuffer& bytes);

inline bool IsLeadByte(unsigned char c) { return c >= 0x80; }

// True when a character starts at the 0-based `index` of `text` (a byte right after a double-byte
// character's lead byte is its second byte). Costs the run of bytes of 0x80 or more before it.
bool IsCharacterStart(TextView text, size_t index);

namespace text_search {
size_t FindFrom(TextView hay, TextView needle, size_t from, bool exact);
}

// Position of the first occurrence of `needle` at or after `from`, or 0. `from` is taken as the
// start of a character (positions returned by searches always are).
//
// The converters search short lines many times over, so the usual outcomes are settled here,
// inline: the needle's first byte does not occur (for an exact search, or one whose first byte
// has no letter case), or it first occurs after a byte below 0x80 (so it starts a character) and
// the exact needle stands there. Everything else goes to the full search.
inline size_t FindExact(TextView hay, TextView needle, size_t from = 1) {
    if (needle.empty() || from < 1 || from > hay.size() || needle.size() > hay.size() - (from - 1)) return 0;
    const char* const base = hay.data();
    const void* p = std::memchr(base + from - 1, needle[0], hay.size() - needle.size() + 1 - (from - 1));
    if (!p) return 0;
    const size_t i = size_t(static_cast<const char*>(p) - base);
    if ((i == from - 1 || !IsLeadByte(static_cast<unsigned char>(base[i - 1]))) &&
        std::memcmp(base + i + 1, needle.data() + 1, needle.size() - 1) == 0)
        return i + 1;
    return text_search::FindFrom(hay, needle, from, true);
}
inline bool HasAsciiLetter(TextView text) {
    for (const char c : text) {
        if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') return true;
    }
    return false;
}
// Letter case matters only for a needle with letters in it.
inline size_t Find(TextView hay, TextView needle, size_t from = 1) {
    if (!HasAsciiLetter(needle)) return FindExact(hay, needle, from);
    return text_search::FindFrom(hay, needle, from, false);
}
// Position of the last occurrence, or 0.
size_t FindLast(TextView hay, TextView needle);
size_t FindLastExact(TextView hay, TextView needle);
inline bool Contains(TextView hay, TextView needle) { return Find(hay, needle) != 0; }

// Every non-overlapping occurrence replaced in one left-to-right pass (new matches that the
// replacement creates are not looked at again).
Text ReplaceAll(const Text& text, const Text& from, const Text& to);
Text ReplaceAllExact(const Text& text, const Text& from, const Text& to);
inline Text RemoveAll(const Text& text, const Text& what) { return ReplaceAll(text, what, ""); }

// Byte counts: a count of 0 or less gives the empty text, a count past the end stops at the end.
Text Left(const Text& text, long count);
Text Right(const Text& text, long count);
// `count` bytes from position `pos`; empty when pos < 1, pos beyond the end or count <= 0.
Text Mid(const Text& text, long pos, long count);
// Everything from position `pos` to the end.
Text MidToEnd(const Text& text, long pos);

// An empty item between adjacent separators, none after a final separator, none for "".
std::vector<Text> Split(const Text& text, const Text& separator);

// ASCII upper/lower case of the single-byte characters only.
Text ToLowerAscii(const Text& text);
Text ToUpperAscii(const Text& text);
bool StartsWith(TextView text, TextView prefix);  // ASCII case ignored

// ASCII spaces and full-width spaces (A1 A1) removed at both ends.
Text Trim(const Text& text);
// Any run of ASCII spaces, full-width spaces, TAB, LF and CR removed at both ends.
Text TrimRuleText(const Text& text);
// The same as a view into `text`. Most lines have nothing to trim: a text whose first and last
// bytes can neither be nor end a trimmable character comes back at once.
TextView TrimRuleTextViewSlow(TextView text);
inline bool MayTrimAtRuleTextEdge(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0xA1;
}
inline TextView TrimRuleTextView(TextView text) {
    if (!text.empty() && !MayTrimAtRuleTextEdge(static_cast<unsigned char>(text.front())) &&
        !MayTrimAtRuleTextEdge(static_cast<unsigned char>(text.back())))
        return text;
    return TrimRuleTextViewSlow(text);
}
// The same without a copy of the whole text: trims `text` itself, or appends the trimmed
// `text` to `out`. Long lists are merged with these.
void TrimRuleTextInPlace(Text& text);
void AppendTrimmedRuleText(Text& out, const Text& text);
