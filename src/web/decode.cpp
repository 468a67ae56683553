#include "web/decode.h"

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

namespace {

// Every tag removed: from a "<" through the first ">" after it. A "<" without a ">" after it
// ends the work and stays, with everything after it. Nothing before a removed tag holds a "<",
// so one left-to-right pass gives what deleting the first tag and starting again would.
Text RemoveTags(const Text& text) {
    Text out;
    size_t from = 1;
    for (;;) {
        const size_t open = FindExact(text, "<", from);
        const size_t close = open == 0 ? 0 : FindExact(text, ">", open);
        if (close == 0) {
            out += MidToEnd(text, long(from));
            return out;
        }
        out += Mid(text, long(from), long(open - from));
        from = close + 1;
    }
}

struct Replacement {
    const char* from;
    const char* to;
};

// In this order: spaces made from &nbsp; are removed too, and so are the spaces inside
// "<br />", which then reaches the br steps as "<br/>".
constexpr Replacement kHtmlSteps[] = {
    {"&quot;", "\""}, {"&nbsp;", " "}, {" ", ""},       {"\r", ""},
    {"\n", ""},       {"<br/>", "\r\n"}, {"<br>", "\r\n"}, {"</br>", "\r\n"},
};

}  // namespace

Text CleanHtmlText(const Text& html) {
    Text text = html;
    for (const Replacement& step : kHtmlSteps) text = ReplaceAll(text, step.from, step.to);
    return RemoveTags(text);
}
