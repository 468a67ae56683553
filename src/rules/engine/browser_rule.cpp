#include "rules/engine/browser_rule.h"

#include "base/text.h"

namespace {

constexpr std::string_view kScheme = "**://";

bool IsHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

// Characters that "^" matches however the browser draws the line between separators and the
// rest: the ends of the address parts.
bool IsSureSeparator(char c) { return c == '/' || c == ':' || c == '?' || c == '=' || c == '&'; }

size_t CharLength(std::string_view t, size_t i) {
    return IsLeadByte(static_cast<unsigned char>(t[i])) && i + 1 < t.size() ? 2 : 1;
}

// The address part of the pattern, which starts at kPatternBegin and ends at rule.patternEnd.
bool ParseAddress(std::string_view line, BrowserRule& rule) {
    uint32_t start = BrowserRule::kPatternBegin;
    if (start == rule.patternEnd) return false;
    if (line[start] == '*') {
        rule.address = AddressKind::Anywhere;
        rule.hostEnd = start;
        return true;
    }
    rule.address = AddressKind::Host;
    if (line[start] == '~') {
        if (start + 1 == rule.patternEnd || line[start + 1] != '.') return false;
        rule.address = AddressKind::Domain;
        start += 2;
    }
    uint32_t end = start;
    while (end < rule.patternEnd && IsHostChar(line[end])) ++end;
    if (end == start) return false;
    rule.hostEnd = end;
    return true;
}

// One character of a covered pattern, as the covering pattern sees it.
enum class Token { Star, Separator, Literal };

Token TokenAt(std::string_view t, size_t i) {
    if (t[i] == '*') return Token::Star;
    if (t[i] == '^') return Token::Separator;
    return Token::Literal;
}

// Whether the non-star character of `s` at `i` takes the character of `r` at `j`.
bool TakesOne(std::string_view s, size_t i, std::string_view r, size_t j) {
    const Token rt = TokenAt(r, j);
    if (rt == Token::Star) return false;
    if (s[i] == '^') return rt == Token::Separator || IsSureSeparator(r[j]);
    if (rt == Token::Separator) return false;
    const size_t len = CharLength(s, i);
    return len == CharLength(r, j) && s.compare(i, len, r, j, len) == 0;
}

// True when the glob `s` matches every text the glob `r` matches. The usual greedy wildcard
// match with a return to the last "*" of `s`, over the characters of `r`: every other item of
// `s` takes exactly one character of `r`.
bool GlobCovers(std::string_view s, std::string_view r) {
    size_t i = 0, j = 0;
    size_t starI = std::string_view::npos, starJ = 0;
    while (j < r.size()) {
        if (i < s.size() && s[i] == '*') {
            starI = i++;
            starJ = j;
        } else if (i < s.size() && TakesOne(s, i, r, j)) {
            i += CharLength(s, i);
            j += CharLength(r, j);
        } else if (starI != std::string_view::npos) {
            i = starI + 1;
            starJ += CharLength(r, starJ);
            j = starJ;
        } else {
            return false;
        }
    }
    while (i < s.size() && s[i] == '*') ++i;
    return i == s.size();
}

// `host` ends in "." followed by `domain`.
bool IsStrictSubdomain(std::string_view host, std::string_view domain) {
    return host.size() > domain.size() + 1 && host.substr(host.size() - domain.size()) == domain &&
           host[host.size() - domain.size() - 1] == '.';
}

bool BlockingCovers(const BrowserRule& s, const BrowserRule& r) {
    if (s.options() != r.options()) return false;
    switch (s.address) {
    case AddressKind::Host:
        return r.address == AddressKind::Host && s.host() == r.host() && GlobCovers(s.rest(), r.rest());
    case AddressKind::Domain:
        if (r.address == AddressKind::Host) {
            // The covered host must end where its rule says: a "*" may run it on ("a.com*"
            // matches "a.com.cn"), and "~." may look at the whole host.
            const std::string_view rest = r.rest();
            const bool hostEnds = rest.empty() || rest[0] == '^' || IsSureSeparator(rest[0]);
            return hostEnds && IsStrictSubdomain(r.host(), s.host()) && GlobCovers(s.rest(), rest);
        }
        return r.address == AddressKind::Domain &&
               (r.host() == s.host() || IsStrictSubdomain(r.host(), s.host())) && GlobCovers(s.rest(), r.rest());
    case AddressKind::Anywhere:
        // A "~.D" rule stands for "D..." and "*.D...". The leading "*" of `s` that takes the
        // start of the first takes the "*." of the second as well, so the first decides.
        if (r.address == AddressKind::Domain) return GlobCovers(s.pattern(), r.pattern().substr(2));
        return GlobCovers(s.pattern(), r.pattern());
    }
    return false;
}

}  // namespace

BrowserRule ParseBrowserRule(std::string_view line) {
    BrowserRule rule;
    if (line.size() > UINT32_MAX - 2 || line.substr(0, kScheme.size()) != kScheme) return rule;
    rule.line = line.data();
    rule.lineEnd = uint32_t(line.size());
    rule.patternEnd = rule.lineEnd;
    // "#" and "$" are below every trail byte, so a byte search finds only real ones.
    const size_t hiding = line.find("##", kScheme.size());
    RuleKind kind = RuleKind::Blocking;
    if (hiding != std::string_view::npos) {
        kind = RuleKind::Hiding;
        if (hiding + 2 == line.size()) return BrowserRule();  // no selector
        rule.patternEnd = uint32_t(hiding);
    } else if (const size_t dollar = line.find('$', kScheme.size()); dollar != std::string_view::npos) {
        rule.patternEnd = uint32_t(dollar);
    }
    if (!ParseAddress(line, rule)) return BrowserRule();
    rule.kind = kind;
    return rule;
}

bool IsGenericHidingRule(const BrowserRule& s) { return s.kind == RuleKind::Hiding && s.pattern() == "*"; }

bool RuleCovers(const BrowserRule& s, const BrowserRule& r) {
    if (s.kind == RuleKind::Blocking && r.kind == RuleKind::Blocking) return BlockingCovers(s, r);
    if (s.kind == RuleKind::Hiding && r.kind == RuleKind::Hiding)
        return IsGenericHidingRule(s) && s.selector() == r.selector();
    return false;
}

std::string_view LongestLiteralRun(std::string_view pattern) {
    std::string_view best;
    size_t runStart = 0;
    for (size_t i = 0; i <= pattern.size();) {
        if (i == pattern.size() || pattern[i] == '*' || pattern[i] == '^') {
            if (i - runStart > best.size()) best = pattern.substr(runStart, i - runStart);
            runStart = ++i;
        } else {
            i += CharLength(pattern, i);
        }
    }
    return best;
}
