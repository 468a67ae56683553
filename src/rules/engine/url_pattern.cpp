#include "rules/engine/url_pattern.h"

#include <algorithm>

#include "rules/engine/host_check.h"

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
