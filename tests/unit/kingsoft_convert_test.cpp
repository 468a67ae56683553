// Conversion of the Kingsoft URL blacklists into browser rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/rule_list.h"
#include "rules/sources/kingsoft_convert.h"

namespace {

// The converter's output form: every rule preceded by CR LF.
Text Rules(const std::vector<Text>& rules) {
    Text out;
    for (const Text& rule : rules) out += kCrLf + rule;
    return out;
}

struct LineCase {
    Text line;
    std::vector<Text> rules;
};

void ExpectEachLine(const std::vector<LineCase>& cases) {
    for (const LineCase& c : cases) EXPECT_EQ(ConvertKingsoftList(c.line), Rules(c.rules)) << c.line;
}

TEST(KingsoftConvert, WorkedExamples) {
    ExpectEachLine({
        {"1,0,*.example.com/ad/*,1", {"**://*.example.com/ad/*"}},
        {"example.com", {"**://example.com*", "**://~.example.com*"}},
        {"ads.example.com", {"**://ads.example.com*"}},
        {"www.example.com", {"**://www.example.com*"}},
        {"example.com/ads/", {"**://example.com/ads/*", "**://~.example.com/ads/*"}},
        {"example.com/ad.js", {"**://example.com/ad.js", "**://~.example.com/ad.js"}},
        {"http://example.com", {"**://example.com*"}},
        {"http://example.com/", {"**://example.com/^*"}},
        {"http://x.com/*", {"**://x.com/*"}},
        {"http:/example.com/a?b", {"**://example.com/a*b*"}},
        {".example.com", {"**://~.example.com*"}},
        {"*example.com*", {"**://*example.com*"}},
        {"1.2.3.4", {"**://1.2.3.4*"}},
        {"foo/bar", {"**://*foo/bar*"}},
        {"abc.com/?x=1", {"**://abc.com/*x=1*", "**://~.abc.com/*x=1*"}},
        {"http://localhost", {}},
        {"??abc", {}},
        {"a.cn", {}},
        {"ad", {}},
        {"/ad/", {}},
        {"", {}},
    });
}

TEST(KingsoftConvert, ClosingSlashWithAndWithoutScheme) {
    ExpectEachLine({
        {"http://example.com/", {"**://example.com/^*"}},
        {"example.com/", {"**://example.com/*", "**://~.example.com/*"}},
        {"http://example.com/ads", {"**://example.com/ads*"}},
        {"http://example.com/ad.gif", {"**://example.com/ad.gif"}},
        {"http://1.2.3.4", {"**://1.2.3.4*"}},
    });
}

TEST(KingsoftConvert, NumericFieldsNeedTheirExactShape) {
    ExpectEachLine({
        {"example.com,1", {"**://example.com*", "**://~.example.com*"}},
        {"1,0,example.com", {"**://example.com*", "**://~.example.com*"}},
        {"1,0,example.com,9", {"**://example.com*", "**://~.example.com*"}},
        // one leading field is not a prefix: the text stays and still ends in a host suffix
        {"5,example.com", {"**://5,example.com*", "**://~.5,example.com*"}},
        // a two-digit trailing field is not a suffix
        {"example.com,12", {"**://*example.com,12*"}},
        {"a,0,example.com", {"**://a,0,example.com*", "**://~.a,0,example.com*"}},
        {"1,2,", {}},
        {",5", {}},
    });
}

TEST(KingsoftConvert, WildcardsFoldAndDoubleQuestionMarksDropTheLine) {
    ExpectEachLine({
        {"ads.example.com/a?b", {"**://ads.example.com/a*b*"}},
        {"ads.example.com/a***b", {"**://ads.example.com/a*b*"}},
        {"ads.example.com/a*?*?b", {"**://ads.example.com/a*b*"}},
        {"ads.example.com/a?*?", {"**://ads.example.com/a*"}},
        {"ads.example.com/a??", {}},
        {"1,0,??,1", {}},
    });
}

TEST(KingsoftConvert, PatternsOfWildcardsAndSeparatorsAreTooShort) {
    ExpectEachLine({{"*?*", {}}, {"/*/", {}}, {"*", {}}, {"?", {}}, {"//", {}}, {"http://", {}}, {"://", {}}});
}

TEST(KingsoftConvert, SubdomainRuleOnlyForBareNamedDomains) {
    ExpectEachLine({
        {"example.com.cn", {"**://example.com.cn*", "**://~.example.com.cn*"}},
        {"ads.example.com.cn", {"**://ads.example.com.cn*"}},
        {"1.2.3.4/ad/", {"**://1.2.3.4/ad/*"}},
        {"ads.example.com/x", {"**://ads.example.com/x*"}},
        {"www1.example.com/x.js", {"**://www1.example.com/x.js"}},
        {".example.com/ad/", {"**://~.example.com/ad/*"}},
        {"*.example.com", {"**://*.example.com*"}},
    });
}

TEST(KingsoftConvert, LinesKeepTheirOrderAndSpacing) {
    const Text list = "1,0,example.com,1\r\nhttp://localhost\r\n??x\r\nads.example.com\r\nfoo/bar\r\n";
    EXPECT_EQ(ConvertKingsoftList(list),
              Rules({"**://example.com*", "**://~.example.com*", "**://ads.example.com*", "**://*foo/bar*"}));
    EXPECT_EQ(ConvertKingsoftList(""), "");
    EXPECT_EQ(ConvertKingsoftList("\r\n\r\n"), "");
}

// Lines ended by LF alone are lines too. Taken as one line, the whole list would become a single
// rule with line breaks inside it, which later splits into fragments that are no rules at all.
TEST(KingsoftConvert, LineFeedAloneEndsALine) {
    const Text crlf = ConvertKingsoftList("example.com\r\nads.example.com\r\nfoo/bar");
    EXPECT_EQ(ConvertKingsoftList("example.com\nads.example.com\nfoo/bar"), crlf);
    EXPECT_EQ(ConvertKingsoftList("example.com\nads.example.com\r\nfoo/bar\n"), crlf);
}

TEST(KingsoftConvert, DoubleByteTextIsCountedInBytes) {
    ExpectEachLine({
        {"http://中文.cn", {"**://中文.cn*"}},
        {"广告.cn/x", {"**://广告.cn/x*", "**://~.广告.cn/x*"}},
        {"广告条", {"**://*广告条*"}},
        {"广告", {}},  // two characters are four bytes: too short
    });
}

TEST(KingsoftConvert, HostileLinesNeverBreakTheConversion) {
    EXPECT_EQ(ConvertKingsoftList(Text(100000, '*')), "");
    EXPECT_EQ(ConvertKingsoftList(Text(100000, '?')), "");
    EXPECT_EQ(ConvertKingsoftList("ads.example.com/" + Text(100001, '*') + "x"), Rules({"**://ads.example.com/*x*"}));
    // A line of a megabyte is one rule like any other, and the next line is still read.
    const Text megabyte = "ads.example.com/" + Text(1 << 20, 'a');
    EXPECT_EQ(ConvertKingsoftList(megabyte + "\r\nb.example.com/x/*\r\n"),
              Rules({"**://" + megabyte + "*", "**://b.example.com/x/*"}));
    // five thousand dots in a row make a "dotted number": no "~." rule
    const Text longDots = "a" + Text(5000, '.') + "b.com/x";
    EXPECT_EQ(ConvertKingsoftList(longDots), Rules({"**://" + longDots + "*"}));
    for (const Text& odd : {Text("\xB0"), Text(",", 1), Text("1,"), Text("1,2"), Text("\xB0,1"),
                            Text(":/"), Text(":///"), Text("\0\0", 2), Text("\r"), Text("\xFF\xFF:/")}) {
        ConvertKingsoftList(odd);  // must not crash nor read out of range
    }
}

struct ShortCase {
    Text rule;
    bool tooShort;
};

TEST(KingsoftTooShort, WhatIsLeftOnceMarksAreStripped) {
    const ShortCase cases[] = {
        {"**://x.com*", false},
        {"**://a.cn*", true},
        {"**://~.a.cn*", true},
        {"**://~.ab.cn*", false},
        {"**://*ad*", true},
        {"**://*/ad/*", true},
        {"**://*", true},
        {"", true},
        {"**://ads.js", true},  // 'ads&'
        {"**://example.com/ad.js", false},  // 'example.comad&'
        {"**://*.js", true},
        {"**://a..b..c*", false},  // 'a.b.c'
        {"**://a....b*", true},  // 'a.b'
        {"**://a/b/c/d/e", false},
        {"**://abcd**", true},  // one star goes with the end, the other with the stripping
        // the scheme mark is only cut when nothing in front of it looks like a query
        {"ab://c", true},
        {"a=b://c", false},
        {"a?b://c", false},
        {"a&b://c", false},
        {"a%b://c", false},
        {"a=b://~.c", true},  // "://~." is cut whatever stands in front of it
    };
    for (const ShortCase& c : cases) EXPECT_EQ(IsTooShortRule(c.rule), c.tooShort) << c.rule;
}

TEST(KingsoftConvert, ListPath) {
    EXPECT_EQ(KingsoftListPath("761e39dc276111df8e7700215a45ab18"),
              "/filerule/download/blackurl_rule/761e39dc276111df8e7700215a45ab18/");
}

TEST(KingsoftConvert, AppendListNeedsAHundredBytes) {
    const Text first = kCrLf + "**://" + Text(95, 'a');  // 102 bytes
    const Text second = kCrLf + "**://" + Text(93, 'b');  // exactly 100 bytes
    const Text tooShort = kCrLf + "**://" + Text(92, 'c');  // 99 bytes
    ASSERT_EQ(second.size(), 100u);
    ASSERT_EQ(tooShort.size(), 99u);

    Text bucket;
    EXPECT_FALSE(AppendKingsoftList(bucket, ""));
    EXPECT_FALSE(AppendKingsoftList(bucket, tooShort));
    EXPECT_EQ(bucket, "");

    ASSERT_TRUE(AppendKingsoftList(bucket, first));
    EXPECT_EQ(bucket, kCrLf + "**://" + Text(95, 'a'));  // an empty bucket leaves a leading CR LF

    EXPECT_FALSE(AppendKingsoftList(bucket, tooShort));
    EXPECT_EQ(bucket, kCrLf + "**://" + Text(95, 'a'));

    ASSERT_TRUE(AppendKingsoftList(bucket, second));
    EXPECT_EQ(bucket, "**://" + Text(95, 'a') + kCrLf + "**://" + Text(93, 'b'));  // no blank line
}

// A list as long as the real ones converts line by line into the expected rules.
TEST(KingsoftConvert, LargeList) {
    Text list, expected;
    for (int i = 0; i < 57000; ++i) {
        const std::string n = std::to_string(i);
        switch (i % 3) {
            case 0:
                list += "1,0,ads" + n + ".example.com,1\r\n";
                expected += kCrLf + "**://ads" + n + ".example.com*";
                break;
            case 1:
                list += "site" + n + ".com/ad/\r\n";
                expected += kCrLf + "**://site" + n + ".com/ad/*" + kCrLf + "**://~.site" + n + ".com/ad/*";
                break;
            default:
                list += "http://x" + n + ".cn/?a\r\n";
                expected += kCrLf + "**://x" + n + ".cn/*a*";
                break;
        }
    }
    EXPECT_EQ(ConvertKingsoftList(list), expected);
}

}  // namespace
