#include "rules/sources/sitelist_convert.h"

#include <initializer_list>
#include <vector>

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
void AppendSiteRule(TextAppender& list, std::initializer_list<TextView> parts) {
    list.Append({"**://"});
    list.Append(parts);
    list.Append({kCrLf});
}

// The rule texts of a conversion while they are written.
struct SiteListWriters {
    TextAppender white, block;
    explicit SiteListWriters(SiteListRules& rules) : white(rules.whiteRules), block(rules.blockRules) {}
    void Finish() {
        white.Finish();
        block.Finish();
    }
};

void AppendSiteEntry(const Text& domain, int hostKind, const Text& pattern, int kind, int list,
                     SiteListWriters& rules);

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

void ConvertRegexEntry(const Text& domain, int hostKind, TextView entry, int list, SiteListWriters& rules) {
    const Text pattern = RemoveRegexComments(Text(entry));
    for (const char* excluded : kRegexOnlyChars) {
        if (FindExact(pattern, excluded) != 0) return;
    }
    const size_t open = FindExact(pattern, "(");
    if (open == 0) {
        AppendSiteEntry(domain, hostKind, pattern, ClassifyUrlPattern(pattern), list, rules);
        return;
    }
    if (FindExact(pattern, "(", open + 1) != 0) return;  // nested or several groups
    const size_t close = FindExact(pattern, ")");
    const TextView alternatives =
        close > open ? TextView(pattern).substr(open, close - open - 1) : TextView();
    if (FindExact(alternatives, "|") == 0) return;
    const TextView before = TextView(pattern).substr(0, open - 1);
    const TextView after = close != 0 ? TextView(pattern).substr(close) : TextView();
    Text candidate;
    ForEachItem(alternatives, "|", [&](TextView alternative) {
        candidate.assign(before);
        candidate += alternative;
        candidate += after;
        AppendSiteEntry(domain, hostKind, candidate, ClassifyUrlPattern(candidate), list, rules);
    });
}

// Every entry of one list element (0: the site has no such list) in document order.
void ConvertList(const XmlReader& reader, XmlElement listElement, const Text& domain, int hostKind, int list,
                 SiteListWriters& rules) {
    static const Text kMode = "mode";
    Text wildcard;
    const size_t count = reader.ChildCount(listElement);
    for (size_t n = 1; n <= count; ++n) {
        const XmlElement entry = reader.Child(listElement, n);
        const Text text = reader.ElementText(entry);
        // Surrounding blanks and line breaks are layout of the file, not part of the pattern.
        const TextView pattern = TrimRuleTextView(text);
        if (!pattern.empty() && pattern[0] == '!') continue;  // a comment
        const XmlAttribute mode = reader.Attribute(entry, kMode);
        if (!mode.exists) continue;
        if (ModeNumber(mode.value) == 1) {
            ConvertRegexEntry(domain, hostKind, pattern, list, rules);
        } else {
            FoldWildcardsInto(wildcard, pattern);  // "?" is a wildcard like "*"
            AppendSiteEntry(domain, hostKind, wildcard, ClassifyUrlPattern(wildcard), list, rules);
        }
    }
}

}  // namespace

Text RemoveRegexComments(const Text& pattern) {
    // `out` holds what is left of the text before position `i` and never contains "(?#"; a
    // cut can only make a new "(?#" where the end of `out` meets the rest.
    Text out;
    size_t i = 0;  // 0-based index into pattern
    for (;;) {
        size_t commentEnd;  // index just after the "#" of the first "(?#"
        size_t cutFrom;     // where the cut starts in `out`, or npos when it starts in the rest
        const auto restStarts = [&](const char* s) { return pattern.compare(i, Text::traits_type::length(s), s) == 0; };
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
            out.append(pattern, i, commentEnd - 3 - i);
        }
        i = close;  // just after the ")"
    }
    out.append(pattern, i, Text::npos);
    return out;
}

void ConvertSiteEntry(const Text& domain, int hostKind, const Text& pattern, int kind, int list,
                      SiteListRules& rules) {
    SiteListWriters writers(rules);
    AppendSiteEntry(domain, hostKind, pattern, kind, list, writers);
    writers.Finish();
}

namespace {

void AppendSiteEntry(const Text& domain, int hostKind, const Text& pattern, int kind, int list,
                     SiteListWriters& rules) {
    TextAppender* target = list == kSiteWhitelist ? &rules.white : list == kSiteBlacklist ? &rules.block : nullptr;
    if (target == nullptr) return;
    if (TrimRuleTextView(pattern).empty() || HasLineBreak(pattern) || HasLineBreak(domain)) return;

    // Repair a scheme written with one slash; "://" itself passes through unchanged.
    Text repaired = pattern;
    RepairSchemeInPlace(repaired);
    TextView p = repaired;
    // A site's "~." variant also covers its subdomains; a numeric address has none, and a
    // domain that already is a subdomain needs none.
    const bool withSiteVariant = !domain.empty() && hostKind != 0 && !HasSubdomain(domain);
    const auto endsWithStar = [](TextView t) { return !t.empty() && t.back() == '*'; };
    const auto startsWith = [](TextView t, char c) { return !t.empty() && t[0] == c; };

    switch (kind) {
    case kPatternNoHost: {
        // A "*" in front cannot make the text end in a file type: every type begins with ".".
        const TextView open = startsWith(p, '*') ? "" : "*";
        const TextView close = endsWithStar(p) || EndsWithFileType(p) ? "" : "*";
        if (domain.empty()) {
            AppendSiteRule(*target, {open, p, close});
        } else {
            AppendSiteRule(*target, {domain, "^", open, p, close});
            if (withSiteVariant) AppendSiteRule(*target, {"~.", domain, "^", open, p, close});
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
                AppendSiteRule(*target, {"~", p, close});
                break;
            }
            AppendSiteRule(*target, {p, close});
            if (startsWith(p, '*')) break;
            // The host: the rule's pattern without its last two characters.
            const size_t length = p.size() + close.size();
            const TextView host = target->View().substr(target->Size() - 2 - length, length >= 2 ? length - 2 : 0);
            if (IsDottedNumber(host) || HasSubdomain(host)) break;
            const Text kept(host.data(), length);  // the rule's pattern again, before the list grows
            AppendSiteRule(*target, {"~.", kept});
        } else {
            // A host listed on a site: the rule applies to requests for that host made by
            // pages of the site.
            p = WithoutFinalSlash(AfterScheme(p));
            size_t lead = 0;
            while (lead < p.size() && (p[lead] == '*' || p[lead] == '.')) ++lead;
            p.remove_prefix(lead);
            AppendSiteRule(*target, {domain, "^*$domain=", p});
            if (withSiteVariant) AppendSiteRule(*target, {"~.", domain, "^*$domain=", p});
        }
        break;

    case kPatternHostWithPath: {
        const TextView close = endsWithStar(p) || EndsWithFileType(p) ? "" : "*";
        if (startsWith(p, '*')) {
            AppendSiteRule(*target, {p, close});
            break;
        }
        if (startsWith(p, '.')) {
            AppendSiteRule(*target, {"~", p, close});
            break;
        }
        p = AfterScheme(p);
        AppendSiteRule(*target, {p, close});
        const size_t slash = FindExact(p, "/");
        const TextView host = slash != 0 ? p.substr(0, slash - 1) : p;
        if (!HasSubdomain(host)) AppendSiteRule(*target, {"~.", p, close});
        break;
    }

    default:  // a scheme without a usable host
        break;
    }
}

}  // namespace

bool LoadSiteList(const Text& siteListText, XmlReader& reader) {
    static const Text kUtf8Declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
    static const Text kGbkDeclaration = "<?xml version=\"1.0\" encoding=\"gb2312\"?>";
    Text document = TextUpTo0(siteListText);
    if (document.compare(0, kUtf8Declaration.size(), kUtf8Declaration) == 0) {
        document.replace(0, kUtf8Declaration.size(), kGbkDeclaration);
    }
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
        ConvertList(reader, reader.FirstChildNamed(site, "whitelist"), domain, hostKind, kSiteWhitelist, writers);
        ConvertList(reader, reader.FirstChildNamed(site, "blacklist"), domain, hostKind, kSiteBlacklist, writers);
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
