// The Kingsoft list conversion on the input decoded as the source step decodes a downloaded list
// (byte-order mark dropped, GBK text up to the first NUL). For any input: the result is empty or
// begins with CR LF, every rule is one of the browser's syntax that is not too short, and
// appending the result to a bucket keeps the bucket's earlier rules in front.
#include <cstddef>
#include <cstdint>

#include "base/text.h"
#include "common/encoding.h"
#include "fuzz_support.h"
#include "rules/sources/kingsoft_convert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Text list = TextUpTo0(StripUtf8Bom(ByteBuffer(reinterpret_cast<const char*>(data), size)));
    const Text rules = ConvertKingsoftList(list);
    if (rules.empty()) return 0;
    FUZZ_CHECK(StartsWith(rules, "\r\n"));
    const std::vector<Text> lines = fuzz::RuleLines(rules.substr(2));
    for (const Text& rule : lines) {
        FUZZ_CHECK(StartsWith(rule, "**://"));
        FUZZ_CHECK(!IsTooShortRule(rule));
    }

    const Text earlier = "**://earlier.example.com*";
    Text bucket = earlier;
    if (AppendKingsoftList(bucket, rules)) {
        FUZZ_CHECK(rules.size() >= kMinKingsoftListBytes);
        FUZZ_CHECK(StartsWith(bucket, earlier + "\r\n**://"));
    } else {
        FUZZ_CHECK(rules.size() < kMinKingsoftListBytes && bucket == earlier);
    }
    return 0;
}
