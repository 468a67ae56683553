#include "web/rule_sites.h"

#include "platform/files.h"

Text RuleSiteUrl(const char* host, const Text& path) {
    const Text replacement = Trim(platform::GetEnvironmentText(kRuleHostVariable));
    return "http://" + (replacement.empty() ? Text(host) : replacement) + path;
}
