// The host, file-type and URL-pattern predicates behind every rule converter.
#include <gtest/gtest.h>

#include "rules/engine/host_check.h"
#include "rules/engine/url_pattern.h"

namespace {

const char* const kHostSuffixes[] = {
    ".name", ".info", ".com", ".edu", ".gov", ".net", ".org", ".biz", ".cn", ".hk", ".tw", ".cc",
    ".tv",   ".us",   ".uk",  ".co",  ".jp",  ".in",  ".me",  ".be",  ".nl", ".de", ".to",
};

const char* const kFileTypes[] = {
    ".shtml", ".html", ".smjs", ".htm", ".css", ".xml", ".jpg",
    ".gif",   ".png",  ".ico",  ".swf", ".exe", ".vbs", ".js",
};

TEST(HostCheck, EveryKnownSuffixNamesAHost) {
    for (const char* suffix : kHostSuffixes) {
        EXPECT_EQ(HostCheck(Text("ads.example") + suffix), 1) << suffix;
        EXPECT_EQ(HostCheck(suffix), 1) << suffix;  // shorter than the table: compared whole
        EXPECT_EQ(HostCheck(Text(suffix).substr(1)), -1) << suffix;
    }
}

struct IntCase {
    Text text;
    int expected;
};

TEST(HostCheck, OnlyTheExactTailCounts) {
    const IntCase cases[] = {
        {"", -1},
        {"cn", -1},
        {"example.com", 1},
        {"http://ads.example.com", 1},
        {"example.com.cn", 1},
        {"example.co", 1},
        {"example.com/", -1},
        {"example.com^", -1},
        {"example.com*", -1},
        {"example.COM", -1},
        {"EXAMPLE.COM", -1},
        {"example.cnn", -1},
        {"examplename", -1},
        {"example.mobi", -1},
        {"example.asia", -1},
        {"example.fr", -1},
        {"example.io", -1},
        {"http://localhost", -1},
        {"example.com:8080", -1},
        {"例子.cn", 1},
    };
    for (const IntCase& c : cases) EXPECT_EQ(HostCheck(c.text), c.expected) << c.text;
}

TEST(HostCheck, NumericAddressIsZeroUnlessASuffixMatchesFirst) {
    const IntCase cases[] = {
        {"1.2.3.4", 0},
        {"http://10.0.0.1:8080", 0},
        {"...", 0},
        {"1.2.3", -1},
        {"1.2.3.4.com", 1},  // the suffix tables are tested before the address
        {"1.2.3.4.cn", 1},
    };
    for (const IntCase& c : cases) EXPECT_EQ(HostCheck(c.text), c.expected) << c.text;
}

struct BoolCase {
    Text text;
    bool expected;
};

TEST(DottedNumber, ThreeDotsLeftOnceTheDigitsAreGone) {
    const BoolCase cases[] = {
        {"192.168.0.1", true},  {"10.0.0.1:8080", true}, {"1.2.3.4.5", true},
        {"ad1.2.3.4", true},    {"...", true},           {"0.9.5.7", true},
        {"1.2.3", false},       {"1.a.2.3", false},      {"", false},
        {"a.b.c.d", false},     {"1..2", false},
    };
    for (const BoolCase& c : cases) EXPECT_EQ(IsDottedNumber(c.text), c.expected) << c.text;
}

TEST(FileType, EveryKnownExtension) {
    for (const char* ext : kFileTypes) {
        EXPECT_TRUE(EndsWithFileType(Text("/ads/banner") + ext)) << ext;
        EXPECT_TRUE(EndsWithFileType(ext)) << ext;
    }
}

TEST(FileType, OnlyTheExactTailCounts) {
    const BoolCase cases[] = {
        {"x.shtml", true}, {"x.htm", true},    {"x.xhtml", false}, {"x.json", false},
        {"x.js*", false},  {"AD.JS", false},   {"x.Gif", false},   {"x.php", false},
        {"x.aspx", false}, {"x.jpeg", false},  {"x.shtm", false},  {"js", false},
        {"", false},       {"x.js?", false},   {"x.swf|", false},
    };
    for (const BoolCase& c : cases) EXPECT_EQ(EndsWithFileType(c.text), c.expected) << c.text;
}

TEST(UrlPattern, WithoutScheme) {
    const IntCase cases[] = {
        {"", 0},
        {" \t\r\n　", 0},
        {"example.com", 1},
        {" example.com ", 1},
        {"\texample.com\r\n", 1},
        {"1.2.3.4", 1},
        {"localhost", 0},
        {"example.com/ads", 2},
        {"example.com/", 2},  // a closing "/" is a path when there is no scheme
        {"1.2.3.4/x", 2},
        {"*.example.com/ad/*", 2},
        {"/ads/banner", 0},
        {"foo/bar", 0},
        {"*example.com*", 0},
    };
    for (const IntCase& c : cases) EXPECT_EQ(ClassifyUrlPattern(c.text), c.expected) << c.text;
}

TEST(UrlPattern, WithScheme) {
    const IntCase cases[] = {
        {"http://example.com", 1},
        {"http://localhost", -1},
        {"http://example.com:8080", -1},
        {"http://", -1},
        {"://", -1},
        {"http://example.com/", 1},
        {"http://example.com/*", 1},
        {" http://example.com/ ", 1},
        {"http://example.com/a", 2},
        {"http://foo/bar", 2},  // the host before a path is not tested
        {"http://example.com/**", 2},
        {"http://example.com/a*", 2},
        {"HTTP://1.2.3.4", 1},
    };
    for (const IntCase& c : cases) EXPECT_EQ(ClassifyUrlPattern(c.text), c.expected) << c.text;
}

TEST(Subdomain, WwwPrefixes) {
    const BoolCase cases[] = {
        {"www.example", true},
        {"www1.example", true},
        {"WWW.example", false},  // the prefix at the start is exact
        {"http://WWW.example", true},  // after a scheme the case is ignored
        {"http://www1.example", true},
        {"wwwexample.com", false},
        {"www2.example", false},
    };
    for (const BoolCase& c : cases) EXPECT_EQ(HasSubdomain(c.text), c.expected) << c.text;
}

TEST(Subdomain, DotsWithCompoundSuffixesDiscounted) {
    const BoolCase cases[] = {
        {"", false},
        {"example.com", false},
        {"http://example.com", false},
        {"example.com*", false},
        {"example.com^*$script", false},
        {"example.com.cn", false},
        {"example.com.tw", false},
        {"example.com.hk", false},
        {"example.co.jp", false},
        {"example.COM.CN", false},  // the suffix search ignores case
        {"ads.example.com", true},
        {"www.example.com", true},
        {"ads.example.com.cn", true},
        {"ads.example.com/", true},
        {"example.com/ad.js", true},  // dots after the host count too
        {"1.2.3.4", true},
        {"a.com.cn.com.cn", true},  // holds ".com.cn." as well: not discounted
        {"example.com.cn.", true},
        {"example.com.cn/a.b", true},
    };
    for (const BoolCase& c : cases) EXPECT_EQ(HasSubdomain(c.text), c.expected) << c.text;
}

}  // namespace
