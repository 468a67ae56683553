// The single-pass converters against the step-by-step ones (stepwise_converters.h) on the same
// inputs: random lists built from the pieces every rule of the conversions looks at (anchors,
// options, separators, suffixes, line ends, double-byte characters whose second byte looks like
// ASCII), the lists the mirror serves, and a real published list when one is given. Any
// difference in the bytes is a failure.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/encoding.h"
#include "common/xml_reader.h"
#include "rules/engine/host_check.h"
#include "rules/engine/url_pattern.h"
#include "rules/sources/chinalist_convert.h"
#include "rules/sources/kingsoft_convert.h"
#include "rules/sources/sitelist_convert.h"
#include "stepwise_converters.h"

namespace {

// Pieces of rule text. Bytes 0x81 and 0xB0 start double-byte characters; after one of them a
// "|", ",", "#", "$", "*", "/", ":", ".", "?", CR or LF is that character's second byte.
const char* const kPieces[] = {
    "a", "b", "x", "Z", "ad", "www.", "www1.", "WWW.", ".", "..", "...", "com", "cn", ".com", ".cn",
    ".net", ".info", ".com.cn", ".com.cn.", ".co.jp", ".js", ".gif", ".html", ".shtml", ".JS", "1",
    "2", "0", "9", "1.2.3.4", "/", "//", ":", ":/", "://", ":///", "http://", "|", "||", "^", "*",
    "**", "?", "??", "$", "$$", ",", ",,", "~", "@@", "@", "##", "#", "#@#", "!", " ", "  ", "\t",
    "\r", "\n", "\r\n", "\xA1\xA1", "\xB0\xA1", "\x81", "\x81\n", "\x81\r", "\x81|", "\x81,",
    "\x81#", "\x81$", "\x81*", "\x81/", "\x81:", "\x81.", "\x81?", "\xB0\x81", "\xFF", "(", "(?#",
    ")", "[", "\\", "=", "&", "%", "-", "_", "third-party", "~third-party", "popup", "image,~image",
    "image", "~image", "script", "document", "other", "otherfoo", "THIRD-PARTY", "Popup",
    "domain=", "~document", "subdocument", "donottrack", "match-case", "collapse", "stylesheet",
};

const char* const kLineEnds[] = {"\n", "\r\n", "\r", "\n\n", "\r\r\n", "\n\r"};

class RandomText {
public:
    explicit RandomText(unsigned seed) : rng_(seed) {}

    size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }

    Text Line() {
        Text line;
        const size_t pieces = 1 + Below(10);
        for (size_t i = 0; i < pieces; ++i) line += kPieces[Below(std::size(kPieces))];
        return line;
    }

    // A list of `lines` lines; some start with the shapes the converters branch on.
    Text List(size_t lines, const char* const* starts, size_t startCount) {
        Text list;
        for (size_t i = 0; i < lines; ++i) {
            if (Below(2) == 0) list += starts[Below(startCount)];
            list += Line();
            list += kLineEnds[Below(std::size(kLineEnds))];
        }
        if (Below(4) == 0 && !list.empty()) list.pop_back();  // no final line end
        return list;
    }

private:
    std::mt19937 rng_;
};

const char* const kAbpStarts[] = {"||", "|", "@@||", "@@", "*", ".", "!", "a.com,", "~a.com,", "##", "a.cn##",
                                  "*##", "||a.com^$", "/ad/"};
const char* const kKingsoftStarts[] = {"1,0,", "0,1,http://", "http://", "http:/", "*.", ".", "www.a.com/",
                                       "a.com/", "1.2.3.4"};

// What the ChinaList step produces for a list, message boxes included.
struct AbpResult {
    ChinaListBuckets buckets;
    std::vector<Text> messages;
};

template <typename Convert>
AbpResult RunAbp(Convert convert, const Text& list) {
    AbpResult r;
    r.buckets = convert(list, [&](const Text& m) { r.messages.push_back(m); });
    return r;
}

void ExpectSameAbp(const Text& list) {
    const AbpResult fast = RunAbp(ConvertChinaList, list);
    const AbpResult reference = RunAbp(stepwise::ConvertChinaList, list);
    ASSERT_EQ(fast.buckets.block, reference.buckets.block) << testing::PrintToString(list);
    ASSERT_EQ(fast.buckets.white, reference.buckets.white) << testing::PrintToString(list);
    ASSERT_EQ(fast.buckets.hide, reference.buckets.hide) << testing::PrintToString(list);
    ASSERT_EQ(fast.messages, reference.messages) << testing::PrintToString(list);
}

void ExpectSameKingsoft(const Text& list) {
    ASSERT_EQ(ConvertKingsoftList(list), stepwise::ConvertKingsoftList(list)) << testing::PrintToString(list);
}

void ExpectSameSiteList(const Text& document) {
    XmlReader fastReader, referenceReader;
    SiteListRules fast, reference;
    const bool loaded = ConvertSiteListText(document, fastReader, fast);
    ASSERT_EQ(LoadSiteList(document, referenceReader), loaded);
    if (loaded) stepwise::ConvertLoadedSiteList(referenceReader, reference);
    ASSERT_EQ(fast.blockRules, reference.blockRules) << testing::PrintToString(document);
    ASSERT_EQ(fast.whiteRules, reference.whiteRules) << testing::PrintToString(document);
}

Text ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Fixture(const std::string& name) { return std::string(QUORLEX_SOURCE_DIR) + "/tests/mirror/fixtures/" + name; }

TEST(ConvertersAgree, PredicatesOnRandomText) {
    RandomText random(1);
    for (int i = 0; i < 20000; ++i) {
        const Text t = random.Line();
        ASSERT_EQ(HostCheck(t), stepwise::HostCheck(t)) << testing::PrintToString(t);
        ASSERT_EQ(IsDottedNumber(t), stepwise::IsDottedNumber(t)) << testing::PrintToString(t);
        ASSERT_EQ(EndsWithFileType(t), stepwise::EndsWithFileType(t)) << testing::PrintToString(t);
        ASSERT_EQ(ClassifyUrlPattern(t), stepwise::ClassifyUrlPattern(t)) << testing::PrintToString(t);
        ASSERT_EQ(HasSubdomain(t), stepwise::HasSubdomain(t)) << testing::PrintToString(t);
        ASSERT_EQ(IsTooShortRule("**://" + t), stepwise::IsTooShortRule("**://" + t)) << testing::PrintToString(t);
        ASSERT_EQ(StripAbpOptions(t), stepwise::StripAbpOptions(t)) << testing::PrintToString(t);
        ASSERT_EQ(CloseAbpPattern(t), stepwise::CloseAbpPattern(t)) << testing::PrintToString(t);
        ASSERT_EQ(RemoveRegexComments(t), stepwise::RemoveRegexComments(t)) << testing::PrintToString(t);
    }
}

TEST(ConvertersAgree, AbpListsOnRandomText) {
    RandomText random(2);
    for (int i = 0; i < 6000; ++i) ExpectSameAbp(random.List(1 + random.Below(12), kAbpStarts, std::size(kAbpStarts)));
}

TEST(ConvertersAgree, AbpRawBucketsOnRandomText) {
    RandomText random(3);
    for (int i = 0; i < 6000; ++i) {
        const Text raw = random.List(1 + random.Below(8), kAbpStarts, std::size(kAbpStarts));
        ASSERT_EQ(ConvertAbpUrlRules(raw), stepwise::ConvertAbpUrlRules(raw)) << testing::PrintToString(raw);
        ASSERT_EQ(ConvertHidingRules(raw, nullptr), stepwise::ConvertHidingRules(raw, nullptr))
            << testing::PrintToString(raw);
        const ChinaListBuckets sorted = SortChinaListLines(raw), reference = stepwise::SortChinaListLines(raw);
        ASSERT_EQ(sorted.block + "|" + sorted.white + "|" + sorted.hide,
                  reference.block + "|" + reference.white + "|" + reference.hide)
            << testing::PrintToString(raw);
    }
}

TEST(ConvertersAgree, KingsoftListsOnRandomText) {
    RandomText random(4);
    for (int i = 0; i < 6000; ++i)
        ExpectSameKingsoft(random.List(1 + random.Below(12), kKingsoftStarts, std::size(kKingsoftStarts)));
}

TEST(ConvertersAgree, SiteListEntriesOnRandomText) {
    RandomText random(5);
    const Text domains[] = {"", "example.com", "www.example.com", "192.168.0.1", "http://x.com", "a\x81.cn"};
    for (int i = 0; i < 20000; ++i) {
        const Text pattern = random.Line();
        const Text& domain = domains[random.Below(std::size(domains))];
        const int hostKind = int(random.Below(3)) - 1, list = 1 + int(random.Below(2));
        const int kind = int(random.Below(4)) - 1;
        SiteListRules fast, reference;
        ConvertSiteEntry(domain, hostKind, pattern, kind, list, fast);
        stepwise::ConvertSiteEntry(domain, hostKind, pattern, kind, list, reference);
        ASSERT_EQ(fast.blockRules + "|" + fast.whiteRules, reference.blockRules + "|" + reference.whiteRules)
            << testing::PrintToString(domain) << " " << testing::PrintToString(pattern) << " " << kind;
    }
}

TEST(ConvertersAgree, SiteListDocumentsOnRandomText) {
    RandomText random(6);
    const char* const kSites[] = {"*", "example.com", "ads.example.cn", "1.2.3.4", "http://x.com", "bad"};
    for (int i = 0; i < 2000; ++i) {
        Text xml = "<sp>";
        for (size_t s = random.Below(4); s > 0; --s) {
            xml += Text("<site d=\"") + kSites[random.Below(std::size(kSites))] + "\">";
            for (const char* list : {"whitelist", "blacklist"}) {
                xml += Text("<") + list + ">";
                for (size_t e = random.Below(4); e > 0; --e) {
                    Text entry = random.Line();
                    for (const char* special : {"&", "<", "\r", "\x81"}) {  // keep the document well formed
                        for (size_t at; (at = entry.find(special)) != Text::npos;) entry.erase(at, 1);
                    }
                    const char* const modes[] = {"", " mode=\"0\"", " mode=\"1\"", " mode=\" 1x\""};
                    xml += Text("<e") + modes[random.Below(4)] + ">" + entry + "</e>";
                }
                xml += Text("</") + list + ">";
            }
            xml += "</site>";
        }
        ExpectSameSiteList(xml + "</sp>");
    }
}

TEST(ConvertersAgree, MirrorFixtures) {
    ExpectSameAbp(Utf8ToGbk(ReadFile(Fixture("chinalist/adblock-lazy.txt"))));
    for (const char* id : {"04cb80bc276811df854800215a45ab18", "48602218a44c11df972a00215edd6d00",
                           "517283184a0c11df8fa200215edd6d00", "761e39dc276111df8e7700215a45ab18",
                           "c4b5cd522cd511df9fd600215a45ab18", "d1ed393030e311df845400215a45ab18"})
        ExpectSameKingsoft(TextUpTo0(StripUtf8Bom(ReadFile(Fixture(std::string("kingsoft/list_") + id + ".txt")))));
    ExpectSameSiteList(Utf8ToGbk(StripUtf8Bom(ReadFile(Fixture("maxthon/SiteList.xml")))));
}

// A real published Adblock Plus list (scripts/real-list.sh fetches one and names it in
// QUORLEX_REAL_LIST), converted as the ChinaList step converts it and, line by line taken as
// URL patterns, as the Kingsoft step would.
TEST(ConvertersAgree, RealPublishedList) {
    const char* path = std::getenv("QUORLEX_REAL_LIST");
    if (!path || !*path) GTEST_SKIP() << "QUORLEX_REAL_LIST names no list (scripts/real-list.sh fetches one)";
    const ByteBuffer bytes = ReadFile(path);
    ASSERT_GT(bytes.size(), 1000000u) << path;
    const Text list = Utf8ToGbk(bytes);
    ExpectSameAbp(list);
    ExpectSameKingsoft(list);
}

}  // namespace
