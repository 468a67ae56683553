// The text engine: 1-based byte positions, ASCII-only case folding and the double-byte rule.
#include <gtest/gtest.h>

#include "base/text.h"
#include "common/rule_list.h"

namespace {

// "\xB0\x41" is one GBK character whose trail byte is 'A'; "\x81\x5C" ends in '\';
// "\x81\x7C" ends in '|'; "\xB0\x61" differs from "\xB0\x41" only in the trail byte's case.
const Text kTrailA = "\xB0\x41";
const Text kTrailBackslash = "\x81\x5C";
const Text kTrailBar = "\x81\x7C";

struct FindCase {
    Text hay, needle;
    size_t from;
    size_t expected;
};

TEST(TextFind, FirstOccurrenceIgnoringAsciiCase) {
    const FindCase cases[] = {
        {"abcabc", "BC", 1, 2},
        {"abcabc", "bc", 3, 5},
        {"abcabc", "x", 1, 0},
        {"abc", "", 1, 0},
        {"", "a", 1, 0},
        {"abc", "abcd", 1, 0},
        {"abc", "c", 3, 3},
        {"abc", "c", 4, 0},
        {kTrailA + "A", "a", 1, 3},                  // never the trail byte
        {kTrailA + "A", "A", 1, 3},
        {kTrailBackslash + "\\", "\\", 1, 3},
        {kTrailBar + "|x", "|", 1, 3},
        {"x" + kTrailA, kTrailA, 1, 2},
        {"x" + kTrailA, "\xB0\x61", 1, 0},            // double-byte characters compare exactly
        {"\xB0\xA1\xB0\xA1", "\xA1\xB0", 1, 0},        // no match across a character boundary
        {"更新时间", "时间", 1, 5},
    };
    for (const FindCase& c : cases) {
        EXPECT_EQ(Find(c.hay, c.needle, c.from), c.expected) << c.hay << " / " << c.needle;
    }
}

TEST(TextFind, ExactAndReverse) {
    EXPECT_EQ(FindExact("aAa", "A"), 2u);
    EXPECT_EQ(FindExact("aaa", "A"), 0u);
    EXPECT_EQ(FindLast("a [b] c [d]", "["), 9u);
    EXPECT_EQ(FindLast("ABab", "a"), 3u);
    EXPECT_EQ(FindLast(kTrailA + "x", "A"), 0u);
    EXPECT_EQ(FindLast("abc", ""), 0u);
    EXPECT_EQ(FindLastExact("ABab", "A"), 1u);
}

struct ReplaceCase {
    Text text, from, to, expected;
};

TEST(TextReplace, OnePassLeftToRight) {
    const ReplaceCase cases[] = {
        {"a&NBSP;b&nbsp;c", "&nbsp;", " ", "a b c"},
        {"aaaa", "aa", "a", "aa"},                    // new matches are not looked at again
        {"a,,,,b", ",,", ",", "a,,b"},                 // collapsing needs repeats
        {"abc", "b", "bb", "abbc"},
        {"abc", "", "x", "abc"},
        {kTrailA + "a", "a", "-", kTrailA + "-"},
        {kTrailBackslash + "\\\\", "\\", "/", kTrailBackslash + "//"},
        {"x" + kTrailBar + "|", "|", "", "x" + kTrailBar},
        {"**://**a", "**", "*", "*://*a"},
    };
    for (const ReplaceCase& c : cases) {
        EXPECT_EQ(ReplaceAll(c.text, c.from, c.to), c.expected) << c.text;
    }
    EXPECT_EQ(ReplaceAllExact("aAa", "A", "b"), "aba");
    EXPECT_EQ(RemoveAll("a b  c", " "), "abc");
}

TEST(TextSlices, CountBytesAndClampAtTheEnds) {
    EXPECT_EQ(Left("abc", 2), "ab");
    EXPECT_EQ(Left("abc", 0), "");
    EXPECT_EQ(Left("abc", -1), "");
    EXPECT_EQ(Left("abc", 9), "abc");
    EXPECT_EQ(Right("abc", 2), "bc");
    EXPECT_EQ(Right("abc", 0), "");
    EXPECT_EQ(Right("abc", 9), "abc");
    EXPECT_EQ(Mid("abcdef", 2, 3), "bcd");
    EXPECT_EQ(Mid("abcdef", 5, 9), "ef");
    EXPECT_EQ(Mid("abcdef", 0, 2), "");
    EXPECT_EQ(Mid("abcdef", 7, 1), "");
    EXPECT_EQ(Mid("abcdef", 2, 0), "");
    EXPECT_EQ(Mid("abcdef", 2, -5), "");
    EXPECT_EQ(Mid("更新", 3, 2), "新");
    EXPECT_EQ(MidToEnd("abcdef", 5), "ef");
    EXPECT_EQ(MidToEnd("abcdef", 7), "");
}

TEST(TextSplit, EmptyItemsBetweenSeparatorsNoneAfterTheLast) {
    using V = std::vector<Text>;
    EXPECT_EQ(Split("", ","), V{});
    EXPECT_EQ(Split("a", ","), V{"a"});
    EXPECT_EQ(Split("a,b", ","), V({"a", "b"}));
    EXPECT_EQ(Split("a,,b", ","), V({"a", "", "b"}));
    EXPECT_EQ(Split("a,b,", ","), V({"a", "b"}));
    EXPECT_EQ(Split(",a", ","), V({"", "a"}));
    EXPECT_EQ(Split(",", ","), V({""}));
    EXPECT_EQ(Split("a\r\nb\r\n", "\r\n"), V({"a", "b"}));
    EXPECT_EQ(Split("aXbxc", "x"), V({"a", "b", "c"}));
    EXPECT_EQ(Split(kTrailBar + "|b", "|"), V({kTrailBar, "b"}));
}

TEST(TextTrim, SpacesAndFullWidthSpacesOnly) {
    const Text fw = "\xA1\xA1";
    EXPECT_EQ(Trim("  a b  "), "a b");
    EXPECT_EQ(Trim(fw + " a" + fw), "a");
    EXPECT_EQ(Trim("\ta\t"), "\ta\t");
    EXPECT_EQ(Trim("   "), "");
    // "\xB0\xA1" is a character; the A1 that follows it plus A1 is a full-width space.
    EXPECT_EQ(Trim("\xB0\xA1" + fw), "\xB0\xA1");
    // A trail byte A1 followed by a lone A1 lead byte is not a full-width space.
    EXPECT_EQ(Trim("x\xB0\xA1\xA1"), "x\xB0\xA1\xA1");
}

TEST(TextTrim, RuleTextTrimsEveryMixtureOfBlanksAndLineEnds) {
    const Text fw = "\xA1\xA1";
    struct { Text in, out; } cases[] = {
        {"", ""},
        {"\r\n", ""},
        {" \t\r\n" + fw + "a\r\nb" + fw + "\n \t", "a\r\nb"},
        {"a", "a"},
        {"\r\n\r\na\r\n\r\n", "a"},
        {"a \t b", "a \t b"},
    };
    for (const auto& c : cases) EXPECT_EQ(TrimRuleText(c.in), c.out);
}

TEST(TextTrim, TheRightEndRespectsDoubleByteCharacters) {
    const Text fw = "\xA1\xA1";
    struct { Text in, out; } cases[] = {
        {"a\xB0 ", "a\xB0 "},                 // the space is the trail byte of \xB0
        {"a\xB0\xB0 ", "a\xB0\xB0"},          // here it stands alone
        {"\xB0\xA1" + fw, "\xB0\xA1"},        // a character ending in A1, then a full-width space
        {"\xB0" + fw, "\xB0" + fw},           // B0 A1 is a character; the A1 left is a lone lead byte
        {"\xB0\xA1\xB0" + fw + fw, "\xB0\xA1\xB0" + fw + fw},  // odd run: nothing pairs at the end
        {"x" + fw + " \r\n" + fw, "x"},
        {fw + fw, ""},
        {"\xA1", "\xA1"},
    };
    for (const auto& c : cases) EXPECT_EQ(TrimRuleText(c.in), c.out) << c.in;
}

TEST(TextTrim, InPlaceAndAppendingGiveTheSameAsACopy) {
    for (const Text& t : {Text(" \r\nab c\t\n"), Text(""), Text("\r\n"), Text("a\xB0 "), Text("\xA1\xA1x\xA1\xA1")}) {
        Text inPlace = t;
        TrimRuleTextInPlace(inPlace);
        EXPECT_EQ(inPlace, TrimRuleText(t)) << t;
        Text appended = "pre";
        AppendTrimmedRuleText(appended, t);
        EXPECT_EQ(appended, "pre" + TrimRuleText(t)) << t;
    }
}

TEST(TextCase, FoldsOnlySingleByteLetters) {
    EXPECT_EQ(ToLowerAscii("AbC" + kTrailA), "abc" + kTrailA);
    EXPECT_EQ(ToUpperAscii("abc\xB0\x61"), "ABC\xB0\x61");
    EXPECT_TRUE(StartsWith("HTTP://x", "http"));
    EXPECT_FALSE(StartsWith("ht", "http"));
}

TEST(TextUpTo0, EndsAtTheFirstNul) {
    EXPECT_EQ(TextUpTo0(ByteBuffer("ab\0cd", 5)), "ab");
    EXPECT_EQ(TextUpTo0("abc"), "abc");
}

TEST(RuleListLines, CrLfInsideLfAcceptedOnInput) {
    using V = std::vector<Text>;
    EXPECT_EQ(SplitRuleLines(""), V{});
    EXPECT_EQ(SplitRuleLines("a\r\nb\nc"), V({"a", "b", "c"}));
    EXPECT_EQ(SplitRuleLines("a\r\n\r\nb\r\n"), V({"a", "", "b"}));
    EXPECT_EQ(SplitRuleLines("\n"), V({""}));
    Text list;
    AppendRule(list, "a");
    AppendRule(list, "b");
    EXPECT_EQ(list, "a\r\nb\r\n");
}

// The plain definition: walk the text character by character from the start.
size_t ReferenceFind(const Text& hay, const Text& needle, size_t from) {
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    size_t i = 0;
    while (i < from - 1) i += (static_cast<unsigned char>(hay[i]) >= 0x80 && i + 1 < hay.size()) ? 2 : 1;
    for (; i + needle.size() <= hay.size();
         i += (static_cast<unsigned char>(hay[i]) >= 0x80 && i + 1 < hay.size()) ? 2 : 1) {
        bool match = true;
        bool trail = false;  // needle[k] is the second byte of a double-byte character
        for (size_t k = 0; k < needle.size() && match; ++k) {
            const bool lead = !trail && static_cast<unsigned char>(needle[k]) >= 0x80;
            match = (lead || trail) ? hay[i + k] == needle[k] : fold(hay[i + k]) == fold(needle[k]);
            trail = lead;
        }
        if (match) return i + 1;
    }
    return 0;
}

TEST(TextFind, AgreesWithTheCharacterWalkOnRandomDoubleByteText) {
    // Few distinct bytes, so that matches, trail bytes equal to ASCII and odd runs are common.
    const char alphabet[] = {'a', 'A', '|', '\\', '\xB0', '\xA1', '\x81'};
    unsigned seed = 12345;
    auto next = [&seed] { seed = seed * 1103515245u + 12345u; return (seed >> 16) & 0x7FFF; };
    for (int round = 0; round < 20000; ++round) {
        Text hay, needle;
        for (size_t n = next() % 12; n > 0; --n) hay += alphabet[next() % 7];
        for (size_t n = 1 + next() % 3; n > 0; --n) needle += alphabet[next() % 7];
        // Start positions must be character starts, as they always are in the program.
        size_t from = 1;
        for (size_t steps = next() % 4; steps > 0 && from <= hay.size(); --steps)
            from += (static_cast<unsigned char>(hay[from - 1]) >= 0x80 && from < hay.size()) ? 2 : 1;
        ASSERT_EQ(Find(hay, needle, from), from > hay.size() ? 0 : ReferenceFind(hay, needle, from))
            << "hay " << testing::PrintToString(hay) << " needle " << testing::PrintToString(needle) << " from " << from;
    }
}

TEST(TextPerformance, LongTextsStayLinear) {
    // 57,000 lines of ~36 bytes: a split and a rebuild must not copy the text per line.
    Text big;
    for (int i = 0; i < 57000; ++i) AppendRule(big, "||ads" + std::to_string(i) + ".example.com^$third-party");
    const auto lines = SplitRuleLines(big);
    ASSERT_EQ(lines.size(), 57000u);
    Text rebuilt;
    for (const Text& line : lines) AppendRule(rebuilt, line);
    EXPECT_EQ(rebuilt, big);
    EXPECT_EQ(ReplaceAll(big, "\r\n", "\n").size(), big.size() - 57000);
}

}  // namespace
