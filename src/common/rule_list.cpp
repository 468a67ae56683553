#include "common/rule_list.h"

const Text kCrLf = "\r\n";

std::vector<Text> SplitRuleLines(const Text& list) {
    std::vector<Text> lines;
    size_t start = 0;
    while (start < list.size()) {
        size_t lf = list.find('\n', start);  // LF is never a trail byte in GBK
        size_t end = lf == Text::npos ? list.size() : lf;
        size_t cut = (end > start && list[end - 1] == '\r') ? end - 1 : end;
        lines.emplace_back(list, start, cut - start);
        if (lf == Text::npos) break;
        start = lf + 1;
    }
    return lines;
}

void AppendRule(Text& list, const Text& rule) {
    list += rule;
    list += kCrLf;
}
