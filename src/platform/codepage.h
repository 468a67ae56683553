// Code-page conversions, shaped like MultiByteToWideChar / WideCharToMultiByte.
// Wide text travels as a ByteBuffer of UTF-16LE code units (two bytes each).
#pragma once

#include "base/text.h"

namespace platform {

constexpr unsigned kCodePageUtf8 = 65001;
constexpr unsigned kCodePageGbk = 936;

// Decodes `bytes` in `codePage` to UTF-16LE. Invalid input follows the system's rules for a
// call without flags (for UTF-8: each invalid sequence becomes U+FFFD).
ByteBuffer MultiByteToWide(unsigned codePage, const ByteBuffer& bytes);
// Encodes UTF-16LE `wide` in `codePage`; characters the code page lacks become its default
// character ("?").
ByteBuffer WideToMultiByte(unsigned codePage, const ByteBuffer& wide);
// UTF-8 `bytes` encoded in `codePage` up to the first NUL character: what
// WideToMultiByte(codePage, MultiByteToWide(kCodePageUtf8, bytes)) gives up to its first NUL,
// without a UTF-16 copy of the whole text in between.
ByteBuffer Utf8ToMultiByteUpTo0(unsigned codePage, const ByteBuffer& bytes);

}  // namespace platform
