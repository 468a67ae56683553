// Conversion of the ChinaList Lazy list (Adblock Plus filter syntax) into browser rules.
//
// The ChinaList source step, once it has the list as a GBK text (ChinaListText, or a fresh
// download through WebFetch and Utf8ToGbk that is long enough), shows
// "正在处理ChinaList_Lazy规则..." and stores the three texts of
//   ConvertChinaList(listText, showMessage)
// into ChinaListBlockRules, ChinaListWhiteRules and ChinaListHideRules. `showMessage` is where
// the step shows an element-hiding rule without a domain to the user: a message box with that
// text, caption "信息：", one OK button, and the conversion waits until it is dismissed. The
// step still owns the check box, the download and its length test, the status texts and the
// sharing of ChinaListText with the update probe.
#pragma once

#include <functional>

#include "base/text.h"

// The three bucket texts of one list. As raw lines (SortChinaListLines) each line is CR LF plus
// one ABP line; as rules (ConvertChinaList) the rules are separated by CR LF, trimmed at both ends.
struct ChinaListBuckets {
    Text block;  // blocking rules, for the blacklist
    Text white;  // exception rules ("@@"), for the whitelist
    Text hide;   // element-hiding rules ("##"), for the blacklist
};

using ShowMessageFn = std::function<void(const Text&)>;

// Everything the step does with the list text: split it into lines (CR LF, LF or CR alone),
// drop the first line (the list header), sort the rest into the three buckets and convert each.
ChinaListBuckets ConvertChinaList(const Text& listText, const ShowMessageFn& showMessage);

// The sorting half of ConvertChinaList: comments and blank lines dropped, "@@" lines (without
// their "@@") to `white`, lines without "##" to `block`, and for a "##" line one
// "domain##selector" line in `hide` per listed domain that does not begin with "~".
ChinaListBuckets SortChinaListLines(const Text& listText);

// Converts raw ABP URL filters (one per line) into browser rules separated by CR LF. Blocking
// and exception filters convert alike; only the bucket they go to differs.
Text ConvertAbpUrlRules(const Text& rawFilters);

// The filter with the options of AbpOptionTable removed and the end of its pattern marked with
// "*$" or "^*$"; empty when every option was removable and the filter is to be dropped. A filter
// without "$" is returned as it is.
Text StripAbpOptions(const Text& line);

// The filter with its open end closed: a final "|" (end anchor) removed, otherwise a "*" added
// unless it has options, already ends in "*" or names a static file.
Text CloseAbpPattern(const Text& line);

// Converts raw "domain##selector" lines into browser element-hiding rules separated by CR LF. A
// line that begins with "##" is passed to `showMessage` (when set) before it is converted.
Text ConvertHidingRules(const Text& rawRules, const ShowMessageFn& showMessage);
