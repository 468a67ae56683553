#include "rules/sources/convert_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

void TextAppender::Grow(size_t more) {
    // The string doubles its capacity when it has to move, which keeps a long list linear; the
    // room ahead only spares a call per part. It stays small, so that an appender made for a
    // few rules at the end of a long text costs no more than those rules.
    constexpr size_t kRoomAhead = 4096;
    text_.resize(used_ + std::max(more, kRoomAhead));
}

namespace {

// The index of the first "?", "*" or byte of 0x80 or more at or after `i`, or the length.
size_t NextWildcardOrLead(TextView text, size_t i) {
    return swar::FindFirst(text, i, [](uint64_t v) { return swar::Equal(v, '?') | swar::Equal(v, '*') | swar::High(v); });
}

}  // namespace

void FoldWildcardsInto(Text& out, TextView text) {
    // Only stars and question marks that stand as characters of their own count. The text is
    // copied and folded in place from its first star, question mark or double-byte character on:
    // the result is never longer.
    out.assign(text.data(), text.size());
    size_t i = NextWildcardOrLead(out, 0), w = i;
    bool afterStar = false;
    while (i < out.size()) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (IsLeadByte(c)) {
            out[w++] = out[i++];
            if (i < out.size()) out[w++] = out[i++];
            afterStar = false;
        } else if (c == '?' || c == '*') {
            if (!afterStar) out[w++] = '*';
            afterStar = true;
            ++i;
        } else {
            // The run up to the next star, question mark or double-byte character, moved whole.
            const size_t end = NextWildcardOrLead(out, i);
            std::memmove(&out[w], out.data() + i, end - i);
            w += end - i;
            i = end;
            afterStar = false;
        }
    }
    out.resize(w);
}

bool RepairSchemeInPlace(Text& text) {
    size_t i = text.find(':');
    const bool colon = i != Text::npos;
    for (; i != Text::npos; i = text.find(':', i + 1)) {
        const bool oneSlash = i + 1 < text.size() && text[i + 1] == '/' &&
                              (i + 2 == text.size() || text[i + 2] != '/');
        if (oneSlash && IsCharacterStart(text, i)) text.insert(i + 1, 1, '/');
    }
    return colon;
}
