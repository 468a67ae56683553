// The Maxthon site list conversion: from the decoded text of SiteList.xml to the blacklist and
// whitelist rule texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "rules/sources/sitelist_convert.h"

namespace {

const std::vector<Text> kFixedWhite = {
    "**://*/forum.php?mod=attachment*",
    "**://*/*downloads.*",
    "**://*/*uploads.*",
};

Text Join(const std::vector<Text>& lines) {
    Text out;
    for (const Text& line : lines) {
        if (!out.empty()) out += "\r\n";
        out += line;
    }
    return out;
}

std::vector<Text> Concat(std::vector<Text> a, const std::vector<Text>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A site list with one site holding one entry in the named list. A null mode leaves the
// attribute out. Domain and entry are written into the XML as they are.
Text OneEntryList(const Text& domain, const Text& entry, const char* mode, const Text& listName) {
    const Text modeAttribute = mode ? Text(" mode=\"") + mode + "\"" : Text();
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<sp>\r\n <site d=\"" + domain + "\">\r\n  <" +
           listName + "><i" + modeAttribute + ">" + entry + "</i></" + listName + ">\r\n </site>\r\n</sp>\r\n";
}

struct EntryCase {
    Text domain, entry;
    const char* mode;  // null: no "mode" attribute
    std::vector<Text> rules;
};

// Converts each case once as a blacklist entry and once as a whitelist entry.
void CheckEntries(const std::vector<EntryCase>& cases) {
    for (const EntryCase& c : cases) {
        const Text label = "d='" + c.domain + "' entry='" + c.entry + "' mode=" + (c.mode ? c.mode : "(none)");
        XmlReader reader;
        SiteListRules rules;
        ASSERT_TRUE(ConvertSiteListText(OneEntryList(c.domain, c.entry, c.mode, "blacklist"), reader, rules)) << label;
        EXPECT_EQ(rules.blockRules, Join(c.rules)) << label;
        EXPECT_EQ(rules.whiteRules, Join(kFixedWhite)) << label;

        ASSERT_TRUE(ConvertSiteListText(OneEntryList(c.domain, c.entry, c.mode, "whitelist"), reader, rules)) << label;
        EXPECT_EQ(rules.blockRules, "") << label;
        EXPECT_EQ(rules.whiteRules, Join(Concat(kFixedWhite, c.rules))) << label;
    }
}

TEST(SiteListConvert, WorkedExamples) {
    CheckEntries({
        {"example.com", "*/ad/*", "0", {"**://example.com^*/ad/*", "**://~.example.com^*/ad/*"}},
        {"example.com", "/ad.gif", "0", {"**://example.com^*/ad.gif", "**://~.example.com^*/ad.gif"}},
        {"www.example.com", "*/ad/*", "0", {"**://www.example.com^*/ad/*"}},
        {"192.168.0.1", "/ad/", "0", {"**://192.168.0.1^*/ad/*"}},
        {"*", "*ads*", "0", {"**://*ads*"}},
        {"*", "example.net", "0", {"**://example.net^*", "**://~.example.net^*"}},
        {"*", "ads.example.net", "0", {"**://ads.example.net^*"}},
        {"*", "http://example.com/", "0", {"**://example.com^*", "**://~.example.com^*"}},
        {"*", ".example.com", "0", {"**://~.example.com^*"}},
        {"*", "1.2.3.4", "0", {"**://1.2.3.4^*"}},
        {"example.com", "ads.example.net", "0",
         {"**://example.com^*$domain=ads.example.net", "**://~.example.com^*$domain=ads.example.net"}},
        {"*", "http://ads.example.net/banner", "0", {"**://ads.example.net/banner*"}},
        {"*", "example.net/x.js", "0", {"**://example.net/x.js", "**://~.example.net/x.js"}},
        {"*", ".example.com/ads", "0", {"**://~.example.com/ads*"}},
        {"*", "ad?.example.com/x", "0", {"**://ad*.example.com/x*"}},
        {"*", "(ads|track).example.com/", "1", {"**://ads.example.com/*", "**://track.example.com/*"}},
        {"*", "ads.example.com/(?#note)x", "1", {"**://ads.example.com/x*"}},
        {"example", "*/ad/*", "0", {}},
        {"example", "(a|b).example.com/", "1", {}},
    });
}

TEST(SiteListConvert, SiteDomains) {
    CheckEntries({
        // "*" anywhere makes the site apply everywhere.
        {"*.example.com", "/ad", "0", {"**://*/ad*"}},
        {"ex*ample", "/ad", "0", {"**://*/ad*"}},
        // A domain written as a URL is not host-tested and gets no "~." variants.
        {"http://example.com", "/ad", "0", {"**://http://example.com^*/ad*"}},
        {"http://example.com", "ads.net", "0", {"**://http://example.com^*$domain=ads.net"}},
        // Numeric addresses get no "~." variant either; compound country suffixes are bare.
        {"10.0.0.1", "ads.net", "0", {"**://10.0.0.1^*$domain=ads.net"}},
        {"example.com.cn", "/ad", "0", {"**://example.com.cn^*/ad*", "**://~.example.com.cn^*/ad*"}},
        // Surrounding blanks in the attribute are not part of the domain.
        {" example.com ", "/ad", "0", {"**://example.com^*/ad*", "**://~.example.com^*/ad*"}},
        {"", "/ad", "0", {}},
        {"example.COM", "/ad", "0", {}},
        {"example.mobi", "/ad", "0", {}},
    });
}

TEST(SiteListConvert, PatternShapes) {
    CheckEntries({
        // Host alone, with a scheme, with "/*", with leading "*" or "." on a site.
        {"*", "http://example.com/*", "0", {"**://example.com/*", "**://~.example.com/*"}},
        {"*", "*example.com", "0", {"**://*example.com^*"}},
        {"*", "www.example.com/", "0", {"**://www.example.com/*"}},
        {"example.com", "http://*.ads.net/", "0",
         {"**://example.com^*$domain=ads.net", "**://~.example.com^*$domain=ads.net"}},
        {"example.com", ".ads.net", "0",
         {"**://example.com^*$domain=ads.net", "**://~.example.com^*$domain=ads.net"}},
        // Host with a path: file types keep their end, a leading "*" stays as it is.
        {"*", "example.net/a.html", "0", {"**://example.net/a.html", "**://~.example.net/a.html"}},
        {"*", "example.net/a.php", "0", {"**://example.net/a.php*", "**://~.example.net/a.php*"}},
        {"*", "*.example.net/ad", "0", {"**://*.example.net/ad*"}},
        {"example.com", "ads.net/x", "0", {"**://ads.net/x*", "**://~.ads.net/x*"}},
        // A scheme written with one slash is repaired once classified.
        {"*", "http:/ads.example.net/x", "0", {"**://*http://ads.example.net/x*"}},
        // A scheme without a usable host gives nothing.
        {"*", "http://localhost", "0", {}},
        // Entities are decoded before the pattern is read.
        {"*", "ads.example.com/x?a=1&amp;b=2", "0", {"**://ads.example.com/x*a=1&b=2*"}},
        {"*", "&#x2A;ads&#42;", "0", {"**://*ads*"}},
    });
}

TEST(SiteListConvert, WildcardEntries) {
    CheckEntries({
        {"*", "a??b", "0", {"**://*a*b*"}},
        {"*", "*?ad**?", "0", {"**://*ad*"}},
        // Any mode other than 1 is a wildcard pattern; only an absent mode skips the entry.
        {"*", "(a|b).com", "0", {"**://(a|b).com^*", "**://~.(a|b).com^*"}},
        {"*", "(a|b).com", "", {"**://(a|b).com^*", "**://~.(a|b).com^*"}},
        {"*", "(a|b).com", "2", {"**://(a|b).com^*", "**://~.(a|b).com^*"}},
        {"*", "(a|b).com", "-1", {"**://(a|b).com^*", "**://~.(a|b).com^*"}},
        {"*", "(a|b).com", "x1", {"**://(a|b).com^*", "**://~.(a|b).com^*"}},
        {"*", "(a|b).com", "11", {"**://(a|b).com^*", "**://~.(a|b).com^*"}},
        {"*", "(a|b).com", "99999999999999999999991", {"**://(a|b).com^*", "**://~.(a|b).com^*"}},
        {"*", "(a|b).com", nullptr, {}},
        // Comments are skipped, also when the file indents them.
        {"*", "!ads.example.com", "0", {}},
        {"*", "\r\n   !ads.example.com", "0", {}},
        {"*", "ads.example.com!", "0", {"**://*ads.example.com!*"}},
    });
}

TEST(SiteListConvert, RegularExpressionEntries) {
    const std::vector<Text> ab = {"**://a.com^*", "**://~.a.com^*", "**://b.com^*", "**://~.b.com^*"};
    CheckEntries({
        // What makes a mode of 1: leading spaces, then digits up to the first other character.
        {"*", "(a|b).com", "1", ab},
        {"*", "(a|b).com", " 1", ab},
        {"*", "(a|b).com", "01", ab},
        {"*", "(a|b).com", "1x", ab},
        // Alternatives: an empty one counts unless it follows the final "|".
        {"*", "(a|b|)x.com", "1",
         {"**://ax.com^*", "**://~.ax.com^*", "**://bx.com^*", "**://~.bx.com^*"}},
        {"*", "(|a)x.com", "1", {"**://x.com^*", "**://~.x.com^*", "**://ax.com^*", "**://~.ax.com^*"}},
        {"*", "(ads|img).example.com/x", "1", {"**://ads.example.com/x*", "**://img.example.com/x*"}},
        // Each candidate is classified on its own.
        {"*", "(ads.example.com|/banner)", "1", {"**://ads.example.com^*", "**://*/banner*"}},
        // No group: converted as it stands.
        {"*", "ads.example.com/x", "1", {"**://ads.example.com/x*"}},
        {"*", "a|b.com", "1", {"**://a|b.com^*", "**://~.a|b.com^*"}},
        // Skipped: a group without "|", two groups, ")" before "(", no ")".
        {"*", "a(b)c", "1", {}},
        {"*", "(a|b)(c|d).com", "1", {}},
        {"*", "a)b(c|d.com", "1", {}},
        {"*", "(a|b.com", "1", {}},
        // Skipped: characters a wildcard rule cannot express.
        {"*", "\\d+.example.com", "1", {}},
        {"*", "ad?.example.com", "1", {}},
        {"*", "[ab].example.com", "1", {}},
        {"*", "a{2}.example.com", "1", {}},
        {"*", "(a|b]).com", "1", {}},
        // Comments are cut first; one that is never closed keeps its "?" and is skipped.
        {"*", "(?#x)(a|b).com", "1", ab},
        {"*", "(a(?#)|b).com", "1", ab},
        {"*", "x(?#c", "1", {}},
        // GBK characters whose trail byte looks like "|" or "\" are neither.
        {"*", "(\x81\x7C|b).com/", "1",
         {"**://\x81\x7C.com/*", "**://~.\x81\x7C.com/*", "**://b.com/*", "**://~.b.com/*"}},
        {"*", "广\x81\x5C.example.com/ad", "1", {"**://广\x81\x5C.example.com/ad*"}},
    });
}

TEST(SiteListConvert, PatternsThatWouldCorruptTheLists) {
    CheckEntries({
        // Blanks and line breaks around a pattern are the file's layout.
        {"example.com", "\r\n    */ad/*\r\n  ", "0", {"**://example.com^*/ad/*", "**://~.example.com^*/ad/*"}},
        {"*", " <![CDATA[ ads.example.net ]]> ", "0", {"**://ads.example.net^*"}},
        // An empty pattern would become a rule for every address; it gives none.
        {"*", "", "0", {}},
        {"example.com", "", "0", {}},
        {"*", " \t ", "0", {}},
        {"*", "(|)", "1", {}},
        // A line break inside a pattern or a domain would split a rule in two.
        {"*", "ads\nbanner.com", "0", {}},
        {"*", "ads&#13;banner.com", "0", {}},
        {"exa&#10;mple.com", "/ad", "0", {}},
        // A megabyte entry is one rule.
        {"*", "ads.example.net/" + Text(1 << 20, 'a'), "0", {"**://ads.example.net/" + Text(1 << 20, 'a') + "*"}},
    });
}

TEST(SiteListConvert, RulesFollowFileOrder) {
    const Text document =
        "<sp>"
        "<site d='example.com'>"
        "<blacklist><i mode='0'>/b1</i><x mode='0'>ads.net</x></blacklist>"
        "<whitelist><i mode='0'>/w1</i></whitelist>"
        "<blacklist><i mode='0'>/ignored</i></blacklist>"
        "<BlackList><i mode='0'>/ignored</i></BlackList>"
        "</site>"
        "<nod><blacklist><i mode='0'>/ignored</i></blacklist></nod>"
        "<site d='localhost'><blacklist><i mode='0'>/ignored</i></blacklist></site>"
        // A domain written as a URL after a named site still gets no "~." variant.
        "<other d='http://x.com'><blacklist><i mode='0'>/b2</i></blacklist></other>"
        "<site d='*'><whitelist><i mode='1'>(w2|w3).example.com/</i></whitelist>"
        "<blacklist><i>/no-mode</i><i mode='0'>/b3</i></blacklist></site>"
        "<site d='www.example.org'/>"
        "</sp>";
    XmlReader reader;
    SiteListRules rules;
    ASSERT_TRUE(ConvertSiteListText(document, reader, rules));
    EXPECT_EQ(rules.blockRules, Join({
                                    "**://example.com^*/b1*",
                                    "**://~.example.com^*/b1*",
                                    "**://example.com^*$domain=ads.net",
                                    "**://~.example.com^*$domain=ads.net",
                                    "**://http://x.com^*/b2*",
                                    "**://*/b3*",
                                }));
    EXPECT_EQ(rules.whiteRules, Join(Concat(kFixedWhite, {
                                                             "**://example.com^*/w1*",
                                                             "**://~.example.com^*/w1*",
                                                             "**://w2.example.com/*",
                                                             "**://w3.example.com/*",
                                                         })));
    EXPECT_FALSE(reader.HasDocument());  // the document is not kept after the conversion
}

TEST(SiteListConvert, UsableListWithoutRules) {
    const Text documents[] = {
        "<sp/>",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?><sp>\r\n<!-- none -->\r\n</sp>",
        "<sp><site/><site d='*'/><site d='*'><blacklist/></site><site d='*'><whitelist>x</whitelist></site></sp>",
    };
    for (const Text& document : documents) {
        XmlReader reader;
        SiteListRules rules{"old", "old"};
        ASSERT_TRUE(ConvertSiteListText(document, reader, rules)) << document;
        EXPECT_EQ(rules.whiteRules, Join(kFixedWhite)) << document;
        EXPECT_EQ(rules.blockRules, "") << document;
    }
}

TEST(SiteListConvert, DeclarationsAndEncodings) {
    // The reader takes the text as GBK however the declaration names its encoding.
    const Text declarations[] = {
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
        "<?xml version=\"1.0\" encoding=\"gb2312\"?>",
        "<?xml version='1.0' encoding='utf-8'?>",
        "",
    };
    for (const Text& declaration : declarations) {
        XmlReader reader;
        SiteListRules rules;
        const Text document = declaration + "\n<sp><site d='广告.cn'><blacklist><i mode='0'>/广告</i></blacklist></site></sp>";
        ASSERT_TRUE(ConvertSiteListText(document, reader, rules)) << declaration;
        EXPECT_EQ(rules.blockRules, Join({"**://广告.cn^*/广告*", "**://~.广告.cn^*/广告*"})) << declaration;
    }
}

TEST(SiteListConvert, UnusableFilesGiveNoRulesAtAll) {
    const Text documents[] = {
        "",                                                       // missing or unreadable file
        "<SP/>",                                                  // names compare exactly
        "<?xml version=\"1.0\" encoding=\"utf-8\"?><Sp></Sp>",
        "<sites><site d='*'/></sites>",
        "<sp><site d='*'>",                                       // truncated
        "<sp><site d='*'></sp>",                                  // mismatched
        "<sp><site d='*'><blacklist><i mode='0'>&bad;</i></blacklist></site></sp>",
        "?<?xml version=\"1.0\" encoding=\"utf-8\"?><sp/>",      // a byte-order mark left in
        Text("<sp>\0</sp>", 10),                                  // the text ends at its NUL
    };
    for (const Text& document : documents) {
        XmlReader reader;
        ASSERT_TRUE(reader.Load("<sp/>"));
        SiteListRules rules{"old", "old"};
        EXPECT_FALSE(ConvertSiteListText(document, reader, rules)) << document;
        EXPECT_EQ(rules.blockRules, "") << document;
        EXPECT_EQ(rules.whiteRules, "") << document;
        EXPECT_FALSE(reader.HasDocument()) << document;
    }
}

TEST(SiteListEntry, AppendsEachRuleWithItsLineEnd) {
    SiteListRules rules;
    ConvertSiteEntry("example.com", 1, "/ad", 0, kSiteBlacklist, rules);
    EXPECT_EQ(rules.blockRules, "**://example.com^*/ad*\r\n**://~.example.com^*/ad*\r\n");
    ConvertSiteEntry("", 0, "ads.net", 1, kSiteWhitelist, rules);
    EXPECT_EQ(rules.whiteRules, "**://ads.net^*\r\n**://~.ads.net^*\r\n");
    // The caller's host kind decides the site variant; 0 never gets one.
    ConvertSiteEntry("example.com", 0, "/x", 0, kSiteWhitelist, rules);
    EXPECT_EQ(rules.whiteRules, "**://ads.net^*\r\n**://~.ads.net^*\r\n**://example.com^*/x*\r\n");

    // Other list numbers and kinds give nothing.
    SiteListRules none;
    for (const int list : {0, 3, -1}) ConvertSiteEntry("", 1, "ads.net", 1, list, none);
    for (const int kind : {-1, 3, 100}) ConvertSiteEntry("", 1, "ads.net", kind, kSiteBlacklist, none);
    EXPECT_EQ(none.blockRules, "");
    EXPECT_EQ(none.whiteRules, "");
}

TEST(SiteListEntry, RepairsSchemeSlashes) {
    // ":/" becomes "://" and ":///" collapses back, so "://" passes unchanged.
    const struct {
        Text pattern;
        Text rule;
    } cases[] = {
        {"a:/b", "**://*a://b*"},
        {"a://b", "**://*a://b*"},
        {"a:///b", "**://*a:///b*"},
    };
    for (const auto& c : cases) {
        SiteListRules rules;
        ConvertSiteEntry("", 0, c.pattern, 0, kSiteBlacklist, rules);
        EXPECT_EQ(rules.blockRules, c.rule + "\r\n") << c.pattern;
    }
}

// The plain definition: cut the first "(?#" through the first ")" after it, search again
// from the start, until either is missing.
Text RemoveCommentsSlowly(Text text) {
    for (;;) {
        const size_t open = text.find("(?#");
        if (open == Text::npos) return text;
        const size_t close = text.find(')', open);
        if (close == Text::npos) return text;
        text.erase(open, close - open + 1);
    }
}

TEST(SiteListRegexComments, CutsEveryComment) {
    const struct {
        Text pattern, expected;
    } cases[] = {
        {"", ""},
        {"abc", "abc"},
        {"a(?#x)b", "ab"},
        {"(?#x)", ""},
        {"a(?#x)b(?#y)c", "abc"},
        {"a(?#x(?#y)b)c", "ab)c"},
        {"((?#x)?#y)z", "z"},        // the cut joins "(" and "?#y)" into a new comment
        {"((?#x)(?#y)?#z)w", "w"},
        {"(?(?#x)#y)z", "z"},        // "(?" and "#y)" join
        {"a(?#x", "a(?#x"},
        {"a(?#x)b(?#y", "ab(?#y"},
        {"a(?#)b", "ab"},
        {"a(?x)b", "a(?x)b"},
        {"a(#?)b", "a(#?)b"},
        {"广(?#告)告", "广告"},
    };
    for (const auto& c : cases) EXPECT_EQ(RemoveRegexComments(c.pattern), c.expected) << c.pattern;

    // Against the plain definition on every short text over the characters that matter.
    const char alphabet[] = "(?#)a";
    for (int length = 0; length <= 7; ++length) {
        int total = 1;
        for (int k = 0; k < length; ++k) total *= 5;
        for (int code = 0; code < total; ++code) {
            Text pattern;
            for (int k = 0, rest = code; k < length; ++k, rest /= 5) pattern += alphabet[rest % 5];
            ASSERT_EQ(RemoveRegexComments(pattern), RemoveCommentsSlowly(pattern)) << pattern;
        }
    }
}

TEST(SiteListRegexComments, LongPatternInOnePass) {
    // 200,000 comments in one entry: cutting them one rebuild at a time would take minutes.
    Text pattern;
    for (int k = 0; k < 200000; ++k) pattern += "a(?#c)";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RemoveRegexComments(pattern), Text(200000, 'a'));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(SiteListConvert, LargeListConvertsInLinearTime) {
    // About the size of the published list: 20,000 sites with three entries each.
    Text document = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<sp>\r\n";
    for (int k = 0; k < 20000; ++k) {
        const Text n = std::to_string(k);
        document += " <site d=\"site" + n + ".com\">\r\n  <whitelist><i mode=\"0\">/ok" + n +
                    "</i></whitelist>\r\n  <blacklist><i mode=\"0\">*/ad" + n + "/*</i><i mode=\"1\">(a|b)" + n +
                    ".example.net/</i></blacklist>\r\n </site>\r\n";
    }
    document += "</sp>\r\n";
    const auto start = std::chrono::steady_clock::now();
    XmlReader reader;
    SiteListRules rules;
    ASSERT_TRUE(ConvertSiteListText(document, reader, rules));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

    // Two rules per whitelist entry, four per site on the blacklist.
    EXPECT_EQ(std::count(rules.whiteRules.begin(), rules.whiteRules.end(), '\n'), 3 + 2 * 20000 - 1);
    EXPECT_EQ(std::count(rules.blockRules.begin(), rules.blockRules.end(), '\n'), 4 * 20000 - 1);
    const Text last = "**://b19999.example.net/*";
    EXPECT_EQ(rules.blockRules.substr(rules.blockRules.size() - last.size()), last);
}

}  // namespace
