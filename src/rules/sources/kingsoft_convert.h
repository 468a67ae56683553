// Conversion of the Kingsoft URL blacklists ("blackurl_rule" lists) into browser rules.
//
// The Kingsoft source step uses these as: for every ticked list, in table order,
//   1. fetch KingsoftListPath(list id) on the Kingsoft rule host with WebFetch;
//   2. decode: StripUtf8Bom, then take the bytes as a GBK text up to the first NUL (TextUpTo0);
//      the list is not decoded from UTF-8;
//   3. rules = ConvertKingsoftList(text);
//   4. AppendKingsoftList(KingsoftRules, rules): on false show the list's failure message and
//      pause 500 ms while handling window messages; on true show its success message.
// The step itself still owns emptying KingsoftRules and showing "正在获取金山规则..." at its
// start, the check boxes, the status texts and the pause. A failed download is an empty body,
// which converts to nothing and so fails step 4 like a list with too few rules.
#pragma once

#include <cstddef>

#include "base/text.h"

// A converted list with fewer bytes of rules than this counts as a failed list.
constexpr size_t kMinKingsoftListBytes = 100;

// The path of one list on the Kingsoft rule host, for a list id of 32 hex digits:
// "/filerule/download/blackurl_rule/" + id + "/".
Text KingsoftListPath(const Text& listId);

// Converts one list text (GBK, one URL pattern per line) into browser rules. Each rule is
// preceded by CR LF, so a non-empty result begins with CR LF. Lines are not trimmed; lines
// containing "??", lines with a scheme but no usable host and rules that IsTooShortRule rejects
// give nothing. Lines end in CR LF or in LF alone.
Text ConvertKingsoftList(const Text& listText);

// True when a converted rule says too little to keep: once its scheme mark, the trailing "*",
// every "/" and "*" are gone and a file extension is folded to "&", fewer than 5 bytes are left.
bool IsTooShortRule(TextView rule);

// Adds one list's converted rules to the bucket as TrimRuleText(bucket) + CR LF +
// TrimRuleText(rules). Returns false, leaving the bucket as it was, when `rules` has fewer than
// kMinKingsoftListBytes bytes.
bool AppendKingsoftList(Text& bucket, const Text& rules);
