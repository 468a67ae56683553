#include "rules/engine/url_pattern.h"

#include <algorithm>
#include <iterator>

#include "base/swar.h"
#include "rules/engine/host_check.h"

int ClassifyUrlPattern(TextView text) {
    const TextView t = TrimRuleTextView(text);
    const size_t scheme = Find(t, "://");
    if (scheme == 0) {
        const size_t slash = Find(t, "/");
        if (slash == 0) return HostCheck(t) != -1 ? kPatternHostOnly : kPatternNoHost;
        if (slash == 1) return kPatternNoHost;
        return HostCheck(t.substr(0, slash - 1)) != -1 ? kPatternHostWithPath : kPatternNoHost;
    }
    const size_t slash = Find(t, "/", scheme + 3);
    // Only the end of the text decides here, so the scheme may stay in front of the host.
    if (slash == 0) return HostCheck(t) == -1 ? kPatternSchemeNoHost : kPatternHostOnly;
    if (slash == t.size()) return kPatternHostOnly;
    if (slash + 1 == t.size() && t.back() == '*') return kPatternHostOnly;
    return kPatternHostWithPath;
}

namespace {

// "www." or "www1." (ASCII case ignored) right after a "://" in `text`.
bool HasWwwAfterScheme(TextView text) {
    for (size_t at = FindExact(text, "://"); at != 0; at = FindExact(text, "://", at + 3)) {
        const TextView host = text.substr(at + 2);
        if (StartsWith(host, "www.") || StartsWith(host, "www1.")) return true;
    }
    return false;
}

}  // namespace

bool HasSubdomain(TextView text) {
    if (text.substr(0, 4) == "www." || text.substr(0, 5) == "www1.") return true;
    // A byte count: a "." that is the trail byte of a double-byte character counts as well.
    if (text.find(':') != TextView::npos && HasWwwAfterScheme(text)) return true;
    long dots = static_cast<long>(swar::CountByte(text, '.'));
    if (dots < 2) return false;  // discounting only lowers the count
    // A compound country suffix that occurs, never with a "." right after it, takes one dot off.
    static const TextView kCompounds[] = {".com.cn", ".com.tw", ".com.hk", ".co.jp"};
    bool seen[std::size(kCompounds)] = {}, dotAfter[std::size(kCompounds)] = {};
    for (size_t i = text.find('.'); i != TextView::npos; i = text.find('.', i + 1)) {
        if (i + 2 >= text.size() || (text[i + 1] | 0x20) != 'c' || (text[i + 2] | 0x20) != 'o') continue;
        for (size_t k = 0; k < std::size(kCompounds); ++k) {
            const TextView c = kCompounds[k];
            if (!StartsWith(text.substr(i), c) || !IsCharacterStart(text, i)) continue;
            seen[k] = true;
            dotAfter[k] = dotAfter[k] || (i + c.size() < text.size() && text[i + c.size()] == '.');
        }
    }
    for (size_t k = 0; k < std::size(kCompounds); ++k) {
        if (seen[k] && !dotAfter[k]) --dots;
    }
    return dots > 1;
}
