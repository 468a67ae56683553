// The update probes: page parsing as tables, then the eight probes of a first activation
// against the local mirror, and against no server at all.
#include <gtest/gtest.h>

#include "common/stop.h"
#include "common/worker_threads.h"
#include "mirror_process.h"
#include "ui/controls.h"
#include "ui/layout.h"
#include "web/probes.h"
#include "window_harness.h"

namespace t = platform::test;

namespace {

// Pads a page past the 200-byte minimum without adding markers.
Text Page(const Text& content) { return content + "<p>" + Text(220, 'x') + "</p>"; }

const char* const kQuote = "<div class=\"quote\">";

struct Expected {
    bool hasDate;
    Text date;
    bool hasNote;
    Text note;
};

void Check(ProbeFindings (*parse)(const Text&), const Text& page, const Expected& e) {
    const ProbeFindings f = parse(page);
    EXPECT_EQ(f.hasDate, e.hasDate) << page;
    EXPECT_EQ(f.date, e.date) << page;
    EXPECT_EQ(f.hasNote, e.hasNote) << page;
    EXPECT_EQ(f.note, e.note) << page;
}

TEST(ForumThreadPage, DateFromTheTitleAndNoteFromTheFirstQuote) {
    const Text quote = Text(kQuote) + "a &nbsp;b<BR>c<span class=x>d</span>\r\ne</div>";
    struct Case { Text page; Expected e; };
    const Case cases[] = {
        {Page("<title>Rules update [2010-07-01] - forum</title>" + quote),
         {true, "[2010-07-01]", true, "ab\r\ncde"}},
        {Page("<title>a [b] c [d]</title>" + quote), {true, "[d]", true, "ab\r\ncde"}},
        {Page("<TITLE>[&quot;x&nbsp;y&quot;]</TITLE>"), {true, "[\"x y\"]", false, ""}},
        // The last "]" before the last "[": an empty date, still appended.
        {Page("<title>x ] y [ z</title>" + quote), {true, "", true, "ab\r\ncde"}},
        // A "[" that is the second byte of a double-byte character is not a bracket.
        {Page("<title>[2010-07-01] \x81[</title>"), {true, "[2010-07-01]", false, ""}},
        {Page("<title>[2010-07-01]</title>") + kQuote + "no end", {true, "[2010-07-01]", false, ""}},
        {Page("<title>no brackets</title>" + quote), {false, "", false, ""}},
        {Page("<title>only [ open</title>"), {false, "", false, ""}},
        {Page("<title>[]</title>"), {false, "", false, ""}},       // two bytes: too short
        {Page("<title>[x]"), {false, "", false, ""}},              // no </title>
        {Page("[x]</title><title>"), {false, "", false, ""}},      // </title> first: empty title
        {"<title>[2010-07-01]</title>" + quote, {false, "", false, ""}},  // 200 bytes or fewer
        {"", {false, "", false, ""}},
    };
    for (const Case& c : cases) Check(ParseForumThreadPage, c.page, c.e);
}

TEST(KingsoftRulePage, DateFromTheUpdateTimeAndTheDescriptionAsWritten) {
    const Text time = "<label>更新时间</label>";
    const Text desc = "<label>规则描述</label>";
    struct Case { Text page; Expected e; };
    const Case cases[] = {
        {Page("<div>" + time + "2010-06-30 12:00</div><div>" + desc + " &quot;x&quot;&nbsp;a\tb <b>c</b>\r\nd</div>"),
         {true, "[2010-06-30]", true, "\"x\"ab<b>c</b>\r\nd"}},
        {Page(time + "  发布 2010-06-30</div>" + desc + "ok</div>"), {true, "[2010-06-30]", true, "ok"}},
        {Page(time + "20100630</div>" + desc + "ok</div>"), {true, "[]", true, "ok"}},   // no "-"
        {Page(time + "10-06-30</div>" + desc + "ok</div>"), {true, "[]", true, "ok"}},   // too few before it
        {Page(time + "2010-06</div>"), {true, "[2010-06]", false, ""}},   // up to ten, within the field
        {Page(time + "2010-06-30</div>" + desc + "no end"), {true, "[2010-06-30]", false, ""}},
        {Page(time + "2010-06-30</div>"), {true, "[2010-06-30]", false, ""}},
        {Page(time + "2010-06-30 no end"), {false, "", false, ""}},
        {Page(desc + "ok</div>"), {false, "", false, ""}},
        {time + "2010-06-30</div>" + desc + "ok</div>", {false, "", false, ""}},  // 200 bytes or fewer
    };
    for (const Case& c : cases) Check(ParseKingsoftRulePage, c.page, c.e);
}

TEST(ChinaListHeader, CaptionFromTheLastModifiedLine) {
    const Text filler = "\n" + Text(1000, 'f') + "\n";
    struct Case { Text list; bool ok; Text caption; };
    const Case cases[] = {
        {"[Adblock Plus 1.1]\n! Last Modified: Wed, 07 Jul 2010 10:00:00 +0800" + filler, true,
         "ChinaList-Lazy[2010-07-07]"},
        {"! Last Modified: Wed, 07 July 2010 10:00:00 +0800" + filler, true, "ChinaList-Lazy[2010-July-07]"},
        {"! last modified:  Mon,   5  Dec   2010 1" + filler, true, "ChinaList-Lazy[2010-12-5]"},
        {"! Last Modified: Mon, 28 Jun 2010\r\n\r\n! Expires: 5 days" + filler, true,
         "ChinaList-Lazy[2010\n\n!-06-28]"},  // no time: the year runs to the next space
        {"! Last Modified: 07 Jul 2010 10:00" + filler, false, "ChinaList-Lazy[]"},     // no comma
        {filler + "! Last Modified: Wed, 07 Jul 2010", false, "ChinaList-Lazy[]"},      // no space after
        {"! Last Modified: Wed," + Text(1000, ' '), false, "ChinaList-Lazy[]"},         // only spaces
        {"! Title: ChinaList Lazy" + filler, false, "ChinaList-Lazy[]"},
        {"! Last Modified: Wed, 07 Jul 2010 10:00:00 +0800\n", false, "ChinaList-Lazy[]"},  // short
        {"", false, "ChinaList-Lazy[]"},
    };
    for (const Case& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(ChinaListCaption(c.list, ok), c.caption) << c.list;
        EXPECT_EQ(ok, c.ok) << c.list;
    }
}

TEST(MonthToNumber, ExactNamesOnly) {
    const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i) {
        char expected[3] = {char('0' + (i + 1) / 10), char('0' + (i + 1) % 10), 0};
        EXPECT_EQ(MonthToNumber(months[i]), expected) << months[i];
    }
    for (const Text other : {"jan", "JAN", "July", "", "13", "Jan "}) EXPECT_EQ(MonthToNumber(other), other);
}

// The dated sources, their boxes and the dates the mirror's pages give them.
const struct {
    RuleSource source;
    ControlId box;
    const char* date;
} kDated[] = {
    {RuleSource::Maxthon, 选择框_傲游论坛规则, "[2010-07-01]"},
    {RuleSource::Kafan, 选择框_卡饭论坛规则, "[2010-06-30]"},
    {RuleSource::Novel, 选择框_小说网站广告过滤, "[2010-06-21]"},
    {RuleSource::Movie, 选择框_电影网站广告过滤, "[2010-07-02]"},
    {RuleSource::Anime, 选择框_动漫网站广告过滤, "[2010-05-28]"},
    {RuleSource::Malicious, 选择框_不良网站恶意元素过滤, "[2010-06-11]"},
    {RuleSource::HotNovel, 选择框_热门小说网站广告过滤, "[2010-07-05]"},
};

Text LaidOut(ControlId id) { return kMainWindowControls[id].caption; }

class ProbeRun : public testing::Test {
protected:
    void SetUp() override {
        ClearStop();
        ASSERT_NE(mirror.port(), 0) << "mirror did not start";
    }
    void TearDown() override { ClearStop(); }
    Mirror mirror;
};

TEST_F(ProbeRun, FirstActivationDatesEveryCaptionAndKeepsTheNotesAndTheList) {
    RuleHostFor host(mirror.address());
    PluginWindow w;
    ASSERT_TRUE(w.open());
    ASSERT_TRUE(t::WaitUntil([&] {
        for (const auto& d : kDated) {
            if (t::Caption(d.box) != LaidOut(d.box) + d.date) return false;
        }
        return t::Caption(选择框_ChinaList规则) == "ChinaList-Lazy[2010-07-07]";
    }, 20000)) << t::Caption(选择框_傲游论坛规则) << " " << t::Caption(选择框_ChinaList规则);

    for (const auto& d : kDated) EXPECT_EQ(UpdateDate(d.source).Get(), d.date) << d.box;
    EXPECT_EQ(UpdateInfo(RuleSource::Maxthon).Get(), "本帖的附件为傲游3广告过滤规则，\r\n每周更新一次。下载后由工具自动导入。");
    EXPECT_EQ(UpdateInfo(RuleSource::Kafan).Get(), "过滤卡饭论坛规则的广告与弹窗，\n每周更新。\"订阅即可用\"");
    EXPECT_EQ(UpdateInfo(RuleSource::Novel).Get(), "过滤小说网站的广告与弹窗，\n每周更新。\"订阅即可用\"");
    const Text list = ChinaListText().Get();
    EXPECT_TRUE(StartsWith(list, "[Adblock Plus 1.1]\n")) << list.substr(0, 40);
    EXPECT_TRUE(Contains(list, "本列表合并了")) << "decoded to GBK";

    // One request per probe, each for its own page.
    EXPECT_FALSE(mirror.RequestFor("GET /viewthread.php?tid=273069 ").empty());
    EXPECT_FALSE(mirror.RequestFor("GET /svn/trunk/adblock-lazy.txt ").empty());
    for (const RuleSourceRow& row : kRuleSources) {
        if (!row.kingsoftRuleId) continue;
        EXPECT_FALSE(mirror.RequestFor(std::string("/filerule/rule_item/?rule_guid=") + row.kingsoftRuleId).empty())
            << row.name;
    }
    EXPECT_EQ(mirror.Requests().size(), 8u);
}

TEST_F(ProbeRun, WithNoServerTheCaptionsStayAndEveryNoteFails) {
    RuleHostFor host("127.0.0.1:9");
    PluginWindow w;
    ASSERT_TRUE(w.open());
    ASSERT_TRUE(t::WaitUntil([] { return t::Caption(选择框_ChinaList规则) == "ChinaList-Lazy[]"; }, 20000));
    ASSERT_TRUE(t::WaitUntil([&] {
        for (const auto& d : kDated) {
            if (UpdateInfo(d.source).Get() != kUpdateInfoFailed) return false;
        }
        return true;
    }, 20000));
    for (const auto& d : kDated) EXPECT_EQ(t::Caption(d.box), LaidOut(d.box)) << d.box;
    for (const auto& d : kDated) EXPECT_EQ(UpdateDate(d.source).Get(), "") << d.box;
    EXPECT_EQ(ChinaListText().Get(), "");
}

TEST_F(ProbeRun, AProbeWaitingForItsPageEndsWithTheWindow) {
    // The silent host never answers: every probe is still waiting when the window closes.
    PluginWindow w;
    ASSERT_TRUE(w.open());
    ASSERT_TRUE(t::WaitUntil([] { return TaskRunning(0) && TaskRunning(2) && TaskRunning(7); }, 2000));
    ASSERT_TRUE(w.CloseAndWait(5000));
    for (int slot = 0; slot < 8; ++slot) EXPECT_FALSE(TaskRunning(slot)) << slot;
}

}  // namespace
