// Conversion of the ChinaList Lazy list (Adblock Plus syntax) into the three rule buckets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/rule_list.h"
#include "rules/sources/chinalist_convert.h"

namespace {

const Text kHeader = "[Adblock Plus 2.0]";

// The bucket form: rules separated by CR LF, nothing before the first or after the last.
Text Join(const std::vector<Text>& rules) {
    Text out;
    for (const Text& rule : rules) out += (out.empty() ? "" : kCrLf) + rule;
    return out;
}

// Collects what the step would show in message boxes.
struct MessageLog {
    std::vector<Text> shown;
    ShowMessageFn Fn() {
        return [this](const Text& text) { shown.push_back(text); };
    }
};

enum class Bucket { None, Block, White, Hide };

struct LineCase {
    Text line;
    Bucket bucket;
    std::vector<Text> rules;
    std::vector<Text> messages;
};

void ExpectEachLine(const std::vector<LineCase>& cases) {
    for (const LineCase& c : cases) {
        MessageLog log;
        const ChinaListBuckets out = ConvertChinaList(kHeader + kCrLf + c.line, log.Fn());
        const Text expected = Join(c.rules);
        EXPECT_EQ(out.block, c.bucket == Bucket::Block ? expected : "") << c.line;
        EXPECT_EQ(out.white, c.bucket == Bucket::White ? expected : "") << c.line;
        EXPECT_EQ(out.hide, c.bucket == Bucket::Hide ? expected : "") << c.line;
        EXPECT_EQ(log.shown, c.messages) << c.line;
    }
}

TEST(ChinaListConvert, WorkedExamples) {
    ExpectEachLine({
        {"||ads.example.com^", Bucket::Block, {"**://ads.example.com^*"}, {}},
        {"||example.com^", Bucket::Block, {"**://example.com^*", "**://~.example.com^*"}, {}},
        {"||example.com/ads/", Bucket::Block, {"**://example.com/ads/*", "**://~.example.com/ads/*"}, {}},
        {"||1.2.3.4^", Bucket::Block, {"**://1.2.3.4^*"}, {}},
        {"||example.com|", Bucket::Block, {"**://example.com", "**://~.example.com"}, {}},
        {"/ads/banner.gif", Bucket::Block, {"**://*/ads/banner.gif"}, {}},
        {"-ad-banner.", Bucket::Block, {"**://*-ad-banner.*"}, {}},
        {"*/ads/*", Bucket::Block, {"**://*/ads/*"}, {}},
        {".example.com/ad/", Bucket::Block, {"**://~.example.com/ad/*"}, {}},
        {"|http://example.com/ad.js", Bucket::Block, {"**://example.com/ad.js"}, {}},
        {"||example.com^$script", Bucket::Block, {"**://example.com^*$script", "**://~.example.com^*$script"}, {}},
        {"||example.com$script", Bucket::Block, {"**://example.com^*$script", "**://~.example.com^*$script"}, {}},
        {"||example.com^$~third-party,script", Bucket::Block,
         {"**://example.com^*$script", "**://~.example.com^*$script"}, {}},
        {"||example.com^$third-party", Bucket::None, {}, {}},
        {"@@||example.com/ok/", Bucket::White, {"**://example.com/ok/*", "**://~.example.com/ok/*"}, {}},
        {"@@||example.com^$document", Bucket::None, {}, {}},
        {"example.com##.ad", Bucket::Hide, {"**://example.com^*##.ad", "**://~.example.com^*##.ad"}, {}},
        {"a.com,~b.com##div.ad", Bucket::Hide, {"**://a.com^*##div.ad", "**://~.a.com^*##div.ad"}, {}},
        {"*##.ad", Bucket::Hide, {"**://*##.ad"}, {}},
        {"##.ad", Bucket::None, {}, {}},
        {",x.com##.ad", Bucket::Hide, {"**://*##.ad", "**://x.com^*##.ad", "**://~.x.com^*##.ad"}, {"##.ad"}},
        {"! comment", Bucket::None, {}, {}},
    });
}

TEST(ChinaListConvert, FiltersOfEveryShape) {
    ExpectEachLine({
        {"||ads.example.com|", Bucket::Block, {"**://ads.example.com"}, {}},
        {"@@||example.com^", Bucket::White, {"**://example.com^*", "**://~.example.com^*"}, {}},
        {"||example.com^$third-party,popup", Bucket::None, {}, {}},
        {"||example.com^$popup,script", Bucket::Block, {"**://example.com^*$script", "**://~.example.com^*$script"}, {}},
        {"||example.com^$Third-Party", Bucket::None, {}, {}},
        {"||example.com^$script,otherfoo", Bucket::Block,
         {"**://example.com^*$scriptfoo", "**://~.example.com^*$scriptfoo"}, {}},
        {"||example.com^$domain=a.com|b.com", Bucket::Block,
         {"**://example.com^*$domain=a.com|b.com", "**://~.example.com^*$domain=a.com|b.com"}, {}},
        // without "^" the closing "*" hides the host from the suffix test
        {"||example.com", Bucket::Block, {"**://*example.com*"}, {}},
        {"||example.com.cn^", Bucket::Block, {"**://example.com.cn^*", "**://~.example.com.cn^*"}, {}},
        {"||www.example.com/", Bucket::Block, {"**://www.example.com/*"}, {}},
        {"||1.2.3.4/ad", Bucket::Block, {"**://1.2.3.4/ad*"}, {}},
        {"||adserver^", Bucket::Block, {"**://*adserver^*"}, {}},
        {"|ads.", Bucket::Block, {"**://ads.*"}, {}},
        {"http://example.com/ad", Bucket::Block, {"**://example.com/ad*"}, {}},
        {"|http:/example.com/ad", Bucket::Block, {"**://example.com/ad*"}, {}},
        {".example.com^$image", Bucket::Block, {"**://~.example.com^*$image"}, {}},
        {"/ads/*$script", Bucket::Block, {"**://*/ads/*$script"}, {}},
        {"banner", Bucket::Block, {"**://*banner*"}, {}},
        {"example.com/ad.gif|", Bucket::Block, {"**://example.com/ad.gif", "**://~.example.com/ad.gif"}, {}},
        // element-hiding exceptions hold no "##": they are taken as blocking filters
        {"example.com#@#.ad", Bucket::Block, {"**://*example.com#@#.ad*"}, {}},
        {"  ||ads.example.com^ \t", Bucket::Block, {"**://ads.example.com^*"}, {}},
        {"   ! indented comment", Bucket::None, {}, {}},
        {"@@", Bucket::None, {}, {}},
        {"$third-party", Bucket::None, {}, {}},
    });
}

TEST(ChinaListConvert, ElementHidingDomainLists) {
    ExpectEachLine({
        {"a.com,,b.com##.ad", Bucket::Hide,
         {"**://a.com^*##.ad", "**://~.a.com^*##.ad", "**://*##.ad", "**://b.com^*##.ad", "**://~.b.com^*##.ad"},
         {"##.ad"}},
        {"a.com,##.ad", Bucket::Hide, {"**://a.com^*##.ad", "**://~.a.com^*##.ad"}, {}},
        {"ads.a.com,~b.com,c.com.cn##div#x", Bucket::Hide,
         {"**://ads.a.com^*##div#x", "**://c.com.cn^*##div#x", "**://~.c.com.cn^*##div#x"}, {}},
        {"~a.com,~b.com##.ad", Bucket::None, {}, {}},
        {"a.com##x##y", Bucket::Hide, {"**://a.com^*##x##y", "**://~.a.com^*##x##y"}, {}},
        {"*,a.com##.ad", Bucket::Hide, {"**://*##.ad", "**://a.com^*##.ad", "**://~.a.com^*##.ad"}, {}},
    });
}

TEST(ChinaListConvert, FirstLineIsAlwaysTheHeader) {
    MessageLog log;
    // an ordinary filter in the first line is lost
    EXPECT_EQ(ConvertChinaList("||example.com^\r\n||ads.example.com^", log.Fn()).block, "**://ads.example.com^*");
    // after a leading empty line the header is an ordinary line
    EXPECT_EQ(ConvertChinaList("\r\n" + kHeader + "\r\n||ads.example.com^", log.Fn()).block,
              Join({"**://*[Adblock Plus 2.0]*", "**://ads.example.com^*"}));
    EXPECT_EQ(ConvertChinaList(kHeader, log.Fn()).block, "");
    const ChinaListBuckets empty = ConvertChinaList("", log.Fn());
    EXPECT_EQ(empty.block + empty.white + empty.hide, "");
    EXPECT_TRUE(log.shown.empty());
}

TEST(ChinaListConvert, AnyLineEndAndBlankLines) {
    const std::vector<Text> lines = {kHeader, "||ads.example.com^", "@@||ok.example.com^", "example.com##.ad"};
    const std::vector<Text> ends = {"\r\n", "\n", "\r", "\r\n\r\n", "\n\n\n", "\r\r\r\n"};
    const ChinaListBuckets expected = {Join({"**://ads.example.com^*"}), Join({"**://ok.example.com^*"}),
                                       Join({"**://example.com^*##.ad", "**://~.example.com^*##.ad"})};
    for (const Text& end : ends) {
        Text list;
        for (const Text& line : lines) list += line + end;
        MessageLog log;
        const ChinaListBuckets out = ConvertChinaList(list, log.Fn());
        EXPECT_EQ(out.block, expected.block) << end.size();
        EXPECT_EQ(out.white, expected.white) << end.size();
        EXPECT_EQ(out.hide, expected.hide) << end.size();
    }
}

TEST(ChinaListConvert, SortingIntoRawBuckets) {
    const ChinaListBuckets raw = SortChinaListLines(kHeader +
                                                    "\n! comment\n@@||a.com^\n||b.com^\n"
                                                    "a.com,~b.com,c.com##x\n#@#y\n,d.com##z\n##generic\n");
    EXPECT_EQ(raw.white, "\r\n||a.com^");
    EXPECT_EQ(raw.block, "\r\n||b.com^\r\n#@#y");
    EXPECT_EQ(raw.hide, "\r\na.com##x\r\nc.com##x\r\n##z\r\nd.com##z");
}

struct StripCase {
    Text line, expected;
};

TEST(ChinaListOptions, StripAbpOptions) {
    const StripCase cases[] = {
        {"||a.com^", "||a.com^"},
        {"||a.com^$script", "||a.com^*$script"},
        {"||a.com$script", "||a.com^*$script"},
        {"||1.2.3.4$script", "||1.2.3.4^*$script"},
        {"/ad$image", "/ad*$image"},
        {"/ads/*$script", "/ads/*$script"},
        {"$script", "*$script"},
        {"||a.com^$popup,script", "||a.com^*$script"},
        {"||a.com^$script,popup", "||a.com^*$script"},
        {"||a.com^$script,popup,image", "||a.com^*$script,image"},
        {"||a.com^$image,~image,script", "||a.com^*$script"},
        {"||a.com^$script,image,~image", "||a.com^*$script"},
        {"||a.com^$image", "||a.com^*$image"},
        {"||a.com^$~image", "||a.com^*$~image"},
        {"||a.com^$script,otherfoo", "||a.com^*$scriptfoo"},
        {"||a.com^$THIRD-PARTY,SCRIPT", "||a.com^*$SCRIPT"},
        {"||a.com^$third-party,popup", ""},
        {"||a.com^$~subdocument,~document,subdocument,document", ""},
        {"||a.com^$image,~image", ""},
        {"$", ""},
        {"x$", ""},
        // the table order shows: "donottrack" goes before "popup"
        {"||a.com^$donottrackpopup", ""},
    };
    for (const StripCase& c : cases) EXPECT_EQ(StripAbpOptions(c.line), c.expected) << c.line;
}

TEST(ChinaListOptions, EveryRemovableOptionAloneDropsTheFilter) {
    const char* const options[] = {
        "~third-party", "~match-case", "~collapse", "~stylesheet", "~subdocument", "~document",
        "~other",       "donottrack",  "popup",     "image,~image", "third-party", "match-case",
        "collapse",     "stylesheet",  "subdocument", "document",   "other",
    };
    for (const char* option : options) {
        const Text name = option;
        EXPECT_EQ(StripAbpOptions("||a.com^$" + name), "") << name;
        EXPECT_EQ(StripAbpOptions("||a.com^$" + ToUpperAscii(name)), "") << name;
        EXPECT_EQ(StripAbpOptions("||a.com^$script," + name), "||a.com^*$script") << name;
        EXPECT_EQ(StripAbpOptions("||a.com^$" + name + ",script"), "||a.com^*$script") << name;
    }
}

TEST(ChinaListOptions, CloseAbpPattern) {
    const StripCase cases[] = {
        {"||a.com^*$script", "||a.com^*$script"},
        {"/ads/*", "/ads/*"},
        {"||a.com|", "||a.com"},
        {"/ad.js|", "/ad.js"},
        {"|", ""},
        {"/banner.gif", "/banner.gif"},
        {"/x.shtml", "/x.shtml"},
        {"/ads", "/ads*"},
        {"||a.com^", "||a.com^*"},
        {"/AD.JS", "/AD.JS*"},
        // "|" as the second byte of a double-byte character is no end anchor.
        {"/\x81\x7C", "/\x81\x7C*"},
        {"/\x81\x7C|", "/\x81\x7C"},
    };
    for (const StripCase& c : cases) EXPECT_EQ(CloseAbpPattern(c.line), c.expected) << c.line;
}

TEST(ChinaListConvert, HidingRulesFromRawLines) {
    MessageLog log;
    const Text raw = "\r\n*##x\r\n##y\r\nno-mark\r\n\r\n  a.com##z  \r\nads.a.com##w\r\na.com##";
    EXPECT_EQ(ConvertHidingRules(raw, log.Fn()),
              Join({"**://*##x", "**://*##y", "**://a.com^*##z", "**://~.a.com^*##z", "**://ads.a.com^*##w",
                    "**://a.com^*##", "**://~.a.com^*##"}));
    EXPECT_EQ(log.shown, std::vector<Text>{"##y"});
    // without a message callback the rule is still converted
    EXPECT_EQ(ConvertHidingRules("##y", ShowMessageFn()), "**://*##y");
    EXPECT_EQ(ConvertHidingRules("", log.Fn()), "");
}

TEST(ChinaListConvert, UrlRulesFromRawLines) {
    EXPECT_EQ(ConvertAbpUrlRules("\r\n||ads.example.com^\r\n\r\n  \r\n||x.com^$popup\r\n/ads/\r\n"),
              Join({"**://ads.example.com^*", "**://*/ads/*"}));
    EXPECT_EQ(ConvertAbpUrlRules(""), "");
}

TEST(ChinaListConvert, HostileLinesNeverBreakTheConversion) {
    MessageLog log;
    const Text odd[] = {"|",     "||",     "|||",    "$",      "$$",       "||$",     "##",   "@@##",
                        ",##",   ",,,##x", "||^",    "||/",    "://",      ":/",      "\xB0", "\xB0$",
                        "||\xB0", "\xB0##", "|\xB0|", "x\xB0.js", Text(50000, '$'), Text(50000, ','),
                        "||" + Text(20000, '.') + "com^"};
    for (const Text& line : odd) ConvertChinaList(kHeader + "\n" + line, log.Fn());  // must not crash
    EXPECT_EQ(ConvertChinaList(kHeader + "\n" + Text(50000, '*') + "\n", log.Fn()).block,
              "**://" + Text(50000, '*'));
    // A filter of a megabyte converts, and the line after it too.
    const Text megabyte(1 << 20, 'a');
    const Text block = ConvertChinaList(kHeader + "\n||ads.example.com/" + megabyte + "\n||next.example.com^\n", log.Fn()).block;
    EXPECT_TRUE(Contains(block, megabyte));
    EXPECT_TRUE(Contains(block, "next.example.com"));
}

// A list as long as the real ones converts line by line into the expected buckets.
TEST(ChinaListConvert, LargeList) {
    Text list = kHeader + "\r\n", block, white, hide;
    auto add = [](Text& bucket, const Text& rule) { bucket += (bucket.empty() ? "" : kCrLf) + rule; };
    for (int i = 0; i < 57000; ++i) {
        const std::string n = std::to_string(i);
        switch (i % 4) {
            case 0:
                list += "||ads" + n + ".example.com^\r\n";
                add(block, "**://ads" + n + ".example.com^*");
                break;
            case 1:
                list += "@@||ok" + n + ".com/path/\r\n";
                add(white, "**://ok" + n + ".com/path/*");
                add(white, "**://~.ok" + n + ".com/path/*");
                break;
            case 2:
                list += "site" + n + ".com,~skip.com##.ad\r\n";
                add(hide, "**://site" + n + ".com^*##.ad");
                add(hide, "**://~.site" + n + ".com^*##.ad");
                break;
            default:
                list += "! comment " + n + "\r\n";
                break;
        }
    }
    MessageLog log;
    const ChinaListBuckets out = ConvertChinaList(list, log.Fn());
    EXPECT_EQ(out.block, block);
    EXPECT_EQ(out.white, white);
    EXPECT_EQ(out.hide, hide);
    EXPECT_TRUE(log.shown.empty());
}

}  // namespace
