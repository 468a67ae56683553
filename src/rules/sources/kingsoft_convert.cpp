#include "rules/sources/kingsoft_convert.h"

#include "common/rule_list.h"
#include "rules/engine/host_check.h"
#include "rules/engine/url_pattern.h"
#include "rules/sources/convert_text.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The list's numeric fields cut off: one trailing ",d" and one leading "d,d,".
TextView StripNumericFields(TextView line) {
    const size_t n = line.size();
    if (n >= 2 && line[n - 2] == ',' && IsDigit(line[n - 1])) line.remove_suffix(2);
    if (line.size() >= 4 && IsDigit(line[0]) && line[1] == ',' && IsDigit(line[2]) && line[3] == ',')
        line.remove_prefix(4);
    return line;
}

bool EndsWithStar(TextView text) { return !text.empty() && text.back() == '*'; }

// An open pattern end gets a "*", unless it already has one or names a static file.
void ClosePattern(Text& pattern) {
    if (!EndsWithStar(pattern) && !EndsWithFileType(pattern)) pattern += '*';
}

bool IsTooShort(TextView rule, bool colonAfterScheme);

// Appends CR LF and "**://" + prefix + pattern to `rules`, unless the rule is too short to keep.
// Filtering here gives the same result as filtering the finished list: no rule holds CR LF of
// its own. `colon` tells whether the pattern holds a ":" (the prefixes never do).
void EmitRule(TextAppender& rules, TextView prefix, TextView pattern, bool colon) {
    const size_t mark = rules.Size();
    rules.Append({"\r\n**://", prefix, pattern});
    if (IsTooShort(rules.View().substr(mark + 2), colon)) rules.CutTo(mark);
}

// The rules for a pattern that starts with a host (or a scheme, "*" or "."). A bare
// registrable domain also gets the "~." rule that covers its subdomains; the host is what
// stands before the first "/".
void EmitHostPattern(TextAppender& rules, TextView pattern, bool colon) {
    if (const size_t scheme = colon ? FindExact(pattern, "://") : 0) {
        const TextView rest = pattern.substr(scheme + 2);
        EmitRule(rules, "", rest, FindExact(rest, ":") != 0);
        return;
    }
    if (BeginsWith(pattern, '*')) {
        EmitRule(rules, "", pattern, colon);
        return;
    }
    if (BeginsWith(pattern, '.')) {
        EmitRule(rules, "~", pattern, colon);
        return;
    }
    EmitRule(rules, "", pattern, colon);
    const size_t slash = FindExact(pattern, "/");
    const TextView host = slash == 0 ? pattern : pattern.substr(0, slash - 1);
    if (!IsDottedNumber(host) && !HasSubdomain(host)) EmitRule(rules, "~.", pattern, colon);
}

// One line converted; `b` is the buffer the line is rewritten in.
void ConvertLine(TextAppender& rules, TextView line, Text& b) {
    if (FindExact(line, "??") != 0) return;
    FoldWildcardsInto(b, StripNumericFields(line));  // "?" is a wildcard like "*"
    const bool colon = RepairSchemeInPlace(b);  // 'http:/x' becomes 'http://x'
    switch (ClassifyUrlPattern(b)) {
        case kPatternNoHost:
            ClosePattern(b);
            EmitRule(rules, BeginsWith(b, '*') ? "" : "*", b, colon);
            break;
        case kPatternHostOnly:
            if (!EndsWithStar(b)) {
                if (!b.empty() && b.back() == '/') b += '^';
                b += '*';
            }
            EmitHostPattern(rules, b, colon);
            break;
        case kPatternHostWithPath:
            ClosePattern(b);
            EmitHostPattern(rules, b, colon);
            break;
        default:  // a scheme with no usable host
            break;
    }
}

// True when one of "=", "?", "&" and "%" stands in `text` as a character of its own.
bool HasQueryCharacter(TextView text) {
    for (size_t i = 0; i < text.size(); i += IsLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1) {
        const char c = text[i];
        if (c == '=' || c == '?' || c == '&' || c == '%') return true;
    }
    return false;
}

// IsTooShortRule; `colonAfterScheme` false when nothing after a leading "**://" is a ":", so
// that no later "://~." needs looking for.
bool IsTooShort(TextView rule, bool colonAfterScheme) {
    // What is left is counted, not built: a final "*" cut, a file extension folded to "&", the
    // scheme mark and what stands before it dropped, then every "/" and "*" deleted and each
    // run of "." counted once (all of them characters of their own).
    TextView v = rule;
    if (EndsWithStar(v)) v.remove_suffix(1);
    size_t left = 0;
    if (EndsWithFileType(v)) {
        // The extension's "." is the last "." byte; when it is only the trail byte of a
        // double-byte character it is no extension mark, and the last "." of its own counts.
        const size_t last = v.rfind('.');
        const size_t dot = IsCharacterStart(v, last) ? last + 1 : FindLast(v, ".");
        if (dot != 0) {
            v = v.substr(0, dot - 1);
            left = 1;  // the "&"
        }
    }
    // A rule the converters write starts with "**://": that is its first "://".
    const bool ruleStart = v.substr(0, 5) == "**://";
    const size_t scheme = ruleStart ? 3 : FindExact(v, "://");
    size_t anyHost = 0;
    if (scheme != 0) {
        if (v.substr(scheme + 2, 2) == "~.") {
            anyHost = scheme;
        } else if (!ruleStart || colonAfterScheme) {
            anyHost = FindExact(v, "://~.", scheme + 1);
        }
    }
    if (anyHost != 0) {
        v = v.substr(anyHost + 4);
    } else if (scheme != 0 && !HasQueryCharacter(v.substr(0, scheme))) {
        v = v.substr(scheme + 2);  // the head, up to and including the colon, has none of them
    }
    bool afterDot = false;
    for (size_t i = 0; i < v.size() && left < 5;) {
        const char c = v[i];
        if (IsLeadByte(static_cast<unsigned char>(c))) {
            left += i + 1 < v.size() ? 2 : 1;
            i += 2;
            afterDot = false;
            continue;
        }
        ++i;
        if (c == '/' || c == '*') continue;
        if (c == '.' && afterDot) continue;
        afterDot = c == '.';
        ++left;
    }
    return left < 5;
}

}  // namespace

Text KingsoftListPath(const Text& listId) { return "/filerule/download/blackurl_rule/" + listId + "/"; }

Text ConvertKingsoftList(const Text& listText) {
    Text rules, b;
    TextAppender out(rules);
    out.Reserve(listText.size() + listText.size() / 2);
    ForEachRuleLine(listText, [&](TextView line) { ConvertLine(out, line, b); });
    out.Finish();
    return rules;
}

bool IsTooShortRule(TextView rule) { return IsTooShort(rule, true); }

bool AppendKingsoftList(Text& bucket, const Text& rules) {
    if (rules.size() < kMinKingsoftListBytes) return false;
    TrimRuleTextInPlace(bucket);
    bucket += kCrLf;
    AppendTrimmedRuleText(bucket, rules);
    return true;
}
