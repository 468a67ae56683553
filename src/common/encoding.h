// Conversions between downloaded or stored bytes and program text (GBK), on the platform's
// code pages. Pure functions: none of them fails; empty input gives empty output and malformed
// input is converted as far as the rules go.
#pragma once

#include "base/text.h"

// A copy of `bytes` without a leading UTF-8 byte-order mark (EF BB BF). When there was one, a
// mark at bytes 5 to 7 (counting from 1) of the shortened copy goes as well. Bytes that do not
// begin with a mark come back unchanged, whatever marks they hold further on.
ByteBuffer StripUtf8Bom(const ByteBuffer& bytes);

// UTF-8 bytes to UTF-16LE code units (two bytes each); each invalid sequence becomes U+FFFD.
ByteBuffer Utf8ToWide(const ByteBuffer& bytes);
// UTF-16LE units (an odd last byte is ignored) to a GBK text; characters GBK lacks become "?".
// The text ends at the first NUL character.
Text WideToGbk(const ByteBuffer& wide);
// WideToGbk(Utf8ToWide(bytes)). No byte-order-mark handling: callers strip one first.
Text Utf8ToGbk(const ByteBuffer& bytes);

// A GBK text (up to its first NUL) to UTF-16LE units, with a terminating zero unit.
ByteBuffer GbkToWide(const Text& text);
// UTF-16LE units to UTF-8 bytes, every unit converted (a zero unit gives a zero byte).
ByteBuffer WideToUtf8(const ByteBuffer& wide);
// The UTF-8 bytes of a GBK text followed by exactly one zero byte: the form of the rule files.
ByteBuffer GbkToUtf8(const Text& text);
