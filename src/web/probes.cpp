#include "web/probes.h"

#include <array>
#include <memory>

#include "common/encoding.h"
#include "common/task_report.h"
#include "web/decode.h"
#include "web/rule_sites.h"
#include "web/web_fetch.h"

namespace {

std::array<SharedText, kRuleSourceCount> updateInfos, updateDates;
SharedText chinaListText;

constexpr const char* kQuoteMarker = "<div class=\"quote\">";  // 19 bytes
constexpr const char* kUpdateTimeLabel = "<label>更新时间</label>";  // 23 bytes
constexpr const char* kDescriptionLabel = "<label>规则描述</label>";  // 23 bytes
constexpr const char* kChinaListCaption = "ChinaList-Lazy";

long Len(const char* s) { return long(Text(s).size()); }

Text DecodeEntities(const Text& t) {
    return ReplaceAll(ReplaceAll(t, "&quot;", "\""), "&nbsp;", " ");
}

// The text between the end of `label` and the next "</div>", or false when either is missing.
bool FieldAfter(const Text& page, const char* label, Text& field) {
    const size_t a = Find(page, label);
    if (!a) return false;
    const size_t e = Find(page, "</div>", a);
    if (!e) return false;
    field = Mid(page, long(a) + Len(label), long(e) - long(a) - Len(label));
    return true;
}

Text FetchPage(const Text& url) { return Utf8ToGbk(StripUtf8Bom(WebFetch(url))); }

void Report(RuleSource source, const ProbeFindings& f) {
    if (!f.hasDate) {
        UpdateDate(source).Set("");
        UpdateInfo(source).Set(kUpdateInfoFailed);
        return;
    }
    // The note is in place before the dated caption shows, so a hover that sees the date sees it.
    UpdateDate(source).Set(f.date);
    UpdateInfo(source).Set(f.hasNote ? f.note : Text(kUpdateInfoFailed));
    AppendSourceCaption(source, f.date);
}

}  // namespace

SharedText& UpdateInfo(RuleSource source) { return updateInfos[size_t(source)]; }
SharedText& UpdateDate(RuleSource source) { return updateDates[size_t(source)]; }
SharedText& ChinaListText() { return chinaListText; }

void ReleaseProbeResults() {
    for (SharedText& info : updateInfos) info.Set(Text());
    for (SharedText& date : updateDates) date.Set(Text());
    chinaListText.Set(Text());
}

ProbeFindings ParseForumThreadPage(const Text& page) {
    ProbeFindings f;
    if (page.size() <= 200) return f;
    const size_t a = Find(page, "<title>");
    const size_t b = Find(page, "</title>");
    if (!a || !b) return f;
    const Text title = DecodeEntities(Mid(page, long(a) + 7, long(b) - long(a) - 7));
    if (title.size() <= 2) return f;
    const size_t l = FindLast(title, "[");
    const size_t r = FindLast(title, "]");
    if (!l || !r) return f;
    f.hasDate = true;
    f.date = Mid(title, long(l), long(r) - long(l) + 1);

    const size_t q = Find(page, kQuoteMarker);
    if (!q) return f;
    const size_t e = Find(page, "</div>", q);
    if (!e) return f;
    f.hasNote = true;
    f.note = CleanHtmlText(Mid(page, long(q) + 19, long(e) - long(q) - 19));
    return f;
}

ProbeFindings ParseKingsoftRulePage(const Text& page) {
    ProbeFindings f;
    if (page.size() <= 200) return f;
    Text field;
    if (!FieldAfter(page, kUpdateTimeLabel, field)) return f;
    const size_t d = Find(field, "-");
    f.hasDate = true;
    f.date = "[" + (d ? Mid(field, long(d) - 4, 10) : Text()) + "]";

    Text desc;
    if (!FieldAfter(page, kDescriptionLabel, desc)) return f;
    f.hasNote = true;
    f.note = RemoveAll(RemoveAll(DecodeEntities(desc), " "), "\t");
    return f;
}

Text MonthToNumber(const Text& month) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* const kNumbers[] = {"01", "02", "03", "04", "05", "06",
                                           "07", "08", "09", "10", "11", "12"};
    for (int i = 0; i < 12; ++i) {
        if (month == kMonths[i]) return kNumbers[i];
    }
    return month;
}

Text ChinaListCaption(const Text& list, bool& ok) {
    ok = false;
    const Text failed = Text(kChinaListCaption) + "[]";
    if (list.size() < 1000) return failed;
    const Text copy = ReplaceAll(ReplaceAll(list, "\r", "\n"), "\n\n", "\n");
    const size_t h = Find(copy, "Last Modified:");
    if (!h) return failed;
    size_t stop = Find(copy, ",", h);
    if (!stop) return failed;
    Text words[3];  // day, month, year
    for (Text& word : words) {
        size_t p = stop + 1;
        while (p <= copy.size() && copy[p - 1] == ' ') ++p;
        const size_t s = p <= copy.size() ? Find(copy, " ", p) : 0;
        if (!s) return failed;
        word = Mid(copy, long(p), long(s) - long(p));
        stop = s;
    }
    ok = true;
    return Text(kChinaListCaption) + "[" + words[2] + "-" + MonthToNumber(words[1]) + "-" +
           words[0] + "]";
}

void RunUpdateProbe(RuleSource source) {
    const RuleSourceRow& row = SourceRow(source);
    switch (row.probe) {
    case UpdateProbe::ForumThread: return ProbeForumThread();
    case UpdateProbe::KingsoftRule: return ProbeKingsoftRule(row.kingsoftRuleId, source);
    case UpdateProbe::ChinaList: return ProbeChinaList();
    case UpdateProbe::None: return;
    }
}

void ProbeForumThread() {
    const Text page = FetchPage(RuleSiteUrl(kMaxthonForumHost, "/viewthread.php?tid=273069"));
    Report(RuleSource::Maxthon, ParseForumThreadPage(page));
}

void ProbeKingsoftRule(const Text& ruleId, RuleSource source) {
    const Text page =
        FetchPage(RuleSiteUrl(kKingsoftRuleHost, "/filerule/rule_item/?rule_guid=" + ruleId));
    Report(source, ParseKingsoftRulePage(page));
}

void ProbeChinaList() {
    const auto list = std::make_shared<const Text>(Utf8ToGbk(WebFetch(RuleSiteUrl(kChinaListHost, kChinaListPath))));
    chinaListText.Set(list);
    bool ok = false;
    const Text caption = ChinaListCaption(*list, ok);
    if (!ok) chinaListText.Set("");
    SetSourceCaption(RuleSource::ChinaList, caption);
}
