#include "common/encoding.h"

#include "platform/codepage.h"

namespace {

const ByteBuffer kUtf8Bom = "\xEF\xBB\xBF";

bool HasBomAt(const ByteBuffer& bytes, size_t index) { return bytes.compare(index, 3, kUtf8Bom) == 0; }

}  // namespace

ByteBuffer StripUtf8Bom(const ByteBuffer& bytes) {
    ByteBuffer out = bytes;
    if (!HasBomAt(out, 0)) return out;
    out.erase(0, 3);
    // Bytes 5, 6 and 7 counting from 1: index 4.
    if (out.size() >= 7 && HasBomAt(out, 4)) out.erase(4, 3);
    return out;
}

ByteBuffer Utf8ToWide(const ByteBuffer& bytes) {
    return platform::MultiByteToWide(platform::kCodePageUtf8, bytes);
}

Text WideToGbk(const ByteBuffer& wide) {
    return TextUpTo0(platform::WideToMultiByte(platform::kCodePageGbk, wide));
}

Text Utf8ToGbk(const ByteBuffer& bytes) {
    // Straight from UTF-8, without the whole text as UTF-16 in between: downloads run to
    // megabytes, and the browser's address space is small.
    return platform::Utf8ToMultiByteUpTo0(platform::kCodePageGbk, bytes);
}

ByteBuffer GbkToWide(const Text& text) {
    // The terminator is converted with the text, so the result always ends in a zero unit.
    return platform::MultiByteToWide(platform::kCodePageGbk, TextUpTo0(text) + '\0');
}

ByteBuffer WideToUtf8(const ByteBuffer& wide) {
    return platform::WideToMultiByte(platform::kCodePageUtf8, wide);
}

ByteBuffer GbkToUtf8(const Text& text) { return WideToUtf8(GbkToWide(text)); }
