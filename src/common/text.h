// Text: a GBK (code page 936) byte string. Positions are 1-based byte positions; 0 means
// "not found". A double-byte character is a byte >= 0x80 and the byte after it; no search ever
// starts a match on the second byte of one. Searches, replaces and splits ignore the case of
// ASCII letters (and only of those) unless their name says Exact.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

using Text = std::string;
// Raw bytes (a download, a file) before they are decoded into a Text.
using ByteBuffer = std::string;

// The text as the program sees it: everything up to the first NUL byte.
Text TextUpTo0(const ByteBuffer& bytes);

inline bool IsLeadByte(unsigned char c) { return c >= 0x80; }

// Position of the first occurrence of `needle` at or after `from`, or 0. `from` is taken as the
// start of a character (positions returned by searches always are).
size_t Find(const Text& hay, const Text& needle, size_t from = 1);
size_t FindExact(const Text& hay, const Text& needle, size_t from = 1);
// Position of the last occurrence, or 0.
size_t FindLast(const Text& hay, const Text& needle);
size_t FindLastExact(const Text& hay, const Text& needle);
inline bool Contains(const Text& hay, const Text& needle) { return Find(hay, needle) != 0; }

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
bool StartsWith(const Text& text, const Text& prefix);  // ASCII case ignored

// ASCII spaces and full-width spaces (A1 A1) removed at both ends.
Text Trim(const Text& text);
// Any run of ASCII spaces, full-width spaces, TAB, LF and CR removed at both ends.
Text TrimRuleText(const Text& text);
// The same without a copy of the whole text: trims `text` itself, or appends the trimmed
// `text` to `out`. Long lists are merged with these.
void TrimRuleTextInPlace(Text& text);
// The trimmed part of `text` itself, without a copy.
std::string_view TrimRuleView(std::string_view text);
void AppendTrimmedRuleText(Text& out, const Text& text);
