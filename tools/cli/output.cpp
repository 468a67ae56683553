#include <cstdio>

#include "cli.h"
#include "web/decode.h"

void Print(FILE* stream, const Text& text, bool utf8) {
    // GbkToWide converts the terminator too: cut the UTF-8 text there.
    const ByteBuffer bytes = utf8 ? TextUpTo0(WideToUtf8(GbkToWide(text))) : text;
    fwrite(bytes.data(), 1, bytes.size(), stream);
}

void Say(const Text& gbk) {
    Print(stderr, gbk + "\n", true);
}
