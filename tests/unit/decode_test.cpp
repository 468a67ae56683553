// Page decoding: byte-order marks, UTF-8 <-> GBK, and the plain text of HTML fragments.
// Literals in this file are GBK at run time; u8"" literals stay UTF-8.
#include "common/encoding.h"
#include "web/decode.h"

#include <gtest/gtest.h>

namespace {

struct BytesCase {
    const char* what;
    ByteBuffer in;
    ByteBuffer out;
};

TEST(DecodeBom, StripsALeadingMarkAndOneAtBytesFiveToSeven) {
    const BytesCase cases[] = {
        {"empty", "", ""},
        {"only a mark", "\xEF\xBB\xBF", ""},
        {"part of a mark", "\xEF\xBB", "\xEF\xBB"},
        {"second mark not at byte 5", "\xEF\xBB\xBF\x41\x42\xEF\xBB\xBF\x43", "\x41\x42\xEF\xBB\xBF\x43"},
        {"second mark at byte 5", "\xEF\xBB\xBF\x31\x32\x33\x34\xEF\xBB\xBF\x35", "\x31\x32\x33\x34\x35"},
        {"second mark ending the buffer", "\xEF\xBB\xBF" "1234\xEF\xBB\xBF", "1234"},
        {"part of a second mark", "\xEF\xBB\xBF" "1234\xEF\xBB", "1234\xEF\xBB"},
        {"only one more mark goes", "\xEF\xBB\xBF" "1234\xEF\xBB\xBF\xEF\xBB\xBF", "1234\xEF\xBB\xBF"},
        {"two marks in a row: the second stays", "\xEF\xBB\xBF\xEF\xBB\xBF" "a", "\xEF\xBB\xBF" "a"},
        {"no leading mark", "\x41\xEF\xBB\xBF", "\x41\xEF\xBB\xBF"},
        {"no leading mark, mark at byte 5", "1234\xEF\xBB\xBF" "5", "1234\xEF\xBB\xBF" "5"},
    };
    for (const BytesCase& c : cases) EXPECT_EQ(StripUtf8Bom(c.in), c.out) << c.what;
}

struct TextCase {
    const char* what;
    ByteBuffer in;
    Text out;
};

TEST(DecodeUtf8ToGbk, ConvertsCharactersAndReplacesWhatGbkLacks) {
    const TextCase cases[] = {
        {"empty", "", ""},
        {"Chinese", u8"更新时间", "更新时间"},
        {"mixed with ASCII", u8"规则 rules：ok", "规则 rules：ok"},
        {"full-width space", u8"\u3000", "\xA1\xA1"},
        {"euro", u8"€", "\x80"},
        {"a NUL ends the text", ByteBuffer("ab\0cd", 5), "ab"},
        {"a byte-order mark is not removed", "\xEF\xBB\xBF" "A", "?A"},
        {"invalid sequence", "A\x80" "B", "A?B"},
        {"truncated sequence at the end", "A\xE6\x9B", "A?"},
        {"encoded surrogate: one ? per byte", "\xED\xA0\x80", "???"},
        {"outside the BMP: one ? per unit", u8"\U0001F600", "??"},
        {"character GBK lacks", u8"©", "?"},
        {"best fit", u8"x²", "x2"},
    };
    for (const TextCase& c : cases) EXPECT_EQ(Utf8ToGbk(c.in), c.out) << c.what;
}

TEST(DecodeUtf8ToGbk, IsWideToGbkOfUtf8ToWide) {
    const ByteBuffer bytes = u8"中文";
    EXPECT_EQ(Utf8ToWide(bytes), ByteBuffer("\x2D\x4E\x87\x65", 4));
    EXPECT_EQ(WideToGbk(Utf8ToWide(bytes)), "中文");
    EXPECT_EQ(WideToGbk(ByteBuffer("A\0B", 3)), "A");  // odd last byte ignored
}

TEST(DecodeGbkToUtf8, WritesTheTextAndOneZeroByte) {
    const TextCase cases[] = {
        {"empty", "", ByteBuffer("\0", 1)},
        {"ASCII", "[count=2]\nA", ByteBuffer("[count=2]\nA\0", 12)},
        {"Chinese", "过滤规则", ByteBuffer(u8"过滤规则") + '\0'},
        {"the text ends at its first NUL", ByteBuffer("a\0b", 3), ByteBuffer("a\0", 2)},
        {"euro", "\x80", ByteBuffer("\xE2\x82\xAC\0", 4)},
        {"lone lead byte at the end", "a\x81", ByteBuffer("a?\0", 3)},
    };
    for (const TextCase& c : cases) EXPECT_EQ(GbkToUtf8(c.in), c.out) << c.what;
}

TEST(DecodeGbkToUtf8, GbkToWideKeepsTheTerminator) {
    EXPECT_EQ(GbkToWide(""), ByteBuffer("\0\0", 2));
    EXPECT_EQ(GbkToWide("中"), ByteBuffer("\x2D\x4E\0\0", 4));
    EXPECT_EQ(WideToUtf8(ByteBuffer("\x2D\x4E\0\0", 4)), ByteBuffer("\xE4\xB8\xAD\0", 4));
}

// What the package writer stores, the package reader gets back.
TEST(DecodeGbkToUtf8, RoundTripsThroughUtf8ToGbk) {
    const Text texts[] = {"", "[count=1]\n**://*.example.com^*##div", "中文规则\n白名单：@@||例子.cn^"};
    for (const Text& t : texts) EXPECT_EQ(Utf8ToGbk(GbkToUtf8(t)), t);
}

struct HtmlCase {
    const char* what;
    Text in;
    Text out;
};

TEST(DecodeCleanHtml, TurnsAFragmentIntoPlainText) {
    const HtmlCase cases[] = {
        {"empty", "", ""},
        {"entities, br, tags and source line breaks",
         "a &nbsp;b<BR>c<span class=x>d</span>\r\ne", "ab\r\ncde"},
        {"unmatched <", "x < y", "x<y"},
        {"unmatched < after a tag", "<b>a</b><c", "a<c"},
        {"upper-case quot", "&QUOT;", "\""},
        {"upper-case nbsp goes with the spaces", "a&NBSP;b", "ab"},
        {"<br /> loses its space first", "a<br />b", "a\r\nb"},
        {"</br> and <br/>", "a</br>b<BR/>c", "a\r\nb\r\nc"},
        {"line breaks only from br", "a\nb\rc", "abc"},
        {"a > before any < stays", "a>b<i>c", "a>bc"},
        {"a tag ends at the first >", "<a<b>c>", "c>"},
        {"empty tag", "<>", ""},
        {"quote made by &quot; survives inside text", "&quot;x&quot;", "\"x\""},
        {"GBK text", "<p>更新时间：2024-06-01</p><br>说明", "更新时间：2024-06-01\r\n说明"},
    };
    for (const HtmlCase& c : cases) EXPECT_EQ(CleanHtmlText(c.in), c.out) << c.what;
}

// Tags are removed in one pass however many there are: a long fragment stays fast.
TEST(DecodeCleanHtml, ManyTags) {
    Text html, expected;
    for (int i = 0; i < 20000; ++i) {
        html += "<td class=c>" + std::to_string(i) + "</td>";
        expected += std::to_string(i);
    }
    EXPECT_EQ(CleanHtmlText(html), expected);
}

}  // namespace
