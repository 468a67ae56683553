// The rule sites the program talks to, in one place. The environment variable QUORLEX_RULE_HOST
// (host:port, e.g. "127.0.0.1:8931") sends every one of them to that server instead: the local
// mirror of the tests and the demo. Nothing else about them can be changed.
#pragma once

#include "base/text.h"

constexpr const char* kMaxthonForumHost = "bbs.maxthon.cn";
constexpr const char* kKingsoftRuleHost = "rules.ijinshan.com";
constexpr const char* kChinaListHost = "adblock-chinalist.googlecode.com";
// The ChinaList Lazy list on its host (fetched by the update probe and the ChinaList step).
constexpr const char* kChinaListPath = "/svn/trunk/adblock-lazy.txt";
constexpr const char* kRuleHostVariable = "QUORLEX_RULE_HOST";

// "http://" + the host to use for `host` (one of the three above) + `path` ("/..."). Read afresh
// on every call, so a test can point the sites elsewhere between two windows.
Text RuleSiteUrl(const char* host, const Text& path);
