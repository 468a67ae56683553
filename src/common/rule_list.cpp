#include "common/rule_list.h"

const Text kCrLf = "\r\n";

std::vector<std::string_view> SplitRuleLineViews(std::string_view list) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < list.size()) {
        size_t lf = list.find('\n', start);  // LF is never a trail byte in GBK
        size_t end = lf == std::string_view::npos ? list.size() : lf;
        size_t cut = (end > start && list[end - 1] == '\r') ? end - 1 : end;
        lines.push_back(list.substr(start, cut - start));
        if (lf == std::string_view::npos) break;
        start = lf + 1;
    }
    return lines;
}

std::vector<Text> SplitRuleLines(const Text& list) {
    const std::vector<std::string_view> views = SplitRuleLineViews(list);
    return std::vector<Text>(views.begin(), views.end());
}

void AppendRule(Text& list, const Text& rule) {
    list += rule;
    list += kCrLf;
}
