// Rule sources through the real DLL and WinINet, against the local mirror: the lists arrive in
// the edit boxes converted, in bucket order.
#include "plugin_window.h"

#include <fstream>

#include "mirror.h"
#include "rules/sources/chinalist_convert.h"
#include "rules/sources/fetch_rules_task.h"
#include "rules/sources/kingsoft_convert.h"
#include "rules/sources/sitelist_convert.h"
#include "web/decode.h"

namespace {

std::string Fixture(const std::string& path) {
    std::ifstream in(std::string(QUORLEX_FIXTURE_DIR) + "/" + path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The box's text as the program's GBK.
Text BoxText(const PluginWindow& w, int id) {
    const std::wstring wide = w.Text(id);
    const int n = WideCharToMultiByte(936, 0, wide.c_str(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string gbk(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(936, 0, wide.c_str(), int(wide.size()), &gbk[0], n, nullptr, nullptr);
    return gbk;
}

void TickOnly(PluginWindow& w, std::initializer_list<int> keep) {
    for (int id = 选择框_傲游论坛规则; id <= 选择框_用户原有规则; ++id) {
        bool wanted = false;
        for (int k : keep) wanted = wanted || k == id;
        if (w.Checked(id) != wanted) w.Click(id);
    }
}

bool FetchAndWait(PluginWindow& w) {
    w.Click(按钮_获取规则);
    return WaitFor([&] { return w.Text(标签_状态) == L"过滤规则获取完毕！" &&
                                IsWindowEnabled(w.Control(按钮_获取规则)); }, 60000);
}

const Text kEmpty;

TEST(RuleSources, ChinaListOnlyFillsBothBoxesInBucketOrder) {
    ASSERT_FALSE(MirrorAddress().empty());
    RuleHost host(MirrorAddress());
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    TickOnly(w, {选择框_ChinaList规则});
    ASSERT_TRUE(FetchAndWait(w));
    const ChinaListBuckets lazy = ConvertChinaList(Utf8ToGbk(Fixture("chinalist/adblock-lazy.txt")), nullptr);
    ASSERT_FALSE(lazy.block.empty());
    EXPECT_EQ(BoxText(w, 编辑框_黑名单),
              MergeRuleBuckets({&kEmpty, &kEmpty, &lazy.block, &lazy.hide, &kEmpty, &kEmpty}));
    EXPECT_EQ(BoxText(w, 编辑框_白名单), MergeRuleBuckets({&kEmpty, &lazy.white, &kEmpty}));
}

TEST(RuleSources, TwoKingsoftListsInTableOrder) {
    ASSERT_FALSE(MirrorAddress().empty());
    RuleHost host(MirrorAddress());
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    TickOnly(w, {选择框_热门小说网站广告过滤, 选择框_卡饭论坛规则});
    ASSERT_TRUE(FetchAndWait(w));
    Text kingsoft;
    for (const char* id : {"761e39dc276111df8e7700215a45ab18", "c4b5cd522cd511df9fd600215a45ab18"}) {
        const Text rules = ConvertKingsoftList(TextUpTo0(StripUtf8Bom(
            Fixture(std::string("kingsoft/list_") + id + ".txt"))));
        ASSERT_TRUE(AppendKingsoftList(kingsoft, rules)) << id;
    }
    EXPECT_EQ(BoxText(w, 编辑框_黑名单), MergeRuleBuckets({&kEmpty, &kingsoft, &kEmpty, &kEmpty, &kEmpty, &kEmpty}));
    EXPECT_EQ(BoxText(w, 编辑框_白名单), "\r\n");
}

// The Maxthon attachment in each archive kind the forum uses, and behind the download page: the
// real DLL unpacks it (7z with its library mapped from memory, ZIP itself, RAR with the extractor
// it wrote at start-up) and converts the site list into both boxes.
TEST(RuleSources, MaxthonFromEachArchiveKindAndFromTheDownloadPage) {
    ASSERT_FALSE(MirrorAddress().empty());
    XmlReader reader;
    SiteListRules expected;
    ASSERT_TRUE(LoadSiteList(Utf8ToGbk(StripUtf8Bom(Fixture("maxthon/SiteList.xml"))), reader));
    ConvertLoadedSiteList(reader, expected);
    ASSERT_NE(expected.blockRules.find("ad.sina.com.cn"), std::string::npos);
    const Text black = MergeRuleBuckets({&expected.blockRules, &kEmpty, &kEmpty, &kEmpty, &kEmpty, &kEmpty});
    const Text white = MergeRuleBuckets({&expected.whiteRules, &kEmpty, &kEmpty});
    struct Row {
        const char* first;
        const char* linked;
    } rows[] = {{"7z", "zip"}, {"zip", "zip"}, {"rar", "zip"}, {"page", "7z"}, {"page", "rar"}};
    RuleHost host(MirrorAddress());
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.first) + " then " + r.linked);
        PluginWindow w;
        ASSERT_NE(w.hwnd(), nullptr);
        MaxthonScenario scenario(r.first, r.linked);  // after the window: a closed one stops every fetch
        ASSERT_TRUE(scenario.ok());
        TickOnly(w, {选择框_傲游论坛规则});
        ASSERT_TRUE(FetchAndWait(w));
        EXPECT_EQ(BoxText(w, 编辑框_黑名单), black);
        EXPECT_EQ(BoxText(w, 编辑框_白名单), white);
    }
}

}  // namespace
