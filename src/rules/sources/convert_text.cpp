#include "rules/sources/convert_text.h"

#include <algorithm>
#include <cstring>

void AppendParts(Text& out, std::initializer_list<TextView> parts) {
    size_t total = out.size();
    for (const TextView part : parts) total += part.size();
    // Growing by doubling keeps a long list's appends linear; resize alone would grow to fit.
    if (total > out.capacity()) out.reserve(std::max(total, 2 * out.capacity()));
    size_t at = out.size();
    out.resize(total);
    for (const TextView part : parts) {
        if (part.empty()) continue;  // an empty view may have no data at all
        std::memcpy(&out[at], part.data(), part.size());
        at += part.size();
    }
}

void ReplaceShorterInPlace(Text& text, TextView from, TextView to) {
    if (from.empty()) return;
    // Bytes before `read` are done and written up to `write` (never past `read`); the search
    // looks only at the bytes from `read` on, which are still the original ones.
    size_t read = 0, write = 0;
    for (;;) {
        const size_t at = read < text.size() ? Find(text, from, read + 1) : 0;
        const size_t stop = at != 0 ? at - 1 : text.size();
        if (write != read) std::memmove(&text[write], text.data() + read, stop - read);
        write += stop - read;
        if (at == 0) break;
        std::memcpy(&text[write], to.data(), to.size());
        write += to.size();
        read = stop + from.size();
    }
    text.resize(write);
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
