// The model of the browser rule syntax: how a line parses, and which rule covers which, by hand
// cases for each form and each reason a rule has to stay.
#include <gtest/gtest.h>

#include "rules/engine/browser_rule.h"

namespace {

struct ParseCase {
    const char* line;
    RuleKind kind;
    AddressKind address;
    const char* host;
    const char* rest;
    const char* options;
    const char* selector;
};

TEST(BrowserRule, ParsesEachFormTheConvertersWrite) {
    using K = RuleKind;
    using A = AddressKind;
    const ParseCase cases[] = {
        {"**://example.com^*", K::Blocking, A::Host, "example.com", "^*", "", ""},
        {"**://ads.example.com/banner*", K::Blocking, A::Host, "ads.example.com", "/banner*", "", ""},
        {"**://example.com", K::Blocking, A::Host, "example.com", "", "", ""},
        {"**://1.2.3.4^*", K::Blocking, A::Host, "1.2.3.4", "^*", "", ""},
        {"**://ad*.example.com/x*", K::Blocking, A::Host, "ad", "*.example.com/x*", "", ""},
        {"**://~.example.com^*", K::Blocking, A::Domain, "example.com", "^*", "", ""},
        {"**://~.example.com/ads*", K::Blocking, A::Domain, "example.com", "/ads*", "", ""},
        {"**://*/ads/*", K::Blocking, A::Anywhere, "", "*/ads/*", "", ""},
        {"**://example.com^*$script", K::Blocking, A::Host, "example.com", "^*", "$script", ""},
        {"**://example.com^*$domain=ads.example.net", K::Blocking, A::Host, "example.com", "^*",
         "$domain=ads.example.net", ""},
        {"**://*-ad-banner.*$image", K::Blocking, A::Anywhere, "", "*-ad-banner.*", "$image", ""},
        {"**://example.com^*##.ad", K::Hiding, A::Host, "example.com", "^*", "", ".ad"},
        {"**://~.example.com^*##div.ad", K::Hiding, A::Domain, "example.com", "^*", "", "div.ad"},
        // A "$" after "##" belongs to the selector.
        {"**://*##a[href$=\".exe\"]", K::Hiding, A::Anywhere, "", "*", "", "a[href$=\".exe\"]"},
    };
    for (const ParseCase& c : cases) {
        const BrowserRule r = ParseBrowserRule(c.line);
        EXPECT_EQ(r.kind, c.kind) << c.line;
        EXPECT_EQ(r.address, c.address) << c.line;
        EXPECT_EQ(r.host(), c.host) << c.line;
        EXPECT_EQ(r.rest(), c.rest) << c.line;
        EXPECT_EQ(r.options(), c.options) << c.line;
        EXPECT_EQ(r.selector(), c.selector) << c.line;
    }
}

TEST(BrowserRule, LinesOfNoKnownFormAreUnparsed) {
    const char* const lines[] = {
        "",
        "! a comment",
        "@@||example.com^",
        "http://example.com/",
        "**:/example.com",
        "**://",
        "**://$script",
        "**://~example.com",  // "~" without "."
        "**://~.",
        "**://^ads",          // starts with no host
        "**:///ads",
        "**://例子.com/*",     // a host the model does not know
        "**://example.com##",  // no selector
        "**://##.ad",
    };
    for (const char* line : lines) EXPECT_EQ(ParseBrowserRule(line).kind, RuleKind::Unparsed) << line;
}

struct CoverCase {
    const char* s;
    const char* r;
    bool covers;
    const char* why;
};

void ExpectCovers(const std::vector<CoverCase>& cases) {
    for (const CoverCase& c : cases) {
        EXPECT_EQ(RuleCovers(ParseBrowserRule(c.s), ParseBrowserRule(c.r)), c.covers)
            << c.s << " over " << c.r << ": " << c.why;
    }
}

TEST(RuleCovers, HostRules) {
    ExpectCovers({
        {"**://a.com^*", "**://a.com/ads/*", true, "^ takes /, * takes the rest"},
        {"**://a.com^*", "**://a.com^ads^*", true, "^ takes ^"},
        {"**://a.com^ad*", "**://a.com?ad=1", true, "^ takes ?"},
        {"**://a.com*", "**://a.com^*", true, "* takes ^"},
        {"**://a.com*", "**://a.com", true, "* takes nothing"},
        {"**://a.com/ad*", "**://a.com/ad/x.js", true, "a longer literal"},
        {"**://a.com**", "**://a.com/*", true, "a doubled star"},
        {"**://a.com/*x*", "**://a.com/ab*cxd*", true, "a star returns past a false start"},
        {"**://a.com^*", "**://a.com", false, "^ does not take the end of the address"},
        {"**://a.com/*", "**://a.com^*", false, "a literal / does not take ^"},
        {"**://a.com/ad/*", "**://a.com/ad*", false, "only * takes *"},
        {"**://a.com^*", "**://a.com^x", true, "* takes a literal"},
        {"**://a.com^x", "**://a.com^*", false, "a literal does not take *"},
        {"**://a.com^*", "**://a.com.x^*", false, "another host"},
        {"**://a.com*", "**://a.com.cn^*", false, "a host rule covers only its own host"},
        {"**://a.com^*", "**://b.com^*", false, "another host"},
        {"**://a.com^*", "**://A.com^*", false, "letter case may matter to the browser"},
        {"**://a.com^*", "**://~.a.com^*", false, "a host rule does not cover its subdomains"},
        {"**://a.com^*", "**://a.com/ads*$script", false, "options differ"},
        {"**://a.com^*$script", "**://a.com/ads*$script", true, "the same options"},
        {"**://a.com^*$script", "**://a.com/ads*$script,image", false, "the same text only"},
        {"**://a.com^*", "**://a.com^*##.ad", false, "blocking does not cover hiding"},
    });
}

TEST(RuleCovers, DomainRules) {
    ExpectCovers({
        {"**://~.a.com^*", "**://ads.a.com^*", true, "a subdomain"},
        {"**://~.a.com^*", "**://x.ads.a.com/ad.js", true, "a deeper subdomain"},
        {"**://~.a.com*", "**://ads.a.com", true, "a subdomain's whole address"},
        {"**://~.a.com^*", "**://~.ads.a.com/x*", true, "the domain of a subdomain"},
        {"**://~.a.com^*", "**://~.a.com/x*", true, "its own domain, read the same way"},
        {"**://~.a.com^*", "**://a.com^*", false, "whether ~. includes the domain is not known"},
        {"**://~.a.com^*", "**://ads.a.com:8080/x*", true, "a port ends the host"},
        {"**://~.a.com^*", "**://ads.a.com*", false, "the host may run on: ads.a.com.cn"},
        {"**://~.a.com*", "**://ads.a.com*x", false, "the host may run on"},
        {"**://~.a.com^*", "**://xa.com^*", false, "not at a dot"},
        {"**://~.a.com^*", "**://~.xa.com^*", false, "not at a dot"},
        {"**://~.a.com/x*", "**://~.a.com^*", false, "a literal does not take ^"},
        {"**://~.ads.a.com^*", "**://~.a.com^*", false, "a subdomain does not cover its domain"},
        {"**://~.a.com^*$script", "**://ads.a.com^*$image", false, "options differ"},
    });
}

TEST(RuleCovers, AnywherePatterns) {
    ExpectCovers({
        {"**://*/ads/*", "**://a.com/ads/x.gif", true, "a host rule's whole text"},
        {"**://*/ads/*", "**://*/ads/banner*", true, "another anywhere pattern"},
        {"**://*^ads^*", "**://a.com/ads/x*", true, "^ takes / twice"},
        {"**://*ad*", "**://~.ad.com^*", true, "both readings of a ~. rule hold ad"},
        {"**://*a.com^*", "**://~.a.com^*", true, "a.com^ and *.a.com^"},
        {"**://*", "**://x.com/y", true, "everything"},
        {"**://*/ads/*", "**://a.com^ads/*", false, "a literal / does not take ^"},
        {"**://*.a.com^*", "**://~.a.com^*", false, "the domain's own address has no dot"},
        {"**://*ads*", "**://*ad*", false, "a longer literal"},
        {"**://*ad", "**://*ad*", false, "only * takes *"},
        {"**://*", "**://a.com^*$script", false, "options differ"},
        {"**://*/ad*", "**://*ad*", false, "the leading * of the covered one"},
    });
}

TEST(RuleCovers, DoubleByteCharactersAreOneCharacter) {
    // "\xB0\x5E" is one GBK character whose second byte is the code of "^".
    ExpectCovers({
        {"**://*广告*", "**://a.com/广告/*", true, "the same characters"},
        {"**://*^x*", "**://a.com/\xB0\x5Ex*", false, "a trail byte is no separator"},
        {"**://*\xB0*", "**://a.com/\xB0\x5E", false, "a lead byte alone is no character"},
    });
}

TEST(RuleCovers, HidingRules) {
    ExpectCovers({
        {"**://*##.ad", "**://a.com^*##.ad", true, "the generic rule hides it everywhere"},
        {"**://*##.ad", "**://~.a.com^*##.ad", true, "also for a domain"},
        {"**://*##.ad", "**://a.com^*##.ad2", false, "another selector"},
        {"**://*##.ad", "**://a.com^*##.AD", false, "selectors compare exactly"},
        {"**://a.com^*##.ad", "**://a.com/x*##.ad", false, "only the generic rule covers"},
        {"**://~.a.com^*##.ad", "**://b.a.com^*##.ad", false, "only the generic rule covers"},
        {"**://*", "**://a.com^*##.ad", false, "blocking does not cover hiding"},
        {"**://*##.ad", "**://a.com^*", false, "hiding does not cover blocking"},
    });
}

TEST(BrowserRule, LongestLiteralRun) {
    EXPECT_EQ(LongestLiteralRun("*/ads/*"), "/ads/");
    EXPECT_EQ(LongestLiteralRun("*ad^banner^*"), "banner");
    EXPECT_EQ(LongestLiteralRun("*^*"), "");
    EXPECT_EQ(LongestLiteralRun("*ab*cd*"), "ab");  // the first of equal ones
    EXPECT_EQ(LongestLiteralRun("*\xB0\x5E*"), "\xB0\x5E");  // not cut at a trail byte
}

}  // namespace
