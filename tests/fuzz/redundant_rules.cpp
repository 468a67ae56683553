// The removal of redundant rules on the input as a GBK list (what the blacklist box may hold
// after any paste). For any input: nothing crashes, the kept and removed lines together are the
// list's lines, only rules the model knows are removed, each one is charged to a line that stays
// and that is the same text or covers it, and the pruned texts are those lines in order.
#include <cstddef>
#include <cstdint>

#include "common/rule_list.h"
#include "fuzz_support.h"
#include "rules/engine/browser_rule.h"
#include "rules/engine/redundant_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Text list = TextUpTo0(ByteBuffer(reinterpret_cast<const char*>(data), size));
    const std::vector<std::string_view> lines = SplitRuleLineViews(list);
    const RedundantRules found = FindRedundantRules(lines);
    FUZZ_CHECK(found.complete && found.coveredBy.size() == lines.size());

    Text kept, removed;
    size_t count = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const int cover = found.coveredBy[i];
        (cover < 0 ? kept : removed) += Text(lines[i]) + "\r\n";
        if (cover < 0) continue;
        ++count;
        FUZZ_CHECK(size_t(cover) < lines.size() && found.coveredBy[size_t(cover)] < 0);
        const std::string_view r = TrimRuleTextView(lines[i]), s = TrimRuleTextView(lines[size_t(cover)]);
        const BrowserRule rule = ParseBrowserRule(r);
        FUZZ_CHECK(rule.kind != RuleKind::Unparsed);
        FUZZ_CHECK(r == s || RuleCovers(ParseBrowserRule(s), rule));
    }
    FUZZ_CHECK(count == found.removedCount);

    const PrunedRuleList pruned = PruneRuleList(list);
    FUZZ_CHECK(pruned.complete && pruned.kept == kept && pruned.removed == removed);
    return 0;
}
