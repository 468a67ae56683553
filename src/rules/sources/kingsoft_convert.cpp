#include "rules/sources/kingsoft_convert.h"

#include "common/rule_list.h"
#include "rules/engine/host_check.h"
#include "rules/engine/url_pattern.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool EndsWithStar(const Text& text) { return Right(text, 1) == "*"; }

// Cuts the list's numeric fields: one trailing ",d" and one leading "d,d,".
Text StripNumericFields(Text line) {
    const size_t n = line.size();
    if (n >= 2 && line[n - 2] == ',' && IsDigit(line[n - 1])) line = Left(line, long(n) - 2);
    if (line.size() >= 4 && IsDigit(line[0]) && line[1] == ',' && IsDigit(line[2]) && line[3] == ',')
        line = MidToEnd(line, 5);
    return line;
}

// "?" is a wildcard like "*"; runs of stars say no more than one star.
Text FoldWildcards(const Text& line) {
    Text out = ReplaceAll(line, "?", "*");
    while (Contains(out, "**")) out = ReplaceAll(out, "**", "*");
    return out;
}

// 'http:/x' becomes 'http://x'; 'http://x' passes through ":///" back to itself.
Text RepairScheme(const Text& line) { return ReplaceAll(ReplaceAll(line, ":/", "://"), ":///", "://"); }

// An open pattern end gets a "*", unless it already has one or names a static file.
void ClosePattern(Text& pattern) {
    if (!EndsWithStar(pattern) && !EndsWithFileType(pattern)) pattern += "*";
}

// Appends CR LF and "**://" + pattern to `rules`, unless the rule is too short to keep. Filtering
// here gives the same result as filtering the finished list: no rule holds CR LF of its own.
void EmitRule(Text& rules, const Text& pattern) {
    const Text rule = "**://" + pattern;
    if (IsTooShortRule(rule)) return;
    rules += kCrLf;
    rules += rule;
}

// The rules for a pattern that starts with a host (or a scheme, "*" or "."). A bare
// registrable domain also gets the "~." rule that covers its subdomains; the host is what
// stands before the first "/".
void EmitHostPattern(Text& rules, const Text& pattern) {
    if (const size_t scheme = Find(pattern, "://")) {
        EmitRule(rules, MidToEnd(pattern, long(scheme) + 3));
        return;
    }
    if (StartsWith(pattern, "*")) {
        EmitRule(rules, pattern);
        return;
    }
    if (StartsWith(pattern, ".")) {
        EmitRule(rules, "~" + pattern);
        return;
    }
    EmitRule(rules, pattern);
    const size_t slash = Find(pattern, "/");
    const Text host = slash == 0 ? pattern : Left(pattern, long(slash) - 1);
    if (!IsDottedNumber(host) && !HasSubdomain(host)) EmitRule(rules, "~." + pattern);
}

void ConvertLine(Text& rules, const Text& line) {
    if (Contains(line, "??")) return;
    Text b = RepairScheme(FoldWildcards(StripNumericFields(line)));
    switch (ClassifyUrlPattern(b)) {
        case kPatternNoHost:
            ClosePattern(b);
            if (!StartsWith(b, "*")) b.insert(0, "*");
            EmitRule(rules, b);
            break;
        case kPatternHostOnly:
            if (!EndsWithStar(b)) {
                if (Right(b, 1) == "/") b += "^";
                b += "*";
            }
            EmitHostPattern(rules, b);
            break;
        case kPatternHostWithPath:
            ClosePattern(b);
            EmitHostPattern(rules, b);
            break;
        default:  // a scheme with no usable host
            break;
    }
}

}  // namespace

Text KingsoftListPath(const Text& listId) { return "/filerule/download/blackurl_rule/" + listId + "/"; }

Text ConvertKingsoftList(const Text& listText) {
    Text rules;
    rules.reserve(listText.size() * 2);  // one buffer for the whole list: no regrowth copies
    for (const Text& line : SplitRuleLines(listText)) ConvertLine(rules, line);
    return rules;
}

bool IsTooShortRule(const Text& rule) {
    Text v = rule;
    if (EndsWithStar(v)) v = Left(v, long(v.size()) - 1);
    if (EndsWithFileType(v)) {
        // A "." that is only the trail byte of a double-byte character is no extension mark.
        if (const size_t dot = FindLast(v, ".")) v = Left(v, long(dot) - 1) + "&";
    }
    if (const size_t anyHost = Find(v, "://~.")) {
        v = MidToEnd(v, long(anyHost) + 5);
    } else if (const size_t scheme = Find(v, "://")) {
        const Text head = Left(v, long(scheme));  // up to and including the colon
        if (!Contains(head, "=") && !Contains(head, "?") && !Contains(head, "&") && !Contains(head, "%"))
            v = MidToEnd(v, long(scheme) + 3);
    }
    v = RemoveAll(RemoveAll(v, "/"), "*");
    while (Contains(v, "..")) v = ReplaceAll(v, "..", ".");
    return v.size() < 5;
}

bool AppendKingsoftList(Text& bucket, const Text& rules) {
    if (rules.size() < kMinKingsoftListBytes) return false;
    Text merged = TrimRuleText(bucket);
    merged += kCrLf;
    merged += TrimRuleText(rules);
    bucket = std::move(merged);
    return true;
}
