#include "rules/engine/host_check.h"

#include <vector>

namespace {

// A group of suffixes that all have `length` bytes. The groups are tested longest first and
// the entries of a group in order; the first match wins.
struct SuffixTable {
    long length;
    std::vector<const char*> entries;
};

const std::vector<SuffixTable>& HostSuffixTables() {
    static const std::vector<SuffixTable> tables = {
        {5, {".name", ".info"}},
        {4, {".com", ".edu", ".gov", ".net", ".org", ".biz"}},
        {3, {".cn", ".hk", ".tw", ".cc", ".tv", ".us", ".uk", ".co", ".jp", ".in", ".me", ".be",
             ".nl", ".de", ".to"}},
    };
    return tables;
}

const std::vector<SuffixTable>& FileTypeSuffixTables() {
    static const std::vector<SuffixTable> tables = {
        {6, {".shtml"}},
        {5, {".html", ".smjs"}},
        {4, {".htm", ".css", ".xml", ".jpg", ".gif", ".png", ".ico", ".swf", ".exe", ".vbs"}},
        {3, {".js"}},
    };
    return tables;
}

bool EndsWithSuffixFrom(const Text& text, const std::vector<SuffixTable>& tables) {
    for (const SuffixTable& table : tables) {
        const Text tail = Right(text, table.length);
        for (const char* entry : table.entries) {
            if (tail == entry) return true;
        }
    }
    return false;
}

}  // namespace

int HostCheck(const Text& text) {
    if (EndsWithSuffixFrom(text, HostSuffixTables())) return 1;
    if (IsDottedNumber(text)) return 0;
    return -1;
}

bool IsDottedNumber(const Text& text) {
    Text rest = text;
    for (char digit = '0'; digit <= '9'; ++digit) rest = RemoveAll(rest, Text(1, digit));
    return Contains(rest, "...");
}

bool EndsWithFileType(const Text& text) { return EndsWithSuffixFrom(text, FileTypeSuffixTables()); }
