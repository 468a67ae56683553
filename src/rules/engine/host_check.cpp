#include "rules/engine/host_check.h"

#include <cstdint>
#include <iterator>

#include "base/swar.h"

namespace {

// The bytes of a suffix after its ".", the first one lowest: an entry is then one integer.
constexpr uint64_t PackedTail(TextView text, size_t from) {
    uint64_t key = 0;
    for (size_t i = text.size(); i-- > from;) key = key << 8 | static_cast<unsigned char>(text[i]);
    return key;
}

// The entries of one length, packed.
template <size_t N>
struct PackedSuffixes {
    uint64_t keys[N] = {};
    constexpr explicit PackedSuffixes(const TextView (&entries)[N]) {
        for (size_t k = 0; k < N; ++k) keys[k] = PackedTail(entries[k], 1);
    }
};

// A group of suffixes that all have `length` bytes.
struct SuffixTable {
    size_t length;
    const uint64_t* keys;
    size_t count;
};

constexpr TextView kHostSuffixes5[] = {".name", ".info"};
constexpr TextView kHostSuffixes4[] = {".com", ".edu", ".gov", ".net", ".org", ".biz"};
constexpr TextView kHostSuffixes3[] = {".cn", ".hk", ".tw", ".cc", ".tv", ".us", ".uk", ".co",
                                      ".jp", ".in", ".me", ".be", ".nl", ".de", ".to"};
constexpr PackedSuffixes kHost5(kHostSuffixes5);
constexpr PackedSuffixes kHost4(kHostSuffixes4);
constexpr PackedSuffixes kHost3(kHostSuffixes3);
constexpr SuffixTable kHostSuffixTables[] = {
    {5, kHost5.keys, std::size(kHostSuffixes5)},
    {4, kHost4.keys, std::size(kHostSuffixes4)},
    {3, kHost3.keys, std::size(kHostSuffixes3)},
};

constexpr TextView kFileSuffixes6[] = {".shtml"};
constexpr TextView kFileSuffixes5[] = {".html", ".smjs"};
constexpr TextView kFileSuffixes4[] = {".htm", ".css", ".xml", ".jpg", ".gif",
                                      ".png", ".ico", ".swf", ".exe", ".vbs"};
constexpr TextView kFileSuffixes3[] = {".js"};
constexpr PackedSuffixes kFile6(kFileSuffixes6);
constexpr PackedSuffixes kFile5(kFileSuffixes5);
constexpr PackedSuffixes kFile4(kFileSuffixes4);
constexpr PackedSuffixes kFile3(kFileSuffixes3);
constexpr SuffixTable kFileTypeSuffixTables[] = {
    {6, kFile6.keys, std::size(kFileSuffixes6)},
    {5, kFile5.keys, std::size(kFileSuffixes5)},
    {4, kFile4.keys, std::size(kFileSuffixes4)},
    {3, kFile3.keys, std::size(kFileSuffixes3)},
};

template <size_t N>
bool EndsWithSuffixFrom(TextView text, const SuffixTable (&tables)[N]) {
    // Every suffix is a "." followed by bytes that are not ".": a text can end in one only
    // where its last "." stands, so that "." decides the one length worth comparing.
    const size_t dot = swar::FindLastNear(text, '.', tables[0].length);
    if (dot == TextView::npos) return false;
    const size_t length = text.size() - dot;
    for (const SuffixTable& table : tables) {
        if (table.length != length) continue;
        const uint64_t key = PackedTail(text.substr(dot), 1);
        for (size_t k = 0; k < table.count; ++k) {
            if (table.keys[k] == key) return true;
        }
        return false;
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
    if (swar::CountByte(text, '.') < 3) return false;  // three "." characters take three bytes
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
