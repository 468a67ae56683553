// Conversion of the Maxthon rule file SiteList.xml into rules of the browser's syntax.
//
// The file's document element "sp" holds one element per site (any name) with the attribute
// "d", the domain its patterns belong to ("*" anywhere in it: every site). A site may hold a
// "whitelist" and a "blacklist" element (the first of each name counts); each child of those
// is one pattern, its text the pattern and its attribute "mode" 1 for a regular expression,
// anything else for a wildcard pattern (an entry without "mode" is skipped). Whitelist
// entries become exception rules, blacklist entries blocking rules, in file order.
//
// This file holds the pure conversion, from the text of the file to the two rule texts. The
// source step around it, ConvertSiteList(workDir) returning 0 or -1, does the rest and must,
// in this order:
//   1. Empty Buckets().MaxthonBlockRules and Buckets().MaxthonWhiteRules.
//   2. Read workDir + "\SiteList.xml" whole (a missing or unreadable file gives no bytes) and
//      decode it with Utf8ToGbk(StripUtf8Bom(bytes)). Dropping a byte-order mark first
//      matters: Utf8ToGbk would turn it into a "?" before the first "<", and the reader
//      would then refuse the file.
//   3. Call LoadSiteList(text, reader) with the program's one XmlReader. On false: status
//      "规则文件读取失败！", pause 500 ms while the thread's window messages keep being
//      processed, delete workDir with everything in it, return -1 (both buckets stay empty).
//   4. Status "开始处理傲游规则！", then ConvertLoadedSiteList(reader, rules) with a fresh
//      SiteListRules, and move rules.blockRules into Buckets().MaxthonBlockRules and
//      rules.whiteRules into Buckets().MaxthonWhiteRules.
//   5. Status "成功获取傲游规则！", delete workDir with everything in it, return 0.
// Both functions leave the reader empty when they return.
#pragma once

#include "base/text.h"
#include "common/xml_reader.h"

// The two rule lists of one conversion: lines joined by CR LF, nothing before the first line
// or after the last.
struct SiteListRules {
    Text blockRules;  // blacklist entries: goes to MaxthonBlockRules
    Text whiteRules;  // whitelist entries: goes to MaxthonWhiteRules
};

// List numbers of ConvertSiteEntry.
constexpr int kSiteWhitelist = 1;
constexpr int kSiteBlacklist = 2;

// Loads the decoded (GBK) text of SiteList.xml into `reader`. A text that begins exactly with
// the lower-case UTF-8 declaration gets "gb2312" in its place, so that the document names the
// encoding its text is now in; the reader reads GBK whatever the declaration says, so a file
// declaring "UTF-8" in other letter case reads just as well. True when the document parsed
// and its document element is named exactly "sp"; otherwise false and the reader is empty.
bool LoadSiteList(const Text& siteListText, XmlReader& reader);

// Converts the site list that LoadSiteList left in `reader` into `rules` (which it first
// empties): the whitelist starts with the three fixed exception rules, then every site in
// document order contributes its whitelist entries to rules.whiteRules and its blacklist
// entries to rules.blockRules. Empties the reader at the end.
void ConvertLoadedSiteList(XmlReader& reader, SiteListRules& rules);

// LoadSiteList and ConvertLoadedSiteList in one call. False when the text is not a usable
// site list; both rule texts are then empty (not even the fixed exception rules).
bool ConvertSiteListText(const Text& siteListText, XmlReader& reader, SiteListRules& rules);

// Appends the rules for one prepared pattern to rules.whiteRules (list 1) or rules.blockRules
// (list 2), each rule followed by CR LF; any other list number drops them. `domain` is the
// site's domain (empty for a site that applies everywhere), `hostKind` its HostCheck result
// (0 for a numeric address: no "~." variant is added for it), `pattern` the pattern and
// `kind` the ClassifyUrlPattern result for the pattern as passed. A pattern that is empty, or
// a pattern or domain that holds a line break, gives no rule: it would write a rule that
// matches everything or spill into the next line.
void ConvertSiteEntry(const Text& domain, int hostKind, const Text& pattern, int kind, int list,
                      SiteListRules& rules);

// Cuts every regular-expression comment "(?#...)" out of `pattern`, as repeatedly cutting
// the first "(?#" through the first ")" after it would (a cut can join text into a new
// comment, which is then cut too), but in one pass. An unclosed comment and everything after
// it stays.
Text RemoveRegexComments(const Text& pattern);
