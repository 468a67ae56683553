// Page decoding with Windows' own code pages: UTF-8 is turned into GBK piece by piece (64 KB at a
// time, split where a character starts), and must give the bytes of the conversion in one piece.
#include <gtest/gtest.h>

#include <string>

#include "common/encoding.h"

namespace {

TEST(DecodeOnWindows, LongTextsInPiecesAsInOnePiece) {
    // Lines of ASCII and Chinese, then runs long enough to have no ASCII byte where a piece
    // ends: Chinese only, stray continuation bytes, characters outside the BMP, broken
    // sequences.
    ByteBuffer text;
    for (int i = 0; i < 4000; ++i) text += "||ads" + std::to_string(i) + ".example.com^$script \xE8\xA7\x84\xE5\x88\x99\n";
    for (int i = 0; i < 40000; ++i) text += "\xE4\xB8\xAD";
    for (int i = 0; i < 70000; ++i) text += "\x80";
    for (int i = 0; i < 20000; ++i) text += "\xF0\x9F\x98\x80";
    for (int i = 0; i < 30000; ++i) text += "\xE4\xB8\xE2\x82";
    text += "end";
    ASSERT_GT(text.size(), size_t(4) * 64 * 1024);
    EXPECT_EQ(Utf8ToGbk(text), WideToGbk(Utf8ToWide(text)));

    // A NUL ends the text, also in a later piece.
    ByteBuffer withNul = text;
    withNul[200000] = '\0';
    const Text cut = Utf8ToGbk(withNul);
    EXPECT_EQ(cut, WideToGbk(Utf8ToWide(withNul)));
    EXPECT_LT(cut.size(), text.size());
}

}  // namespace
