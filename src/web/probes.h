// The update probes, started when the window is first activated: each fetches a small page about
// its rule source, appends the source's date to the caption of its check box and keeps its note
// (UpdateInfo); the ChinaList probe keeps the whole list in ChinaListText instead and sets its
// caption whole. The parsing is split out as pure functions.
#pragma once

#include "base/text.h"
#include "common/rule_sources.h"
#include "common/shared_text.h"

constexpr const char* kUpdateInfoFailed = "更新信息获取失败！";

// What the probes found, written by the probe threads and read by the window: the note (the
// hover help of the source's box) and the bracketed date of each source that HasUpdateNote. The
// dates are kept though nothing reads them.
SharedText& UpdateInfo(RuleSource source);
SharedText& UpdateDate(RuleSource source);
// The ChinaList list as its probe fetched it (decoded), shared with the ChinaList step; empty
// when the probe failed or has not ended.
SharedText& ChinaListText();
// Clean-up: the notes, the dates and the list emptied.
void ReleaseProbeResults();

// What a page yields. No date: outcome A (date emptied, note failed, caption unchanged). A date
// but no note: outcome B (the date stays, note failed).
struct ProbeFindings {
    bool hasDate = false;
    Text date;  // appended to the caption as it is
    bool hasNote = false;
    Text note;
};
ProbeFindings ParseForumThreadPage(const Text& page);
ProbeFindings ParseKingsoftRulePage(const Text& page);
// The ChinaList caption for a decoded list: "ChinaList-Lazy[" year-month-day "]", or
// "ChinaList-Lazy[]" when the list is too short or its date line is not found (`ok` false).
Text ChinaListCaption(const Text& list, bool& ok);
// "Jan" to "Dec" (exact case) as "01" to "12"; anything else unchanged.
Text MonthToNumber(const Text& month);

// The probe of `source` (the table of sources says which); none for a source without one.
void RunUpdateProbe(RuleSource source);

void ProbeForumThread();
// The rule page `ruleId` of the Kingsoft rule site, dating `source`.
void ProbeKingsoftRule(const Text& ruleId, RuleSource source);
void ProbeChinaList();
