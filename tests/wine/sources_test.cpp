// Rule sources through the real DLL and WinINet, against the local mirror: the lists arrive in
// the edit boxes converted, in bucket order.
#include "plugin_window.h"

#include <fstream>

#include "browser_profile.h"
#include "common/encoding.h"
#include "disk_watch.h"
#include "mirror.h"
#include "rules/sources/chinalist_convert.h"
#include "rules/sources/fetch_rules_task.h"
#include "rules/sources/kingsoft_convert.h"
#include "rules/sources/sitelist_convert.h"

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

// The Maxthon work directories in the directory the "tmp" variable names.
std::vector<std::wstring> MaxthonWorkDirs() {
    wchar_t tmp[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"tmp", tmp, MAX_PATH);
    std::vector<std::wstring> dirs;
    if (n == 0 || n >= MAX_PATH) return dirs;
    const std::wstring base = std::wstring(tmp, n) + L"\\";
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((base + L"*.tqnx").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return dirs;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) dirs.push_back(base + found.cFileName);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return dirs;
}

// Attachments that would fill the disk, through the real DLL: 7z bombs for the 7z library it
// mapped from memory, too many entries for the extractor it wrote. The step ends with its unpack
// failure having had no more than the saved archive and the bound of one file (64 MiB) on disk,
// leaves the saved archive alone in its work directory, and the ChinaList rules still arrive.
TEST(RuleSources, HostileMaxthonAttachmentsAreRefusedAndTheOtherSourcesArrive) {
    ASSERT_FALSE(MirrorAddress().empty());
    const ChinaListBuckets lazy = ConvertChinaList(Utf8ToGbk(Fixture("chinalist/adblock-lazy.txt")), nullptr);
    ASSERT_FALSE(lazy.block.empty());
    RuleHost host(MirrorAddress());
    for (const char* kind : {"7z-bomb", "7z-understated", "rar-many"}) {
        SCOPED_TRACE(kind);
        const uint64_t archiveSize = HostileArchive(kind).size();  // made now, not while the step waits
        ASSERT_GT(archiveSize, 1000u);
        PluginWindow w;
        ASSERT_NE(w.hwnd(), nullptr);
        MaxthonScenario scenario(kind);
        ASSERT_TRUE(scenario.ok());
        TickOnly(w, {选择框_傲游论坛规则, 选择框_ChinaList规则});
        // Left by the row before: gone before the watch looks into them, or the step's own
        // clean-up could find a directory held open by a look.
        for (const std::wstring& dir : MaxthonWorkDirs()) DeleteTree(dir);
        DiskWatch watch(MaxthonWorkDirs);
        w.Click(按钮_获取规则);
        EXPECT_TRUE(WaitFor([&] { return w.Text(标签_状态) == L"傲游规则文件解压失败！"; }, 60000));
        EXPECT_TRUE(WaitFor([&] { return w.Text(标签_状态) == L"过滤规则获取完毕！" &&
                                         IsWindowEnabled(w.Control(按钮_获取规则)); }, 60000));
        const uint64_t peak = watch.Peak();
        EXPECT_LE(peak, archiveSize + (uint64_t(64) << 20) + 474);
        RecordProperty(std::string("maxthon_") + kind + "_peak_bytes", std::to_string(peak));
        const std::vector<std::wstring> dirs = MaxthonWorkDirs();
        ASSERT_EQ(dirs.size(), 1u);
        EXPECT_EQ(NamesIn(dirs[0]), std::vector<std::wstring>{L"SiteList.rar"});
        EXPECT_NE(BoxText(w, 编辑框_黑名单).find(lazy.block), std::string::npos);
    }
}

}  // namespace
