// The Kingsoft and ChinaList source steps through the headless window, without a network: the
// ChinaList text as the update probe would have kept it, and a rule host where nothing listens.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "common/encoding.h"
#include "mirror_process.h"
#include "rules/sources/chinalist_convert.h"
#include "rules/sources/kingsoft_convert.h"
#include "rules/sources/source_steps.h"
#include "ui/controls.h"
#include "web/probes.h"
#include "window_harness.h"

#include <fstream>

namespace t = platform::test;

namespace {

// The ChinaList probe of the first activation writes ChinaListText when it ends (empty here,
// where nothing answers): let it end before a test puts a list there.
void WaitForTheChinaListProbe() {
    ASSERT_TRUE(t::WaitUntil([] { return t::Caption(选择框_ChinaList规则) == "ChinaList-Lazy[]"; }, 10000));
}

class SourceSteps : public ::testing::Test {
protected:
    void SetUp() override {
        PluginStartup();
        refused_.reset(new RuleHostFor("127.0.0.1:1"));  // nothing listens there: fetches fail at once
        for (Text* bucket : {&Buckets().ChinaListBlockRules, &Buckets().ChinaListWhiteRules, &Buckets().ChinaListHideRules,
                             &Buckets().KingsoftRules})
            bucket->clear();
    }
    void TearDown() override {
        t::AnswerMessageBoxesAtOnce(false);
        t::TakeMessageBoxes();
        ChinaListText().Set(Text());
        refused_.reset();
    }
    std::unique_ptr<RuleHostFor> refused_;
};

const Text kChinaList =
    "[Adblock Plus 1.1]\r\n"
    "! Title: ChinaList Lazy\r\n"
    "||ads.example.com^\r\n"
    "@@||ok.example.com^\r\n"
    "example.org##.banner\r\n"
    "##.generic\r\n"
    "a.com,,b.com##.ad\r\n";

TEST_F(SourceSteps, ChinaListUsesTheKeptTextAndShowsHidingRulesWithoutADomain) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    TickOnly({选择框_ChinaList规则});
    WaitForTheChinaListProbe();
    ChinaListText().Set(kChinaList);
    t::AnswerMessageBoxesAtOnce(true);
    t::TakeLog();
    ASSERT_TRUE(FetchAndWait(10000));
    // A generic rule gives nothing; an empty domain inside a list is shown to the user.
    EXPECT_EQ(t::TakeMessageBoxes(), std::vector<Text>{"信息：|##.ad"});
    const Text black = t::Caption(编辑框_黑名单), white = t::Caption(编辑框_白名单);
    EXPECT_NE(Find(black, "ads.example.com"), 0u) << black;
    EXPECT_NE(Find(black, "**://*##.ad"), 0u) << black;
    EXPECT_EQ(Find(black, "generic"), 0u) << black;
    EXPECT_NE(Find(black, "example.org^*##.banner"), 0u) << black;
    EXPECT_NE(Find(white, "ok.example.com"), 0u) << white;
    EXPECT_EQ(ChinaListText().Get(), kChinaList);  // kept for the next run
}

TEST_F(SourceSteps, ChinaListWithoutAListFailsAndKeepsItsBuckets) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    TickOnly({选择框_ChinaList规则});
    Buckets().ChinaListHideRules = "**://kept.example^*##.x";
    t::TakeLog();
    ASSERT_TRUE(FetchAndWait(10000));
    const std::vector<std::string> texts = StatusTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "正在获取ChinaList_Lazy规则..."), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "ChinaList_Lazy规则获取失败！"), texts.end());
    EXPECT_EQ(ChinaListText().Get(), "");
    EXPECT_EQ(t::Caption(编辑框_黑名单), "**://kept.example^*##.x\r\n");
    Buckets().ChinaListHideRules.clear();
}

TEST_F(SourceSteps, ClosingTheWindowDismissesTheMessageBoxSoTheTaskEnds) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    TickOnly({选择框_ChinaList规则});
    WaitForTheChinaListProbe();
    ChinaListText().Set(kChinaList);
    t::Click(按钮_获取规则);
    ASSERT_TRUE(t::WaitUntil([] { return t::OpenMessageBoxes() == 1; }, 5000));
    EXPECT_TRUE(w.CloseAndWait(2000));
    EXPECT_EQ(w.result(), 0);
    EXPECT_EQ(t::OpenMessageBoxes(), 0);
}

TEST_F(SourceSteps, EachTickedKingsoftListThatFailsShowsItsOwnMessage) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    TickOnly({选择框_卡饭论坛规则, 选择框_不良网站恶意元素过滤});
    Buckets().KingsoftRules = "left from before";
    t::TakeLog();
    ASSERT_TRUE(FetchAndWait(10000));
    const std::vector<std::string> texts = StatusTexts();
    const auto start = std::find(texts.begin(), texts.end(), "正在获取金山规则...");
    ASSERT_LE(std::distance(start, texts.end()), std::ptrdiff_t(texts.size()));
    ASSERT_GE(std::distance(start, texts.end()), 3);
    const std::vector<std::string> kingsoft(start, start + 3);
    EXPECT_EQ(kingsoft, std::vector<std::string>({"正在获取金山规则...", "卡饭论坛规则获取失败！",
                                                  "不良网站恶意元素过滤规则获取失败！"}));
    EXPECT_EQ(Buckets().KingsoftRules, "");  // emptied at the start of every run
}

std::string Fixture(const std::string& path) {
    std::ifstream in(std::string(QUORLEX_SOURCE_DIR) + "/tests/mirror/fixtures/" + path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(SourceSteps, AgainstTheMirrorTheListsArriveConverted) {
    Mirror mirror;
    ASSERT_NE(mirror.port(), 0);
    refused_.reset();
    RuleHostFor host(mirror.address());
    PluginWindow w;
    ASSERT_TRUE(w.open());
    TickOnly({选择框_卡饭论坛规则, 选择框_ChinaList规则});
    t::AnswerMessageBoxesAtOnce(true);
    ASSERT_TRUE(FetchAndWait(20000));

    const Text kafan = TrimRuleText(ConvertKingsoftList(TextUpTo0(StripUtf8Bom(
        Fixture("kingsoft/list_761e39dc276111df8e7700215a45ab18.txt")))));
    ASSERT_GE(kafan.size(), kMinKingsoftListBytes);
    EXPECT_EQ(TrimRuleText(Buckets().KingsoftRules), kafan);
    const ChinaListBuckets lazy = ConvertChinaList(Utf8ToGbk(Fixture("chinalist/adblock-lazy.txt")), nullptr);
    EXPECT_EQ(Buckets().ChinaListBlockRules, lazy.block);
    EXPECT_EQ(Buckets().ChinaListWhiteRules, lazy.white);
    EXPECT_EQ(Buckets().ChinaListHideRules, lazy.hide);
    EXPECT_NE(Find(t::Caption(编辑框_黑名单), kafan), 0u);
    EXPECT_FALSE(mirror.RequestFor("/filerule/download/blackurl_rule/761e39dc276111df8e7700215a45ab18/").empty());
}

TEST_F(SourceSteps, AcrossTwoRunsBucketsAreFilledEmptiedOrKept) {
    Mirror mirror;
    ASSERT_NE(mirror.port(), 0);
    refused_.reset();
    PluginWindow w;
    ASSERT_TRUE(w.open());
    t::AnswerMessageBoxesAtOnce(true);
    {
        RuleHostFor host(mirror.address());
        TickOnly({选择框_卡饭论坛规则, 选择框_ChinaList规则});
        ASSERT_TRUE(FetchAndWait(20000));
    }
    ASSERT_FALSE(Buckets().KingsoftRules.empty());
    ASSERT_FALSE(Buckets().ChinaListBlockRules.empty());
    const Text lazyBlock = Buckets().ChinaListBlockRules;

    // Second run, nothing answers: the Kingsoft bucket starts empty again and stays so; the
    // ChinaList step reuses the list it kept, so its buckets come out the same.
    RuleHostFor refused("127.0.0.1:1");
    ASSERT_TRUE(FetchAndWait(20000));
    EXPECT_EQ(Buckets().KingsoftRules, "");
    EXPECT_EQ(Buckets().ChinaListBlockRules, lazyBlock);

    // Third run with ChinaList unticked: its three buckets are emptied.
    t::Click(选择框_ChinaList规则);
    ASSERT_TRUE(FetchAndWait(20000));
    EXPECT_EQ(Buckets().ChinaListBlockRules, "");
    EXPECT_EQ(Buckets().ChinaListWhiteRules, "");
    EXPECT_EQ(Buckets().ChinaListHideRules, "");
}

}  // namespace
