// The search for redundant rules must agree line for line with the reference, the search as
// first written (reference_prune.cpp): the same lines go, each charged to the same rule that
// stays. Checked on the blacklists the benchmark measures (1x and 16x), on dense random lists in
// which many rules compete to cover each other, and on a real published list when
// QUORLEX_REAL_LIST names one (scripts/real-list.sh).
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "../bench/abp_blacklist.h"
#include "common/rule_list.h"
#include "platform/files.h"
#include "reference_prune.h"
#include "rules/engine/redundant_rules.h"
#include "rules/sources/chinalist_convert.h"
#include "rules/sources/fetch_rules_task.h"
#include "common/encoding.h"

namespace {

// The first few lines where the two disagree, each with the cover either one names. Returns how
// many lines go.
size_t ExpectSameAsReference(const Text& list, const std::string& what) {
    const std::vector<std::string_view> lines = SplitRuleLineViews(list);
    const RedundantRules found = FindRedundantRules(lines);
    const std::vector<int> expected = reference::CoveredBy(lines);
    EXPECT_TRUE(found.complete) << what;
    if (found.coveredBy.size() != expected.size()) {
        ADD_FAILURE() << what << ": " << found.coveredBy.size() << " lines, the reference " << expected.size();
        return 0;
    }
    const auto cover = [&](int c) { return c < 0 ? std::string("(stays)") : std::string(lines[size_t(c)]); };
    int shown = 0;
    for (size_t i = 0; i < lines.size() && shown < 5; ++i) {
        if (found.coveredBy[i] == expected[i]) continue;
        ADD_FAILURE() << what << ", line " << i << " " << lines[i] << ": charged to " << cover(found.coveredBy[i])
                      << ", the reference charges it to " << cover(expected[i]);
        ++shown;
    }
    return found.removedCount;
}

TEST(PruneAgrees, GeneratedBlacklistOnce) {
    ExpectSameAsReference(abp_blacklist::Blacklist(1), "1x");
}

TEST(PruneAgrees, GeneratedBlacklistSixteenTimes) {
    ExpectSameAsReference(abp_blacklist::Blacklist(16), "16x");
}

// Few hosts, paths and literals, so that each rule has many candidates: host rules of one host,
// domains and their subdomains, anywhere patterns whose literal runs stand several times and in
// several places of other patterns, short literals, double-byte characters (one with "^" as its
// trail byte), options, hiding rules, repeats and lines of no known form.
std::string RandomDenseRule(std::mt19937& rng, int minTokens) {
    static const char* const hosts[] = {"a.com", "b.a.com", "c.b.a.com", "ba.com", "a.com.cn", "x-y.a.com"};
    static const char* const tokens[] = {"^", "*", "/", "/ad", "ad", "a", "/ad/ad", ".js", "?x=", "x",
                                         "\xB0\x5E", "\xC0\xFD", ":8080", "ad^ad", "**"};
    static const char* const options[] = {"", "", "", "$script", "$image", "$"};
    const auto pick = [&](const auto& items) {
        return items[std::uniform_int_distribution<size_t>(0, std::size(items) - 1)(rng)];
    };
    std::string rest;
    for (int i = std::uniform_int_distribution<int>(minTokens, 4)(rng); i > 0; --i) {
        rest += pick(tokens);
        if (rng() % 4 == 0) rest += std::to_string(rng() % 10);
    }
    if (rng() % 2) rest += "*";
    switch (rng() % 10) {
    case 0: return std::string("**://") + pick(hosts) + "^*##" + (rng() % 2 ? ".ad" : "#x");
    case 1: return std::string("**://*##") + (rng() % 2 ? ".ad" : "#x");
    case 2: return std::string("**://~.") + pick(hosts) + rest + pick(options);
    case 3: case 4: case 5: return "**://*" + rest + pick(options);
    case 6: return rng() % 2 ? "! note" : std::string(" **://") + pick(hosts) + "^* ";
    default: return std::string("**://") + pick(hosts) + rest + pick(options);
    }
}

TEST(PruneAgrees, DenseRandomLists) {
    std::mt19937 rng(15);
    size_t lines = 0, removed = 0;
    for (int set = 0; set < 300; ++set) {
        Text list;
        const int n = std::uniform_int_distribution<int>(20, 400)(rng);
        const int minTokens = set % 3;  // longer patterns: fewer rules that cover most others
        for (int i = 0; i < n; ++i) list += RandomDenseRule(rng, minTokens) + "\n";
        lines += size_t(n);
        removed += ExpectSameAsReference(list, "set " + std::to_string(set));
        if (HasFailure()) return;
    }
    EXPECT_GT(removed, lines / 4);  // the lists are redundant enough to show the order of the covers
}

TEST(PruneAgrees, RealPublishedList) {
    const char* path = std::getenv("QUORLEX_REAL_LIST");
    if (!path || !*path) GTEST_SKIP() << "QUORLEX_REAL_LIST names no list (scripts/real-list.sh fetches one)";
    ByteBuffer bytes;
    ASSERT_TRUE(platform::ReadWholeFile(path, bytes)) << path;
    // The blacklist box after a fetch of the list, as in the benchmark.
    const ChinaListBuckets b = ConvertChinaList(Utf8ToGbk(bytes), nullptr);
    const Text blacklist = MergeRuleBuckets({&b.block, &b.hide});
    ASSERT_GT(blacklist.size(), 1000000u) << path;
    ExpectSameAsReference(blacklist, path);
}

}  // namespace
