// The native code-page functions against what Windows does for the same input.
#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <random>

namespace {

using platform::kCodePageGbk;
using platform::kCodePageUtf8;
using platform::MultiByteToWide;
using platform::WideToMultiByte;

ByteBuffer Units(std::initializer_list<uint16_t> units) {
    ByteBuffer w;
    for (uint16_t u : units) {
        w += char(u & 0xFF);
        w += char(u >> 8);
    }
    return w;
}

std::vector<uint16_t> UnitsOf(const ByteBuffer& w) {
    std::vector<uint16_t> out;
    for (size_t i = 0; i + 1 < w.size(); i += 2)
        out.push_back(uint16_t(static_cast<unsigned char>(w[i]) | static_cast<unsigned char>(w[i + 1]) << 8));
    return out;
}

struct DecodeCase {
    const char* what;
    ByteBuffer bytes;
    std::vector<uint16_t> units;
};

// Each ill-formed sequence becomes one U+FFFD per maximal subpart.
TEST(CodePageUtf8, DecodesAndReplacesEachMaximalSubpart) {
    const DecodeCase cases[] = {
        {"empty", "", {}},
        {"ASCII and NUL", ByteBuffer("a\0b", 3), {0x61, 0x00, 0x62}},
        {"two and three bytes", "\xC3\x80\xE4\xB8\xAD", {0x00C0, 0x4E2D}},
        {"four bytes give a pair", "\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},
        {"the standard's example", "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
         {0x61, 0xFFFD, 0xFFFD, 0xFFFD, 0x62, 0xFFFD, 0x63, 0xFFFD, 0xFFFD, 0x64}},
        {"truncated at the end", "\xE4\xB8", {0xFFFD}},
        {"truncated before ASCII", "\xE4\xB8\x41", {0xFFFD, 0x41}},
        {"truncated four bytes", "\xF0\x9F\x98", {0xFFFD}},
        {"lone continuation", "\x80", {0xFFFD}},
        {"two lone leads", "\x41\xC2\xC3\x41", {0x41, 0xFFFD, 0xFFFD, 0x41}},
        {"overlong two bytes", "\xC0\xAF", {0xFFFD, 0xFFFD}},
        {"overlong three bytes", "\xE0\x80\x9F", {0xFFFD, 0xFFFD, 0xFFFD}},
        {"overlong four bytes", "\xF0\x80\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
        {"encoded surrogate", "\xED\xA0\x80", {0xFFFD, 0xFFFD, 0xFFFD}},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
        {"five-byte form", "\xF8\x88\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
        {"FE and FF", "\xFE\xFF", {0xFFFD, 0xFFFD}},
        {"U+FFFD itself", "\xEF\xBF\xBD", {0xFFFD}},
        {"largest scalar", "\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
    };
    for (const DecodeCase& c : cases)
        EXPECT_EQ(UnitsOf(MultiByteToWide(kCodePageUtf8, c.bytes)), c.units) << c.what;
}

struct EncodeCase {
    const char* what;
    ByteBuffer wide;
    ByteBuffer bytes;
};

TEST(CodePageUtf8, EncodesLoneSurrogatesAsReplacement) {
    const EncodeCase cases[] = {
        {"empty", "", ""},
        {"pair", Units({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80"},
        {"lone high at the end", Units({0x41, 0xD800}), "A\xEF\xBF\xBD"},
        {"lone high before ASCII", Units({0xD800, 0x41}), "\xEF\xBF\xBD" "A"},
        {"lone low", Units({0xDC00}), "\xEF\xBF\xBD"},
        {"reversed pair", Units({0xDC00, 0xD800}), "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"zero unit", Units({0x41, 0x00}), ByteBuffer("A\0", 2)},
        {"odd last byte ignored", ByteBuffer("A\0B", 3), "A"},
    };
    for (const EncodeCase& c : cases) EXPECT_EQ(WideToMultiByte(kCodePageUtf8, c.wide), c.bytes) << c.what;
}

TEST(CodePageGbk, DecodesLikeWindows) {
    const DecodeCase cases[] = {
        {"ASCII", "a\\", {0x61, 0x5C}},
        {"double byte", "\xD6\xD0\xCE\xC4", {0x4E2D, 0x6587}},
        {"trail byte 0x5C is no backslash", "\x81\x5C", {0x4E57}},
        {"euro at 0x80", "\x80", {0x20AC}},
        {"0xFF", "\xFF", {0xF8F5}},
        {"full-width space", "\xA1\xA1", {0x3000}},
        {"user-defined area", "\xAA\xA1\xFE\xFE", {0xE000, 0xE4C5}},
        {"unassigned codes", "\xA2\xAB\xFE\x50\xFE\xA0", {0xE766, 0xE815, 0xE864}},
        {"lead byte at the end", "a\x81", {0x61, '?'}},
        {"lead byte before a non-trail byte takes it along", "\x81\x30" "b", {'?', 0x62}},
        {"lead byte before 0x7F", "\x81\x7F", {'?'}},
        {"lead byte before 0xFF", "\x81\xFF", {'?'}},
        {"lead byte before NUL keeps the NUL", ByteBuffer("\x81\0a", 3), {'?', 0x00, 0x61}},
    };
    for (const DecodeCase& c : cases)
        EXPECT_EQ(UnitsOf(MultiByteToWide(kCodePageGbk, c.bytes)), c.units) << c.what;
}

TEST(CodePageGbk, EncodesLikeWindows) {
    const EncodeCase cases[] = {
        {"double byte", Units({0x4E2D, 0x6587}), "\xD6\xD0\xCE\xC4"},
        {"euro", Units({0x20AC}), "\x80"},
        {"U+F8F5", Units({0xF8F5}), "\xFF"},
        {"private use", Units({0xE000, 0xE864}), "\xAA\xA1\xFE\xA0"},
        {"private use past the table", Units({0xE865}), "?"},
        {"missing character", Units({0x00A9}), "?"},
        {"byte-order mark", Units({0xFEFF, 0x41}), "?A"},
        {"best fit to ASCII", Units({0x00B2}), "2"},
        {"best fit to a double byte", Units({0xF900}), "\xD8\x4D"},
        {"pair: one ? per unit", Units({0xD83D, 0xDE00}), "??"},
        {"lone surrogate", Units({0xDC00, 0x41}), "?A"},
        {"zero unit", Units({0x41, 0x00, 0x42}), ByteBuffer("A\0B", 3)},
        {"odd last byte ignored", ByteBuffer("A\0\xD6", 3), "A"},
    };
    for (const EncodeCase& c : cases) EXPECT_EQ(WideToMultiByte(kCodePageGbk, c.wide), c.bytes) << c.what;
}

// Every double-byte code Windows defines decodes to a character of its own that encodes back to
// the same two bytes.
TEST(CodePageGbk, EveryDoubleByteCodeRoundTrips) {
    int failures = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            const ByteBuffer code{char(lead), char(trail)};
            const ByteBuffer wide = MultiByteToWide(kCodePageGbk, code);
            const bool ok = wide.size() == 2 && UnitsOf(wide)[0] != '?' &&
                            WideToMultiByte(kCodePageGbk, wide) == code;
            if (!ok && ++failures <= 10) ADD_FAILURE() << std::hex << lead << " " << trail;
        }
    }
    EXPECT_EQ(failures, 0);
}

// Random bytes of every length, odd ones included: never a crash, UTF-8 decoding always yields
// well-formed UTF-16 that survives a round trip, and decoding consumes every byte.
TEST(CodePage, HostileBytesNeverBreakTheConversions) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 3000; ++round) {
        ByteBuffer bytes(random() % 40, '\0');
        for (char& c : bytes) c = char(random() & 0xFF);
        if (round % 3 == 0)  // favour bytes near the interesting ranges
            for (char& c : bytes) c = char(0x7E + random() % 0x82);

        const ByteBuffer fromUtf8 = MultiByteToWide(kCodePageUtf8, bytes);
        EXPECT_EQ(MultiByteToWide(kCodePageUtf8, WideToMultiByte(kCodePageUtf8, fromUtf8)), fromUtf8);
        EXPECT_LE(fromUtf8.size(), 2 * bytes.size());

        const ByteBuffer fromGbk = MultiByteToWide(kCodePageGbk, bytes);
        EXPECT_LE(fromGbk.size(), 2 * bytes.size());
        EXPECT_GE(fromGbk.size(), bytes.size());  // at least one unit per two bytes

        WideToMultiByte(kCodePageGbk, bytes);
        WideToMultiByte(kCodePageUtf8, bytes);
    }
}

// UTF-8 straight to code page 936 (a generated table) against the two-step conversion it stands
// for, up to the first NUL.
ByteBuffer TwoStepUtf8ToGbk(const ByteBuffer& bytes) {
    ByteBuffer out = WideToMultiByte(kCodePageGbk, MultiByteToWide(kCodePageUtf8, bytes));
    return out.substr(0, out.find('\0'));
}

void AppendUtf8(ByteBuffer& s, uint32_t cp) {
    if (cp < 0x80) {
        s += char(cp);
    } else if (cp < 0x800) {
        s += char(0xC0 | cp >> 6);
        s += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += char(0xE0 | cp >> 12);
        s += char(0x80 | (cp >> 6 & 0x3F));
        s += char(0x80 | (cp & 0x3F));
    } else {
        s += char(0xF0 | cp >> 18);
        s += char(0x80 | (cp >> 12 & 0x3F));
        s += char(0x80 | (cp >> 6 & 0x3F));
        s += char(0x80 | (cp & 0x3F));
    }
}

TEST(CodePageUtf8ToGbk, EveryCodePointAsTheTwoStepConversion) {
    // Page by page, each character between ASCII letters; then a sample of the other planes.
    for (uint32_t page = 0; page < 0x110000; page += page < 0x10000 ? 0x100 : 0x1F00) {
        ByteBuffer s;
        for (uint32_t cp = page; cp < page + 0x100; ++cp) {
            if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) continue;
            s += 'a';
            AppendUtf8(s, cp);
        }
        ASSERT_EQ(platform::Utf8ToMultiByteUpTo0(kCodePageGbk, s), TwoStepUtf8ToGbk(s)) << std::hex << page;
    }
}

TEST(CodePageUtf8ToGbk, IllFormedBytesAndNulAsTheTwoStepConversion) {
    const ByteBuffer cases[] = {
        "", "abc", ByteBuffer("a\0b", 3), ByteBuffer("\xE4\xB8\0\xE4\xB8\x80", 6), "\xE4\xB8", "\xE4\xB8\xE4\xB8\x80",
        "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF0\x9F\x98\x80x", "\xFF\xFE", "\x80\xBF\x80",
        "\xEF\xBB\xBFx", "\xC3\xA9\xE2\x82\xAC\xE6\x9B\xB4",
    };
    for (const ByteBuffer& bytes : cases)
        EXPECT_EQ(platform::Utf8ToMultiByteUpTo0(kCodePageGbk, bytes), TwoStepUtf8ToGbk(bytes))
            << testing::PrintToString(bytes);
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        ByteBuffer bytes(random() % 24, '\0');
        for (char& c : bytes) c = char(round % 2 ? 0x7E + random() % 0x82 : random() & 0xFF);
        ASSERT_EQ(platform::Utf8ToMultiByteUpTo0(kCodePageGbk, bytes), TwoStepUtf8ToGbk(bytes))
            << testing::PrintToString(bytes);
    }
}

TEST(CodePage, UnknownCodePageGivesNothing) {
    EXPECT_EQ(MultiByteToWide(1252, "abc"), "");
    EXPECT_EQ(WideToMultiByte(1252, Units({0x41})), "");
}

}  // namespace
