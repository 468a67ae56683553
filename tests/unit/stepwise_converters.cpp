// The rule converters and the predicates they use, written step by step with the text engine's
// operations (a new text per replacement, split, slice). This was the program's own code before
// the converters became single passes; the tests run both on the same inputs and demand the same
// bytes, so these stay the reference for what every conversion produces.
#include "stepwise_converters.h"

#include <algorithm>
#include <vector>

#include "common/rule_list.h"
#include "rules/engine/url_pattern.h"

namespace stepwise {

// ---- host and file-type suffixes ------------------------------------------------------------

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

// ---- URL pattern classes --------------------------------------------------------------------

int ClassifyUrlPattern(const Text& text) {
    const Text t = TrimRuleText(text);
    const size_t scheme = Find(t, "://");
    if (scheme == 0) {
        const size_t slash = Find(t, "/");
        if (slash == 0) return HostCheck(t) != -1 ? kPatternHostOnly : kPatternNoHost;
        if (slash == 1) return kPatternNoHost;
        return HostCheck(Left(t, long(slash) - 1)) != -1 ? kPatternHostWithPath : kPatternNoHost;
    }
    const size_t slash = Find(t, "/", scheme + 3);
    // Only the end of the text decides here, so the scheme may stay in front of the host.
    if (slash == 0) return HostCheck(t) == -1 ? kPatternSchemeNoHost : kPatternHostOnly;
    if (slash == t.size()) return kPatternHostOnly;
    if (slash + 1 == t.size() && Right(t, 1) == "*") return kPatternHostOnly;
    return kPatternHostWithPath;
}

bool HasSubdomain(const Text& text) {
    if (Contains(text, "://www.") || Contains(text, "://www1.")) return true;
    if (Left(text, 4) == "www." || Left(text, 5) == "www1.") return true;
    // A byte count: a "." that is the trail byte of a double-byte character counts as well.
    long dots = static_cast<long>(std::count(text.begin(), text.end(), '.'));
    for (const char* suffix : {".com.cn", ".com.tw", ".com.hk", ".co.jp"}) {
        const Text compound = suffix;
        if (Contains(text, compound) && !Contains(text, compound + ".")) --dots;
    }
    return dots > 1;
}

// ---- ChinaList (Adblock Plus) ---------------------------------------------------------------

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

// ---- Kingsoft -------------------------------------------------------------------------------

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

// ---- SiteList -------------------------------------------------------------------------------

namespace {

// Exception rules that every conversion starts the whitelist with: forum attachments and
// download or upload paths must never be blocked by a site's blacklist.
const char* const kFixedWhiteRules[] = {
    "**://*/forum.php?mod=attachment*",
    "**://*/*downloads.*",
    "**://*/*uploads.*",
};

// Characters that make a regular expression impossible to express as a wildcard rule.
const char* const kRegexOnlyChars[] = {"\\", "?", "[", "]", "{", "}"};

bool HasLineBreak(const Text& text) { return text.find_first_of("\r\n") != Text::npos; }

// Everything after the first "://", when there is one.
void DropScheme(Text& pattern) {
    const size_t at = Find(pattern, "://");
    if (at != 0) pattern = MidToEnd(pattern, long(at + 3));
}

void DropFinalSlash(Text& pattern) {
    if (Right(pattern, 1) == "/") pattern.pop_back();
}

// The value of "mode" as a number: leading spaces skipped, then the digits up to the first
// other character; 0 when there are none. Only "is it 1" matters, so large values saturate.
long ModeNumber(const Text& value) {
    size_t k = 0;
    while (k < value.size() && value[k] == ' ') ++k;
    long number = 0;
    for (; k < value.size() && value[k] >= '0' && value[k] <= '9'; ++k) {
        if (number < 1000000) number = number * 10 + (value[k] - '0');
    }
    return number;
}

void ConvertRegexEntry(const Text& domain, int hostKind, const Text& entry, int list, SiteListRules& rules) {
    const Text pattern = RemoveRegexComments(entry);
    for (const char* excluded : kRegexOnlyChars) {
        if (Contains(pattern, excluded)) return;
    }
    const size_t open = Find(pattern, "(");
    if (open == 0) {
        stepwise::ConvertSiteEntry(domain, hostKind, pattern, ClassifyUrlPattern(pattern), list, rules);
        return;
    }
    if (Find(pattern, "(", open + 1) != 0) return;  // nested or several groups
    const size_t close = Find(pattern, ")");
    const Text alternatives = close > open ? Mid(pattern, long(open + 1), long(close - open - 1)) : Text();
    if (!Contains(alternatives, "|")) return;
    const Text before = Left(pattern, long(open - 1));
    const Text after = MidToEnd(pattern, long(close + 1));
    for (const Text& alternative : Split(alternatives, "|")) {
        const Text candidate = before + alternative + after;
        stepwise::ConvertSiteEntry(domain, hostKind, candidate, ClassifyUrlPattern(candidate), list, rules);
    }
}

void ConvertWildcardEntry(const Text& domain, int hostKind, const Text& entry, int list, SiteListRules& rules) {
    Text pattern = ReplaceAll(entry, "?", "*");
    while (Contains(pattern, "**")) pattern = ReplaceAll(pattern, "**", "*");
    stepwise::ConvertSiteEntry(domain, hostKind, pattern, ClassifyUrlPattern(pattern), list, rules);
}

// Every entry of one list element (0: the site has no such list) in document order.
void ConvertList(const XmlReader& reader, XmlElement listElement, const Text& domain, int hostKind, int list,
                 SiteListRules& rules) {
    const size_t count = reader.ChildCount(listElement);
    for (size_t n = 1; n <= count; ++n) {
        const XmlElement entry = reader.Child(listElement, n);
        // Surrounding blanks and line breaks are layout of the file, not part of the pattern.
        const Text pattern = TrimRuleText(reader.ElementText(entry));
        if (Left(pattern, 1) == "!") continue;  // a comment
        const XmlAttribute mode = reader.Attribute(entry, "mode");
        if (!mode.exists) continue;
        if (ModeNumber(mode.value) == 1) {
            ConvertRegexEntry(domain, hostKind, pattern, list, rules);
        } else {
            ConvertWildcardEntry(domain, hostKind, pattern, list, rules);
        }
    }
}

}  // namespace

Text RemoveRegexComments(const Text& pattern) {
    // Cut the first "(?#" through the first ")" after it, and search again from the start.
    Text h = pattern;
    for (;;) {
        const size_t open = Find(h, "(?#");
        if (open == 0) break;
        const size_t close = Find(h, ")", open);
        if (close == 0) break;
        h = Left(h, long(open) - 1) + MidToEnd(h, long(close) + 1);
    }
    return h;
}

void ConvertSiteEntry(const Text& domain, int hostKind, const Text& pattern, int kind, int list,
                      SiteListRules& rules) {
    Text* target = list == kSiteWhitelist ? &rules.whiteRules : list == kSiteBlacklist ? &rules.blockRules : nullptr;
    if (target == nullptr) return;
    if (TrimRuleText(pattern).empty() || HasLineBreak(pattern) || HasLineBreak(domain)) return;

    // Repair a scheme written with one slash; "://" itself passes through unchanged.
    Text p = ReplaceAll(ReplaceAll(pattern, ":/", "://"), ":///", "://");
    // A site's "~." variant also covers its subdomains; a numeric address has none, and a
    // domain that already is a subdomain needs none.
    const bool withSiteVariant = !domain.empty() && hostKind != 0 && !HasSubdomain(domain);

    switch (kind) {
    case kPatternNoHost:
        if (Left(p, 1) != "*") p.insert(0, "*");
        if (Right(p, 1) != "*" && !EndsWithFileType(p)) p += "*";
        if (domain.empty()) {
            AppendRule(*target, "**://" + p);
        } else {
            AppendRule(*target, "**://" + domain + "^" + p);
            if (withSiteVariant) AppendRule(*target, "**://~." + domain + "^" + p);
        }
        break;

    case kPatternHostOnly:
        if (domain.empty()) {
            if (Right(p, 1) != "*") {
                DropFinalSlash(p);
                p += "^*";
            }
            DropScheme(p);
            if (Left(p, 1) == ".") {
                AppendRule(*target, "**://~" + p);
                break;
            }
            AppendRule(*target, "**://" + p);
            if (Left(p, 1) == "*") break;
            const Text host = Left(p, long(p.size()) - 2);
            if (IsDottedNumber(host) || HasSubdomain(host)) break;
            AppendRule(*target, "**://~." + p);
        } else {
            // A host listed on a site: the rule applies to requests for that host made by
            // pages of the site.
            DropScheme(p);
            DropFinalSlash(p);
            size_t lead = 0;
            while (lead < p.size() && (p[lead] == '*' || p[lead] == '.')) ++lead;
            p = domain + "^*$domain=" + p.substr(lead);
            AppendRule(*target, "**://" + p);
            if (withSiteVariant) AppendRule(*target, "**://~." + p);
        }
        break;

    case kPatternHostWithPath: {
        if (Right(p, 1) != "*" && !EndsWithFileType(p)) p += "*";
        if (Left(p, 1) == "*") {
            AppendRule(*target, "**://" + p);
            break;
        }
        if (Left(p, 1) == ".") {
            AppendRule(*target, "**://~" + p);
            break;
        }
        DropScheme(p);
        AppendRule(*target, "**://" + p);
        const size_t slash = Find(p, "/");
        const Text host = slash != 0 ? Left(p, long(slash - 1)) : p;
        if (!HasSubdomain(host)) AppendRule(*target, "**://~." + p);
        break;
    }

    default:  // a scheme without a usable host
        break;
    }
}

void ConvertLoadedSiteList(XmlReader& reader, SiteListRules& rules) {
    rules = SiteListRules();
    for (const char* rule : kFixedWhiteRules) AppendRule(rules.whiteRules, rule);

    const XmlElement root = reader.DocumentElement();
    const size_t siteCount = reader.ChildCount(root);
    for (size_t n = 1; n <= siteCount; ++n) {
        const XmlElement site = reader.Child(root, n);
        const XmlAttribute d = reader.Attribute(site, "d");
        if (!d.exists) continue;
        Text domain = TrimRuleText(d.value);
        int hostKind = 0;
        if (Contains(domain, "*")) {
            domain.clear();  // the site's patterns apply everywhere
        } else if (Contains(domain, ":/")) {
            // A domain written as a URL is taken as it stands, without a host test; it gets
            // no "~." variants, which could not match anything sensible after a scheme.
            hostKind = 0;
        } else {
            hostKind = HostCheck(domain);
            if (hostKind == -1) continue;
        }
        ConvertList(reader, reader.FirstChildNamed(site, "whitelist"), domain, hostKind, kSiteWhitelist, rules);
        ConvertList(reader, reader.FirstChildNamed(site, "blacklist"), domain, hostKind, kSiteBlacklist, rules);
    }
    rules.blockRules = TrimRuleText(rules.blockRules);
    rules.whiteRules = TrimRuleText(rules.whiteRules);
    reader.Clear();
}

}  // namespace stepwise
