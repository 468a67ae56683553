// The step-by-step converters: what the program's single-pass converters must produce, byte for
// byte, written with the text engine's operations one step at a time.
#pragma once

#include "base/text.h"
#include "common/xml_reader.h"
#include "rules/sources/chinalist_convert.h"
#include "rules/sources/sitelist_convert.h"

namespace stepwise {

int HostCheck(const Text& text);
bool IsDottedNumber(const Text& text);
bool EndsWithFileType(const Text& text);
int ClassifyUrlPattern(const Text& text);
bool HasSubdomain(const Text& text);

ChinaListBuckets ConvertChinaList(const Text& listText, const ShowMessageFn& showMessage);
ChinaListBuckets SortChinaListLines(const Text& listText);
Text ConvertAbpUrlRules(const Text& rawFilters);
Text StripAbpOptions(const Text& line);
Text CloseAbpPattern(const Text& line);
Text ConvertHidingRules(const Text& rawRules, const ShowMessageFn& showMessage);

Text ConvertKingsoftList(const Text& listText);
bool IsTooShortRule(const Text& rule);

void ConvertSiteEntry(const Text& domain, int hostKind, const Text& pattern, int kind, int list,
                      SiteListRules& rules);
Text RemoveRegexComments(const Text& pattern);
// The site list a LoadSiteList call left in `reader`, converted; empties the reader.
void ConvertLoadedSiteList(XmlReader& reader, SiteListRules& rules);

}  // namespace stepwise
