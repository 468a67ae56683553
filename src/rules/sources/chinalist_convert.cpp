#include "rules/sources/chinalist_convert.h"

#include "common/rule_list.h"
#include "rules/engine/host_check.h"
#include "rules/engine/url_pattern.h"

namespace {

// ABP options the browser has no use for, removed in this order. "image,~image" is a single
// entry: the pair cancels out, while "image" alone stays.
const char* const AbpOptionTable[] = {
    "~third-party", "~match-case", "~collapse", "~stylesheet", "~subdocument", "~document",
    "~other",       "donottrack",  "popup",     "image,~image", "third-party", "match-case",
    "collapse",     "stylesheet",  "subdocument", "document",   "other",
};

// Appends CR LF and the rule "**://" + pattern.
void AppendBrowserRule(Text& rules, const Text& pattern) {
    rules += kCrLf;
    rules += "**://";
    rules += pattern;
}

// A filter that starts with its host: the host ends at the first "/", or failing that at the
// first "^". A named registrable domain also gets the "~." rule for its subdomains.
void AppendHostRule(Text& rules, const Text& filter) {
    size_t end = Find(filter, "/");
    if (end == 0) end = Find(filter, "^");
    const Text host = end == 0 ? filter : Left(filter, long(end) - 1);
    switch (HostCheck(host)) {
        case -1:
            AppendBrowserRule(rules, "*" + filter);
            break;
        case 0:  // a numeric address has no subdomains
            AppendBrowserRule(rules, filter);
            break;
        default:
            AppendBrowserRule(rules, filter);
            if (!HasSubdomain(host)) AppendBrowserRule(rules, "~." + filter);
            break;
    }
}

void AppendAbpUrlRule(Text& rules, const Text& filter) {
    if (StartsWith(filter, "||")) {
        AppendHostRule(rules, MidToEnd(filter, 3));
        return;
    }
    // Any other filter that names a scheme keeps what follows the scheme.
    if (const size_t scheme = Find(filter, "://")) {
        AppendBrowserRule(rules, MidToEnd(filter, long(scheme) + 3));
    } else if (StartsWith(filter, "|")) {
        AppendBrowserRule(rules, MidToEnd(filter, 2));
    } else if (StartsWith(filter, "*")) {
        AppendBrowserRule(rules, filter);
    } else if (StartsWith(filter, ".")) {
        AppendBrowserRule(rules, "~" + filter);
    } else {
        AppendHostRule(rules, filter);
    }
}

void AppendRawLine(Text& bucket, const Text& line) {
    bucket += kCrLf;
    bucket += line;
}

}  // namespace

Text StripAbpOptions(const Text& line) {
    if (!Contains(line, "$")) return line;
    Text f = line;
    for (const char* name : AbpOptionTable) {
        const Text option = name;
        if (!Contains(f, option)) continue;  // one pass instead of three: nothing to replace
        f = ReplaceAll(f, "," + option, "");
        f = ReplaceAll(f, "$" + option + ",", "$");
        f = ReplaceAll(f, "$" + option, "$");
    }
    if (Right(f, 1) == "$") return Text();
    const size_t dollar = Find(f, "$");
    if (dollar == 0) return f;  // not reached: the replacements keep every "$"
    const Text pattern = Left(f, long(dollar) - 1);
    if (Right(pattern, 1) == "*") return f;
    const Text mark = HostCheck(pattern) == -1 ? "*$" : "^*$";
    return pattern + mark + MidToEnd(f, long(dollar) + 1);
}

Text CloseAbpPattern(const Text& line) {
    if (Contains(line, "$") || Right(line, 1) == "*") return line;
    // A final "|" byte may be the second half of a double-byte character: only a "|" of its
    // own is the end anchor (cutting half a character off would let the rule run into the next).
    if (!line.empty() && FindLastExact(line, "|") == line.size()) return Left(line, long(line.size()) - 1);
    if (EndsWithFileType(line)) return line;
    return line + "*";
}

Text ConvertAbpUrlRules(const Text& rawFilters) {
    Text rules;
    rules.reserve(rawFilters.size() * 2);  // one buffer for the whole list: no regrowth copies
    // Blank lines, the list's ends included, are skipped line by line.
    for (const Text& line : SplitRuleLines(rawFilters)) {
        Text f = TrimRuleText(line);
        if (f.empty()) continue;
        f = StripAbpOptions(f);
        if (f.empty()) continue;
        f = CloseAbpPattern(f);
        // Repairs 'http:/x'; 'http://x' passes through ":///" back to itself.
        f = ReplaceAll(ReplaceAll(f, ":/", "://"), ":///", "://");
        AppendAbpUrlRule(rules, f);
    }
    TrimRuleTextInPlace(rules);
    return rules;
}

Text ConvertHidingRules(const Text& rawRules, const ShowMessageFn& showMessage) {
    Text rules;
    for (const Text& line : SplitRuleLines(TrimRuleText(rawRules))) {
        const Text d = TrimRuleText(line);
        if (d.empty()) continue;
        if (StartsWith(d, "##")) {
            if (showMessage) showMessage(d);
            AppendBrowserRule(rules, "*" + d);
            continue;
        }
        const size_t mark = Find(d, "##");
        if (mark == 0) continue;
        const Text selector = MidToEnd(d, long(mark) + 2);
        const Text domain = Left(d, long(mark) - 1);
        if (domain == "*") {
            AppendBrowserRule(rules, "*##" + selector);
            continue;
        }
        AppendBrowserRule(rules, domain + "^*##" + selector);
        if (!HasSubdomain(domain)) AppendBrowserRule(rules, "~." + domain + "^*##" + selector);
    }
    return TrimRuleText(rules);
}

ChinaListBuckets SortChinaListLines(const Text& listText) {
    ChinaListBuckets raw;
    Text w = ReplaceAll(listText, "\r", "\n");
    w = ReplaceAll(w, "\n\n", "\n");
    const std::vector<Text> lines = Split(w, "\n");
    // The first line is the list's "[Adblock Plus ...]" header.
    for (size_t i = 1; i < lines.size(); ++i) {
        const Text b = TrimRuleText(lines[i]);
        if (b.empty() || StartsWith(b, "!")) continue;
        if (StartsWith(b, "@@")) {
            AppendRawLine(raw.white, MidToEnd(b, 3));
            continue;
        }
        const size_t mark = Find(b, "##");
        if (mark == 0) {
            AppendRawLine(raw.block, b);
            continue;
        }
        const Text selector = MidToEnd(b, long(mark) + 2);
        // '##.ad' lists no domain and gives nothing; an empty item inside the list gives a
        // "##selector" line, which ConvertHidingRules shows and turns into a rule for all sites.
        for (const Text& domain : Split(Left(b, long(mark) - 1), ",")) {
            if (StartsWith(domain, "~")) continue;  // an excluded domain
            AppendRawLine(raw.hide, domain + "##" + selector);
        }
    }
    return raw;
}

ChinaListBuckets ConvertChinaList(const Text& listText, const ShowMessageFn& showMessage) {
    const ChinaListBuckets raw = SortChinaListLines(listText);
    ChinaListBuckets rules;
    rules.block = ConvertAbpUrlRules(raw.block);
    rules.white = ConvertAbpUrlRules(raw.white);
    rules.hide = ConvertHidingRules(raw.hide, showMessage);
    return rules;
}
