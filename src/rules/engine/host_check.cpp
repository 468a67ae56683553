#include "rules/engine/host_check.h"

namespace {

// A group of suffixes that all have `length` bytes. The groups are tested longest first and
// the entries of a group in order; the first match wins.
struct SuffixTable {
    size_t length;
    const TextView* entries;
    size_t count;
};

constexpr TextView kHostSuffixes5[] = {".name", ".info"};
constexpr TextView kHostSuffixes4[] = {".com", ".edu", ".gov", ".net", ".org", ".biz"};
constexpr TextView kHostSuffixes3[] = {".cn", ".hk", ".tw", ".cc", ".tv", ".us", ".uk", ".co",
                                      ".jp", ".in", ".me", ".be", ".nl", ".de", ".to"};
const SuffixTable kHostSuffixTables[] = {
    {5, kHostSuffixes5, std::size(kHostSuffixes5)},
    {4, kHostSuffixes4, std::size(kHostSuffixes4)},
    {3, kHostSuffixes3, std::size(kHostSuffixes3)},
};

constexpr TextView kFileSuffixes6[] = {".shtml"};
constexpr TextView kFileSuffixes5[] = {".html", ".smjs"};
constexpr TextView kFileSuffixes4[] = {".htm", ".css", ".xml", ".jpg", ".gif",
                                      ".png", ".ico", ".swf", ".exe", ".vbs"};
constexpr TextView kFileSuffixes3[] = {".js"};
const SuffixTable kFileTypeSuffixTables[] = {
    {6, kFileSuffixes6, std::size(kFileSuffixes6)},
    {5, kFileSuffixes5, std::size(kFileSuffixes5)},
    {4, kFileSuffixes4, std::size(kFileSuffixes4)},
    {3, kFileSuffixes3, std::size(kFileSuffixes3)},
};

template <size_t N>
bool EndsWithSuffixFrom(TextView text, const SuffixTable (&tables)[N]) {
    // Every suffix is a "." followed by bytes that are not ".": a text can end in one only
    // where its last "." stands, so that "." decides the one length worth comparing.
    const size_t longest = tables[0].length;
    size_t length = 1;
    while (length <= longest && length <= text.size() && text[text.size() - length] != '.') ++length;
    if (length > longest || length > text.size()) return false;
    const TextView tail = text.substr(text.size() - length);
    for (const SuffixTable& table : tables) {
        if (table.length != length) continue;
        for (size_t k = 0; k < table.count; ++k) {
            if (table.entries[k][1] == tail[1] && tail == table.entries[k]) return true;
        }
    }
    return false;
}

}  // namespace

int HostCheck(TextView text) {
    if (EndsWithSuffixFrom(text, kHostSuffixTables)) return 1;
    if (IsDottedNumber(text)) return 0;
    return -1;
}

bool IsDottedNumber(TextView text) {
    // Walks the characters as the text engine sees them (a byte of 0x80 or more and the byte
    // after it are one character): with every digit deleted, three "." characters in a row.
    int dots = 0;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (IsLeadByte(static_cast<unsigned char>(c))) {
            dots = 0;
            i += 2;
            continue;
        }
        ++i;
        if (c >= '0' && c <= '9') continue;
        dots = c == '.' ? dots + 1 : 0;
        if (dots == 3) return true;
    }
    return false;
}

bool EndsWithFileType(TextView text) { return EndsWithSuffixFrom(text, kFileTypeSuffixTables); }
