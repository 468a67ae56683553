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

// "?", "*" and the bytes that begin double-byte characters.
constexpr struct WildcardOrLead {
    bool is[256] = {};
    constexpr WildcardOrLead() {
        is[static_cast<unsigned char>('?')] = is[static_cast<unsigned char>('*')] = true;
        for (int c = 0x80; c < 0x100; ++c) is[c] = true;
    }
} kWildcardOrLead;

bool IsWildcardOrLead(unsigned char c) { return kWildcardOrLead.is[c]; }

}  // namespace

void FoldWildcardsInto(Text& out, TextView text) {
    // Only stars and question marks that stand as characters of their own count.
    out.clear();
    bool afterStar = false;
    for (size_t i = 0; i < text.size();) {
        // The run up to the next star, question mark or double-byte character is copied whole.
        size_t end = i;
        while (end < text.size() && !IsWildcardOrLead(static_cast<unsigned char>(text[end]))) ++end;
        if (end > i) {
            out.append(text.substr(i, end - i));
            afterStar = false;
            i = end;
            continue;
        }
        if (IsLeadByte(static_cast<unsigned char>(text[i]))) {
            out.append(text.substr(i, 2));
            i += 2;
            afterStar = false;
            continue;
        }
        if (!afterStar) out += '*';
        afterStar = true;
        ++i;
    }
}

void RepairSchemeInPlace(Text& text) {
    for (size_t i = text.find(':'); i != Text::npos; i = text.find(':', i + 1)) {
        const bool oneSlash = i + 1 < text.size() && text[i + 1] == '/' &&
                              (i + 2 == text.size() || text[i + 2] != '/');
        if (oneSlash && IsCharacterStart(text, i)) text.insert(i + 1, 1, '/');
    }
}
