// The ChinaList Lazy conversion on the input decoded as the source step decodes the list (UTF-8 to
// GBK, so the text is always well-formed GBK). For any input: each of the three buckets is empty or
// rules of the browser's syntax separated by CR LF, trimmed, with no line break inside a rule;
// hiding rules are in the hiding bucket only; the message box is shown only for a hiding rule
// without a domain.
#include <cstddef>
#include <cstdint>

#include "base/text.h"
#include "common/encoding.h"
#include "fuzz_support.h"
#include "rules/sources/chinalist_convert.h"

namespace {

void CheckBucket(const Text& rules, bool hiding) {
    if (rules.empty()) return;
    FUZZ_CHECK(TrimRuleText(rules) == rules);
    for (const Text& rule : fuzz::RuleLines(rules)) {
        FUZZ_CHECK(StartsWith(rule, "**://"));
        FUZZ_CHECK(!Contains(rule, "\r") && !Contains(rule, "\n"));
        if (hiding) FUZZ_CHECK(Contains(rule, "##"));
    }
}

void Convert(const Text& list) {
    const ChinaListBuckets buckets = ConvertChinaList(list, [](const Text& shown) {
        FUZZ_CHECK(StartsWith(shown, "##"));
    });
    CheckBucket(buckets.block, false);
    CheckBucket(buckets.white, false);
    CheckBucket(buckets.hide, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Convert(Utf8ToGbk(ByteBuffer(reinterpret_cast<const char*>(data), size)));
    return 0;
}
