// CleanHtmlText and the update probes' page parsing, on the input decoded as the probes decode a
// page (byte-order mark dropped, UTF-8 to GBK) and on the input taken as GBK text. For any input:
// the plain text holds no space, no line feed outside CR LF and no complete tag; a date found is
// bracketed; the ChinaList caption has its fixed form.
#include <cstddef>
#include <cstdint>

#include "base/text.h"
#include "common/encoding.h"
#include "fuzz_support.h"
#include "web/decode.h"
#include "web/probes.h"

namespace {

// Character by character, as the text operations walk: a byte of 0x80 or more and the byte after
// it are one character, so a space or line feed there is no space or line feed.
void CheckPlainText(const Text& text) {
    FUZZ_CHECK(!Contains(text, " "));
    for (size_t i = 0; i < text.size(); i += IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1) {
        if (text[i] == '\n') FUZZ_CHECK(i > 0 && text[i - 1] == '\r');
    }
    // Tag removal stops at the first "<" without a ">" after it.
    const size_t open = FindExact(text, "<");
    if (open) FUZZ_CHECK(FindExact(text, ">", open) == 0);
}

void CheckBracketed(const Text& date) {
    if (date.empty()) return;
    FUZZ_CHECK(date.front() == '[' && date.back() == ']');
}

void Parse(const Text& page) {
    CheckPlainText(CleanHtmlText(page));

    const ProbeFindings forum = ParseForumThreadPage(page);
    if (forum.hasDate) CheckBracketed(forum.date);
    FUZZ_CHECK(forum.hasDate || !forum.hasNote);
    if (forum.hasNote) CheckPlainText(forum.note);

    const ProbeFindings kingsoft = ParseKingsoftRulePage(page);
    if (kingsoft.hasDate) {
        FUZZ_CHECK(kingsoft.date.size() >= 2 && kingsoft.date.size() <= 12);
        CheckBracketed(kingsoft.date);
    }
    FUZZ_CHECK(kingsoft.hasDate || !kingsoft.hasNote);
    if (kingsoft.hasNote) FUZZ_CHECK(!Contains(kingsoft.note, " ") && !Contains(kingsoft.note, "\t"));

    bool ok = false;
    const Text caption = ChinaListCaption(page, ok);
    FUZZ_CHECK(StartsWith(caption, "ChinaList-Lazy[") && caption.back() == ']');
    if (!ok) FUZZ_CHECK(caption == "ChinaList-Lazy[]");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ByteBuffer bytes(reinterpret_cast<const char*>(data), size);
    Parse(Utf8ToGbk(StripUtf8Bom(bytes)));
    Parse(TextUpTo0(bytes));
    return 0;
}
