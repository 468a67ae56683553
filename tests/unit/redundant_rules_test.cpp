// The removal of redundant rules from a list: which lines go, which rule each one is charged to,
// and a property test against a deliberately simple reference matcher.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/rule_list.h"
#include "rules/engine/redundant_rules.h"

namespace {

RedundantRules Find(const std::vector<Text>& lines, bool (*stopped)() = nullptr) {
    return FindRedundantRules(std::vector<std::string_view>(lines.begin(), lines.end()), stopped);
}

// "line" or "line <- cover" for each removed one.
std::vector<std::string> Outcome(const std::vector<Text>& lines) {
    const RedundantRules found = Find(lines);
    std::vector<std::string> out;
    for (size_t i = 0; i < lines.size(); ++i) {
        const int c = found.coveredBy[i];
        out.push_back(c < 0 ? lines[i] : lines[i] + " <- " + lines[size_t(c)]);
    }
    return out;
}

struct ListCase {
    const char* what;
    std::vector<Text> lines;
    std::vector<std::string> outcome;
};

TEST(RedundantRules, WhichLinesGoAndWhatCoversThem) {
    const ListCase cases[] = {
        {"duplicates: the first stays, blanks at the ends do not count",
         {"**://a.com/x*", " **://a.com/x*\t", "**://b.com/x*", "**://a.com/x*"},
         {"**://a.com/x*", " **://a.com/x*\t <- **://a.com/x*", "**://b.com/x*", "**://a.com/x* <- **://a.com/x*"}},
        {"a covering rule later in the list",
         {"**://a.com/ads/*", "**://a.com^*"},
         {"**://a.com/ads/* <- **://a.com^*", "**://a.com^*"}},
        {"a chain is charged to the rule at its end, which stays",
         {"**://s.a.com/ads/x*", "**://s.a.com/ads/*", "**://~.a.com/ads/*", "**://*/ads/*"},
         {"**://s.a.com/ads/x* <- **://*/ads/*", "**://s.a.com/ads/* <- **://*/ads/*",
          "**://~.a.com/ads/* <- **://*/ads/*", "**://*/ads/*"}},
        {"a duplicate of a removed rule is charged to the rule that stays",
         {"**://a.com/x*", "**://a.com*", "**://a.com/x*"},
         {"**://a.com/x* <- **://a.com*", "**://a.com*", "**://a.com/x* <- **://a.com*"}},
        {"of two rules that cover each other, the first stays",
         {"**://a.com/**", "**://a.com/*"},
         {"**://a.com/**", "**://a.com/* <- **://a.com/**"}},
        {"a chain through a host rule ends at the domain rule, which covers the whole chain",
         {"**://ads.a.com:8080/x*", "**://ads.a.com^*", "**://~.a.com^*"},
         {"**://ads.a.com:8080/x* <- **://~.a.com^*", "**://ads.a.com^* <- **://~.a.com^*", "**://~.a.com^*"}},
        {"the converters' pair for a domain: both stay",
         {"**://a.com^*", "**://~.a.com^*", "**://ads.a.com^*"},
         {"**://a.com^*", "**://~.a.com^*", "**://ads.a.com^* <- **://~.a.com^*"}},
        {"different options: everything stays",
         {"**://a.com^*$script", "**://a.com/x*$image", "**://a.com/y*"},
         {"**://a.com^*$script", "**://a.com/x*$image", "**://a.com/y*"}},
        {"hiding rules go under the generic rule with their selector",
         {"**://a.com^*##.ad", "**://~.a.com^*##.ad", "**://a.com^*##.ad2", "**://*##.ad"},
         {"**://a.com^*##.ad <- **://*##.ad", "**://~.a.com^*##.ad <- **://*##.ad", "**://a.com^*##.ad2",
          "**://*##.ad"}},
        {"lines of no known form stay, also as duplicates, and cover nothing",
         {"! note", "! note", "", "", "@@||a.com^", "**://*", "**://例子.com/*"},
         {"! note", "! note", "", "", "@@||a.com^", "**://*", "**://例子.com/*"}},
        {"a line of no known form does not cover what it would as a rule",
         {"**://a.com/x*", "**://a.com*$", "**://a.com/x*$"},
         {"**://a.com/x*", "**://a.com*$", "**://a.com/x*$ <- **://a.com*$"}},
    };
    for (const ListCase& c : cases) EXPECT_EQ(Outcome(c.lines), c.outcome) << c.what;
}

TEST(RedundantRules, PrunedListKeepsTheOrderWithCrLfLines) {
    const PrunedRuleList p = PruneRuleList("**://b.com/x*\n**://a.com/ads/*\r\n! note\r\n**://a.com^*\r\n**://b.com/x*");
    ASSERT_TRUE(p.complete);
    EXPECT_EQ(p.kept, "**://b.com/x*\r\n! note\r\n**://a.com^*\r\n");
    EXPECT_EQ(p.removed, "**://a.com/ads/*\r\n**://b.com/x*\r\n");
    EXPECT_EQ(p.removedCount, 2u);

    const PrunedRuleList none = PruneRuleList("");
    EXPECT_TRUE(none.complete);
    EXPECT_EQ(none.kept, "");
    EXPECT_EQ(none.removedCount, 0u);
}

TEST(RedundantRules, AStopRequestEndsTheSearchWithNothingRemoved) {
    std::vector<Text> lines(5000, "**://a.com^*");
    const RedundantRules found = Find(lines, [] { return true; });
    EXPECT_FALSE(found.complete);
    EXPECT_EQ(found.removedCount, 0u);
    for (int c : found.coveredBy) EXPECT_EQ(c, -1);
}

TEST(RedundantRules, ManyRulesOfOneHostAndOneLiteral) {
    // The indexes hand out lists of candidates; each candidate is tried once per rule.
    std::vector<Text> lines = {"**://*/ads/*"};
    for (int i = 0; i < 2000; ++i) {
        lines.push_back("**://a.com/ads/" + std::to_string(i) + "*");
        lines.push_back("**://*/ads/" + std::to_string(i) + "/x*");
    }
    const RedundantRules found = Find(lines);
    EXPECT_EQ(found.removedCount, lines.size() - 1);
    for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(found.coveredBy[i], 0) << lines[i];
}

// ---- The property test ----
//
// The reference matcher turns each rule into a regular expression on URLs, with nothing shared
// with the model under test. The readings of the syntax that the browser alone could settle are
// parameters, and the kept rules must block and hide exactly what the whole list does under each.
struct Reading {
    bool wideSeparator;       // "^": any character but a letter, digit, "_-.%" or the end (else /:?=&)
    bool tildeIsDomainToo;    // "~.D": D and its subdomains (else its subdomains only)
    bool tildeWholeHost;      // "~.D": the URL's whole host is D or ends in ".D" (else a plain glob)
};

std::string Escape(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ? std::string(1, c) : std::string("\\") + c;
}

std::string GlobToRegex(const std::string& glob, const Reading& reading) {
    std::string re;
    for (char c : glob) {
        if (c == '*')
            re += ".*";
        else if (c == '^')
            re += reading.wideSeparator ? "(?:[^A-Za-z0-9_.%-]|$)" : "[/:?=&]";
        else
            re += Escape(c);
    }
    return re;
}

struct RefRule {
    bool hiding = false;
    std::string options, selector;
    const std::regex* url = nullptr;
};

// The grammar below makes the same expressions over and over: each is compiled once.
const std::regex* Compiled(const std::string& re) {
    static std::unordered_map<std::string, std::regex> cache;
    auto found = cache.find(re);
    if (found == cache.end()) found = cache.emplace(re, std::regex(re)).first;
    return &found->second;
}

// Only the lines the reference knows become rules: "**://" PATTERN ["$" OPTIONS | "##" SELECTOR].
bool ToRefRule(const std::string& raw, const Reading& reading, RefRule& out) {
    std::string line = raw;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.erase(0, 1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (line.rfind("**://", 0) != 0) return false;
    std::string pattern = line.substr(5);
    const size_t hash = pattern.find("##");
    if (hash != std::string::npos) {
        out.hiding = true;
        out.selector = pattern.substr(hash + 2);
        pattern.erase(hash);
    } else if (const size_t dollar = pattern.find('$'); dollar != std::string::npos) {
        out.options = pattern.substr(dollar);
        pattern.erase(dollar);
    }
    std::string re = "[a-z]+://";
    if (pattern.rfind("~.", 0) == 0) {
        size_t end = 2;
        while (end < pattern.size() && (std::isalnum(static_cast<unsigned char>(pattern[end])) ||
                                        pattern[end] == '.' || pattern[end] == '-' || pattern[end] == '_'))
            ++end;
        const std::string domain = GlobToRegex(pattern.substr(2, end - 2), reading);
        const std::string sub = reading.tildeWholeHost ? "[A-Za-z0-9_.-]*\\." : ".*\\.";
        re += reading.tildeIsDomainToo ? "(?:" + sub + ")?" + domain : sub + domain;
        if (reading.tildeWholeHost) re += "(?![A-Za-z0-9_.-])";
        pattern.erase(0, end);
    }
    re += GlobToRegex(pattern, reading);
    out.url = Compiled(re);
    return true;
}

// What one request is: a URL, its type (for options) and, for hiding, a selector on its page.
struct Request {
    std::string url, type, selector;
};

bool Applies(const RefRule& r, const Request& q) {
    if (r.hiding != !q.selector.empty()) return false;
    if (r.hiding ? r.selector != q.selector : !r.options.empty() && r.options != "$" + q.type) return false;
    return std::regex_match(q.url, *r.url);
}

// The small grammar the rule sets are drawn from.
const char* const kHosts[] = {"a.com", "b.a.com", "c.b.a.com", "ba.com", "a.cn"};
const char* const kRestTokens[] = {"^", "*", "/", "/ad", "ad", ".js", "?x=", "x"};
const char* const kOptions[] = {"", "", "", "$script", "$image"};
const char* const kSelectors[] = {".ad", "#x"};
const char* const kTypes[] = {"other", "script", "image"};
const char* const kStarFills[] = {"", "a", "d", ".", "/", "x", "ad", ".cn", "/ad", "?x=", "!", "-"};
const char* const kSeparatorFills[] = {"/", ":", "?", "=", "&", "!"};
const char* const kSubdomains[] = {"", "s.", "t.s.", "x", "-"};

template <typename T, size_t N>
const T& Pick(std::mt19937& rng, const T (&items)[N]) {
    return items[std::uniform_int_distribution<size_t>(0, N - 1)(rng)];
}

std::string RandomRest(std::mt19937& rng) {
    std::string rest;
    const int n = std::uniform_int_distribution<int>(0, 3)(rng);
    for (int i = 0; i < n; ++i) rest += Pick(rng, kRestTokens);
    if (rng() % 2) rest += "*";
    return rest;
}

std::string RandomRule(std::mt19937& rng) {
    const std::string host = Pick(rng, kHosts);
    switch (rng() % 9) {
    case 0: return "**://" + host + "^*##" + Pick(rng, kSelectors);
    case 1: return "**://~." + host + "^*##" + Pick(rng, kSelectors);
    case 2: return Text("**://*##") + Pick(rng, kSelectors);
    case 3: return "**://~." + host + RandomRest(rng) + Pick(rng, kOptions);
    case 4: return "**://*" + RandomRest(rng) + Pick(rng, kOptions);
    case 5: return rng() % 2 ? "! note" : " **://" + host + "^* ";
    default: return "**://" + host + RandomRest(rng) + Pick(rng, kOptions);
    }
}

// A URL that one rule's pattern matches (under some reading), with the wildcards filled in
// at random, so that the URLs hit the rules and their near misses.
std::string UrlFor(std::mt19937& rng, std::string pattern) {
    std::string url = "http://";
    if (pattern.rfind("~.", 0) == 0) {
        url += Pick(rng, kSubdomains);
        pattern.erase(0, 2);
    }
    for (char c : pattern) {
        if (c == '*')
            url += Pick(rng, kStarFills);
        else if (c == '^')
            url += Pick(rng, kSeparatorFills);
        else
            url += c;
    }
    return url;
}

TEST(RedundantRulesProperty, KeptRulesBlockAndHideExactlyWhatTheListDoes) {
    std::mt19937 rng(20240515);
    Reading readings[8];
    for (int k = 0; k < 8; ++k) readings[k] = {(k & 1) != 0, (k & 2) != 0, (k & 4) != 0};
    size_t removedTotal = 0;
    for (int set = 0; set < 2000; ++set) {
        std::vector<Text> lines;
        const int n = std::uniform_int_distribution<int>(2, 9)(rng);
        for (int i = 0; i < n; ++i) lines.push_back(RandomRule(rng));
        const RedundantRules found = Find(lines);
        removedTotal += found.removedCount;

        std::vector<Request> requests;
        for (const Text& line : lines) {
            const size_t start = line.find("**://");
            if (start == Text::npos) continue;
            const bool hiding = line.find("##") != Text::npos;
            std::string pattern = line.substr(start + 5);
            pattern = pattern.substr(0, pattern.find_first_of("$# "));
            for (int k = 0; k < 3; ++k) {
                const std::string url = UrlFor(rng, pattern);
                if (hiding) {
                    for (const char* selector : kSelectors) requests.push_back({url, "", selector});
                } else {
                    for (const char* type : kTypes) requests.push_back({url, type, ""});
                }
            }
        }
        for (const Reading& reading : readings) {
            std::vector<RefRule> rules(lines.size());
            std::vector<bool> known(lines.size());
            for (size_t i = 0; i < lines.size(); ++i) known[i] = ToRefRule(lines[i], reading, rules[i]);
            for (const Request& q : requests) {
                // The kept rules first: when one of them applies, the list's answer is the same.
                bool byKept = false, byAll = false;
                for (int kept : {1, 0}) {
                    for (size_t i = 0; i < lines.size() && !byAll; ++i) {
                        if ((found.coveredBy[i] < 0) != bool(kept) || !known[i] || !Applies(rules[i], q)) continue;
                        byAll = true;
                        byKept = kept;
                    }
                }
                ASSERT_EQ(byAll, byKept) << "set " << set << ", " << q.url << " " << q.type << q.selector
                                         << ", reading " << reading.wideSeparator << reading.tildeIsDomainToo
                                         << reading.tildeWholeHost << "\n"
                                         << ::testing::PrintToString(Outcome(lines));
            }
        }
    }
    EXPECT_GT(removedTotal, 1000u);  // the sets do hold redundant rules
}

}  // namespace
