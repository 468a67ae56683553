// URL pattern classification and the subdomain test shared by the rule converters.
#pragma once

#include "base/text.h"

// Values of ClassifyUrlPattern.
constexpr int kPatternHostWithPath = 2;   // a host followed by a path
constexpr int kPatternHostOnly = 1;       // a host alone, maybe with a scheme and a closing "/" or "/*"
constexpr int kPatternNoHost = 0;         // no usable host, no scheme
constexpr int kPatternSchemeNoHost = -1;  // a scheme, no usable host and nothing after it

// Classifies `text` (trimmed with TrimRuleText first). Without a scheme the part before the
// first "/" has to pass HostCheck, and a closing "/" counts as a path ('example.com/' is 2).
// With a scheme, a text that has nothing after the host is 1 or -1 by HostCheck of the whole
// text, a closing "/" or "/*" is 1, and any longer path is 2 without looking at the host.
int ClassifyUrlPattern(TextView text);

// True when the host at the start of `text` is not a bare registrable domain: it carries a
// "www." or "www1." prefix (exact at the start, any case after a "://"), or it has more than one
// dot once a compound country suffix (".com.cn", ".com.tw", ".com.hk", ".co.jp") is discounted,
// each one that occurs with no dot right after it. Only the dots and the beginning of `text`
// matter, so 'ads.example.com/' and 'example.com*' are judged by their hosts.
bool HasSubdomain(TextView text);
