#include "rules/sources/sitelist_convert.h"

#include <iterator>

#include "common/rule_list.h"
#include "rules/engine/host_check.h"
#include "rules/engine/url_pattern.h"
#include "rules/sources/convert_text.h"

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

bool HasLineBreak(TextView text) { return FindEitherByte(text, 0, '\r', '\n') != text.size(); }

// Everything after the first "://", when there is one.
TextView AfterScheme(TextView pattern) {
    const size_t at = FindExact(pattern, "://");
    return at != 0 ? pattern.substr(at + 2) : pattern;
}

TextView WithoutFinalSlash(TextView pattern) {
    if (!pattern.empty() && pattern.back() == '/') pattern.remove_suffix(1);
    return pattern;
}

// Appends "**://" + the parts + CR LF: one rule of the list.
template <typename... Parts>
void AppendSiteRule(TextAppender& list, const Parts&... parts) {
    const TextView rule[] = {"**://", TextView(parts)..., kCrLf};
    list.Append(rule, std::size(rule));
}

// What the rules of a site's entries depend on, worked out once per site.
struct Site {
    TextView domain;           // empty for a site that applies everywhere
    bool usable = true;        // false for a domain with a line break: its rules would spill
    bool withVariant = false;  // its rules get "~." variants for the subdomains
    // `hostKind` is HostCheck of the domain: a numeric address (0) has no subdomains, and a
    // domain that already is a subdomain needs no variant.
    Site(TextView d, int hostKind)
        : domain(d), usable(!HasLineBreak(d)), withVariant(!d.empty() && hostKind != 0 && !HasSubdomain(d)) {}
};

// The rule texts of a conversion while they are written, and the buffers an entry is prepared in.
struct SiteListWriters {
    TextAppender white, block;
    Text repaired, kept, wildcard, regex, candidate;
    explicit SiteListWriters(SiteListRules& rules) : white(rules.whiteRules), block(rules.blockRules) {}
    void Finish() {
        white.Finish();
        block.Finish();
    }
};

void AppendSiteEntry(const Site& site, TextView pattern, int kind, int list, SiteListWriters& rules);
void RemoveRegexCommentsInto(Text& out, TextView pattern);

// The value of "mode" as a number: leading spaces skipped, then the digits up to the first
// other character; 0 when there are none. Only "is it 1" matters, so large values saturate.
long ModeNumber(TextView value) {
    size_t k = 0;
    while (k < value.size() && value[k] == ' ') ++k;
    long number = 0;
    for (; k < value.size() && value[k] >= '0' && value[k] <= '9'; ++k) {
        if (number < 1000000) number = number * 10 + (value[k] - '0');
    }
    return number;
}

void ConvertRegexEntry(const Site& site, TextView entry, int list, SiteListWriters& rules) {
    Text& pattern = rules.regex;
    RemoveRegexCommentsInto(pattern, entry);
    for (const char* excluded : kRegexOnlyChars) {
        if (FindExact(pattern, excluded) != 0) return;
    }
    const size_t open = FindExact(pattern, "(");
    if (open == 0) {
        AppendSiteEntry(site, pattern, ClassifyUrlPattern(pattern), list, rules);
        return;
    }
    if (FindExact(pattern, "(", open + 1) != 0) return;  // nested or several groups
    const size_t close = FindExact(pattern, ")");
    const TextView alternatives =
        close > open ? TextView(pattern).substr(open, close - open - 1) : TextView();
    if (FindExact(alternatives, "|") == 0) return;
    const TextView before = TextView(pattern).substr(0, open - 1);
    const TextView after = close != 0 ? TextView(pattern).substr(close) : TextView();
    Text& candidate = rules.candidate;
    ForEachItem(alternatives, "|", [&](TextView alternative) {
        candidate.assign(before.data(), before.size());
        candidate.append(alternative.data(), alternative.size());
        candidate.append(after.data(), after.size());
        AppendSiteEntry(site, candidate, ClassifyUrlPattern(candidate), list, rules);
    });
}

// Every entry of one list element (0: the site has no such list) in document order.
void ConvertList(const XmlReader& reader, XmlElement listElement, const Site& site, int list,
                 SiteListWriters& rules) {
    const size_t count = reader.ChildCount(listElement);
    for (size_t n = 1; n <= count; ++n) {
        const XmlElement entry = reader.Child(listElement, n);
        // Surrounding blanks and line breaks are layout of the file, not part of the pattern.
        const TextView pattern = TrimRuleTextView(reader.ElementTextView(entry));
        if (!pattern.empty() && pattern[0] == '!') continue;  // a comment
        TextView mode;
        if (!reader.FindAttribute(entry, "mode", mode)) continue;
        if (ModeNumber(mode) == 1) {
            ConvertRegexEntry(site, pattern, list, rules);
        } else {
            FoldWildcardsInto(rules.wildcard, pattern);  // "?" is a wildcard like "*"
            AppendSiteEntry(site, rules.wildcard, ClassifyUrlPattern(rules.wildcard), list, rules);
        }
    }
}

}  // namespace

namespace {

void RemoveRegexCommentsInto(Text& out, TextView pattern) {
    // `out` holds what is left of the text before position `i` and never contains "(?#"; a
    // cut can only make a new "(?#" where the end of `out` meets the rest.
    out.clear();
    size_t i = 0;  // 0-based index into pattern
    for (;;) {
        size_t commentEnd;  // index just after the "#" of the first "(?#"
        size_t cutFrom;     // where the cut starts in `out`, or npos when it starts in the rest
        const auto restStarts = [&](TextView s) { return pattern.substr(i, s.size()) == s; };
        if (out.size() >= 2 && out.compare(out.size() - 2, 2, "(?") == 0 && restStarts("#")) {
            cutFrom = out.size() - 2;
            commentEnd = i + 1;
        } else if (!out.empty() && out.back() == '(' && restStarts("?#")) {
            cutFrom = out.size() - 1;
            commentEnd = i + 2;
        } else {
            const size_t at = Find(pattern, "(?#", i + 1);
            if (at == 0) break;
            cutFrom = Text::npos;
            commentEnd = at - 1 + 3;
        }
        const size_t close = Find(pattern, ")", commentEnd + 1);
        if (close == 0) break;
        if (cutFrom != Text::npos) {
            out.resize(cutFrom);
        } else {
            out.append(pattern.data() + i, commentEnd - 3 - i);
        }
        i = close;  // just after the ")"
    }
    out.append(pattern.data() + i, pattern.size() - i);
}

}  // namespace

Text RemoveRegexComments(const Text& pattern) {
    Text out;
    RemoveRegexCommentsInto(out, pattern);
    return out;
}

void ConvertSiteEntry(const Text& domain, int hostKind, const Text& pattern, int kind, int list,
                      SiteListRules& rules) {
    SiteListWriters writers(rules);
    AppendSiteEntry(Site(domain, hostKind), pattern, kind, list, writers);
    writers.Finish();
}

namespace {

void AppendSiteEntry(const Site& site, TextView pattern, int kind, int list, SiteListWriters& rules) {
    TextAppender* target = list == kSiteWhitelist ? &rules.white : list == kSiteBlacklist ? &rules.block : nullptr;
    if (target == nullptr) return;
    if (TrimRuleTextView(pattern).empty() || HasLineBreak(pattern) || !site.usable) return;
    const TextView domain = site.domain;
    const bool withSiteVariant = site.withVariant;

    // Repair a scheme written with one slash; "://" itself passes through unchanged.
    Text& repaired = rules.repaired;
    repaired.assign(pattern.data(), pattern.size());
    RepairSchemeInPlace(repaired);
    TextView p = repaired;
    const auto endsWithStar = [](TextView t) { return !t.empty() && t.back() == '*'; };
    const auto startsWith = [](TextView t, char c) { return !t.empty() && t[0] == c; };

    switch (kind) {
    case kPatternNoHost: {
        // A "*" in front cannot make the text end in a file type: every type begins with ".".
        const TextView open = startsWith(p, '*') ? "" : "*";
        const TextView close = endsWithStar(p) || EndsWithFileType(p) ? "" : "*";
        if (domain.empty()) {
            AppendSiteRule(*target, open, p, close);
        } else {
            AppendSiteRule(*target, domain, "^", open, p, close);
            if (withSiteVariant) AppendSiteRule(*target, "~.", domain, "^", open, p, close);
        }
        break;
    }

    case kPatternHostOnly:
        if (domain.empty()) {
            const TextView close = endsWithStar(p) ? "" : "^*";
            if (!endsWithStar(p)) p = WithoutFinalSlash(p);
            // The scheme goes after the end is closed: "^*" has no "://" in it.
            p = AfterScheme(p);
            if (startsWith(p, '.')) {
                AppendSiteRule(*target, "~", p, close);
                break;
            }
            AppendSiteRule(*target, p, close);
            if (startsWith(p, '*')) break;
            // The host: the rule's pattern without its last two characters.
            const size_t length = p.size() + close.size();
            const TextView host = target->View().substr(target->Size() - 2 - length, length >= 2 ? length - 2 : 0);
            if (IsDottedNumber(host) || HasSubdomain(host)) break;
            rules.kept.assign(host.data(), length);  // the rule's pattern again, before the list grows
            AppendSiteRule(*target, "~.", rules.kept);
        } else {
            // A host listed on a site: the rule applies to requests for that host made by
            // pages of the site.
            p = WithoutFinalSlash(AfterScheme(p));
            size_t lead = 0;
            while (lead < p.size() && (p[lead] == '*' || p[lead] == '.')) ++lead;
            p.remove_prefix(lead);
            AppendSiteRule(*target, domain, "^*$domain=", p);
            if (withSiteVariant) AppendSiteRule(*target, "~.", domain, "^*$domain=", p);
        }
        break;

    case kPatternHostWithPath: {
        const TextView close = endsWithStar(p) || EndsWithFileType(p) ? "" : "*";
        if (startsWith(p, '*')) {
            AppendSiteRule(*target, p, close);
            break;
        }
        if (startsWith(p, '.')) {
            AppendSiteRule(*target, "~", p, close);
            break;
        }
        p = AfterScheme(p);
        AppendSiteRule(*target, p, close);
        const size_t slash = FindExact(p, "/");
        const TextView host = slash != 0 ? p.substr(0, slash - 1) : p;
        if (!HasSubdomain(host)) AppendSiteRule(*target, "~.", p, close);
        break;
    }

    default:  // a scheme without a usable host
        break;
    }
}

}  // namespace

bool LoadSiteList(const Text& siteListText, XmlReader& reader) {
    // The text up to its first NUL is the document. A document that begins with the lower-case
    // UTF-8 declaration, now that its text is GBK, would get "gb2312" in its place; the reader
    // reads GBK whatever the declaration says and keeps nothing of it, so the text is read
    // where it stands, without a copy made only to change those bytes.
    const TextView document = TextView(siteListText).substr(0, siteListText.find('\0'));
    if (!reader.Load(document) || reader.Name(reader.DocumentElement()) != "sp") {
        reader.Clear();
        return false;
    }
    return true;
}

void ConvertLoadedSiteList(XmlReader& reader, SiteListRules& rules) {
    rules = SiteListRules();
    for (const char* rule : kFixedWhiteRules) AppendRule(rules.whiteRules, rule);
    SiteListWriters writers(rules);

    const XmlElement root = reader.DocumentElement();
    const size_t siteCount = reader.ChildCount(root);
    for (size_t n = 1; n <= siteCount; ++n) {
        const XmlElement site = reader.Child(root, n);
        TextView domain;
        if (!reader.FindAttribute(site, "d", domain)) continue;
        domain = TrimRuleTextView(domain);
        int hostKind = 0;
        if (Contains(domain, "*")) {
            domain = TextView();  // the site's patterns apply everywhere
        } else if (Contains(domain, ":/")) {
            // A domain written as a URL is taken as it stands, without a host test; it gets
            // no "~." variants, which could not match anything sensible after a scheme.
            hostKind = 0;
        } else {
            hostKind = HostCheck(domain);
            if (hostKind == -1) continue;
        }
        const Site prepared(domain, hostKind);
        ConvertList(reader, reader.FirstChildNamed(site, "whitelist"), prepared, kSiteWhitelist, writers);
        ConvertList(reader, reader.FirstChildNamed(site, "blacklist"), prepared, kSiteBlacklist, writers);
    }
    writers.Finish();
    TrimRuleTextInPlace(rules.blockRules);
    TrimRuleTextInPlace(rules.whiteRules);
    reader.Clear();
}

bool ConvertSiteListText(const Text& siteListText, XmlReader& reader, SiteListRules& rules) {
    rules = SiteListRules();
    if (!LoadSiteList(siteListText, reader)) return false;
    ConvertLoadedSiteList(reader, rules);
    return true;
}
