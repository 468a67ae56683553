// The merge of the rule buckets into the blacklist and whitelist.
#include <gtest/gtest.h>

#include "rules/sources/fetch_rules_task.h"

namespace {

struct MergeCase {
    const char* what;
    std::vector<Text> buckets;
    Text expected;
};

Text Merge(const std::vector<Text>& b) {
    if (b.size() == 3) return MergeRuleBuckets({&b[0], &b[1], &b[2]});
    return MergeRuleBuckets({&b[0], &b[1], &b[2], &b[3], &b[4], &b[5]});
}

TEST(MergeRuleBuckets, TrimThenAppend) {
    const MergeCase cases[] = {
        {"all empty (blacklist)", {"", "", "", "", "", ""}, "\r\n"},
        {"all empty (whitelist)", {"", "", ""}, "\r\n"},
        {"only the user rules", {"", "", "", "", "u1\r\nu2\r\n", "\r\nh1\r\n"}, "u1\r\nu2\r\nh1"},
        {"only the user block rules", {"", "", "", "", "u1", ""}, "u1\r\n"},
        {"empty middle buckets leave no empty line", {"a", "", "", "b", "", "c"}, "a\r\nb\r\nc"},
        {"last bucket empty keeps the final CR LF", {"a", "b", "c", "d", "e", ""}, "a\r\nb\r\nc\r\nd\r\ne\r\n"},
        {"bucket ends are trimmed, insides kept",
         {" \t\r\na\r\n\r\nb \r\n", "", "", "", "", "  c  "}, "a\r\n\r\nb\r\nc"},
        {"no de-duplication", {"x", "x", "", "", "", "x"}, "x\r\nx\r\nx"},
        {"whitelist order", {"m", "c", "u"}, "m\r\nc\r\nu"},
        {"whitelist, first empty", {"", "c", "u"}, "c\r\nu"},
        {"whitelist, last empty", {"m", "c", ""}, "m\r\nc\r\n"},
    };
    for (const MergeCase& c : cases) EXPECT_EQ(Merge(c.buckets), c.expected) << c.what;
}

}  // namespace
