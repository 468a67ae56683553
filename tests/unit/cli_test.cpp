// The command line, run as a program on small fixture files, on a profile directory and against
// the local mirror; its output must be what the plug-in's own converters, package writer and
// fetch give.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "common/encoding.h"
#include "common/rule_list.h"
#include "common/xml_reader.h"
#include "mirror_process.h"
#include "rules/sources/chinalist_convert.h"
#include "rules/sources/fetch_rules_task.h"
#include "rules/sources/kingsoft_convert.h"
#include "rules/sources/sitelist_convert.h"

namespace {

struct Result {
    int status;
    std::string out;
};

// Runs the program with `args` (a shell word list), capturing stdout; stderr goes to `errFile`.
// `env` is put in front of the command (VAR=value ...).
Result RunCli(const std::string& args, const std::string& errFile = "/dev/null", const std::string& env = "") {
    const std::string command = env + " " + std::string(QUORLEX_CLI) + " " + args + " 2>" + errFile;
    Result r{-1, ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.out.append(buffer, n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Literals are GBK at run time; lists on disk that the program reads as UTF-8 are written so.
std::string Utf8(const Text& gbk) { return TextUpTo0(WideToUtf8(GbkToWide(gbk))); }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quorlex-cli-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string dir_;
};

// What the program prints for these lists: one rule per line, "[white]" between.
std::string Expected(const Text& black, const Text& white, bool blackPart = true, bool whitePart = true) {
    std::string out;
    auto add = [&out](const Text& rules) {
        for (const Text& rule : SplitRuleLines(TrimRuleText(rules)))
            if (!TrimRuleText(rule).empty()) out += rule + "\n";
    };
    if (blackPart) add(black);
    if (blackPart && whitePart) out += "[white]\n";
    if (whitePart) add(white);
    return out;
}

const char kAbp[] = "[Adblock Plus 1.1]\n! comment\n||ads.example.com^$third-party\n@@||ok.example.com^\n"
                    "example.org##.banner\n/广告/*\n";
const char kKingsoft[] = "0,1,www.example.com/ad/*,1\r\n*.doubleclick.net\r\nhttp://ads.example.cn/\r\n"
                         "1,2,*banner*.gif\r\n";
const char kSiteList[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<sp>\n"
    "<site d=\"example.com\"><whitelist><e mode=\"0\">/ok/*</e></whitelist><blacklist><e mode=\"0\">/ad/*</e></blacklist></site>\n"
    "<site d=\"*\"><blacklist><e mode=\"0\">*.swf?ad=*</e></blacklist></site>\n</sp>\n";

TEST_F(Cli, ConvertsEachFormatExactlyAsThePlugInDoes) {
    const std::string abp = Write("lazy.txt", Utf8(kAbp));
    const ChinaListBuckets b = ConvertChinaList(kAbp, nullptr);
    const Text chinaBlack = b.block + kCrLf + b.hide;
    EXPECT_EQ(RunCli("convert abp " + abp).out, Expected(chinaBlack, b.white));

    const std::string ks = Write("kafan.txt", kKingsoft);
    EXPECT_EQ(RunCli("convert kingsoft " + ks).out, Expected(ConvertKingsoftList(kKingsoft), ""));

    const std::string site = Write("SiteList.xml", Utf8(kSiteList));
    XmlReader reader;
    SiteListRules rules;
    ASSERT_TRUE(ConvertSiteListText(kSiteList, reader, rules));
    const std::string expected = Expected(rules.blockRules, rules.whiteRules);
    EXPECT_EQ(RunCli("convert sitelist " + site).out, expected);
    EXPECT_EQ(RunCli("convert sitelist " + dir_).out, expected);  // the directory holding it
    EXPECT_NE(expected.find("**://example.com^*/ad/*"), std::string::npos) << expected;
}

TEST_F(Cli, SeveralFilesListPartsAndUtf8) {
    const std::string one = Write("a.txt", "a.example.com/x/*\r\n"), two = Write("b.txt", "b.example.com/y/*\r\n");
    const Text a = ConvertKingsoftList("a.example.com/x/*\r\n"), b = ConvertKingsoftList("b.example.com/y/*\r\n");
    EXPECT_EQ(RunCli("convert kingsoft " + one + " " + two).out, Expected(a + kCrLf + b, ""));

    const std::string abp = Write("lazy.txt", Utf8(kAbp));
    const ChinaListBuckets lists = ConvertChinaList(kAbp, nullptr);
    EXPECT_EQ(RunCli("convert abp --white-only " + abp).out, Expected("", lists.white, false, true));
    EXPECT_EQ(RunCli("convert abp --black-only " + abp).out,
              Expected(lists.block + kCrLf + lists.hide, "", true, false));
    const Result gbk = RunCli("convert abp --black-only " + abp), utf8 = RunCli("convert abp --black-only --utf8 " + abp);
    EXPECT_NE(gbk.out.find("\xB9\xE3\xB8\xE6"), std::string::npos);  // 广告 in GBK
    EXPECT_NE(utf8.out.find(Utf8("广告")), std::string::npos);
}

TEST_F(Cli, TheMessageBoxBecomesALineOnStandardError) {
    const std::string abp = Write("lazy.txt", "[Adblock Plus]\na.com,,b.com##.ad\n");
    const std::string err = dir_ + "/err.txt";
    const Result r = RunCli("convert abp " + abp, err);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(ReadFile(err), Utf8("信息：##.ad\n"));  // messages are UTF-8
}

// A command line that must fail: its exit status and a text its message must hold.
struct ErrorCase {
    std::string args;
    int status;
    std::string message;
};

void ExpectErrors(const std::vector<ErrorCase>& cases, const std::string& err) {
    for (const ErrorCase& c : cases) {
        const Result r = RunCli(c.args, err);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_NE(ReadFile(err).find(c.message), std::string::npos) << c.args << ": " << ReadFile(err);
    }
}

TEST_F(Cli, BadInputIsAClearErrorNeverACrash) {
    const std::string err = dir_ + "/err.txt";
    const std::vector<ErrorCase> cases = {
        {"convert abp " + dir_ + "/missing.txt", 1, dir_ + "/missing.txt"},
        {"convert sitelist " + Write("bad.xml", "<notsp/>"), 1, "bad.xml"},
        {"convert sitelist " + Write("junk.xml", std::string(3000, '<')), 1, "junk.xml"},
        {"convert rar x.txt", 2, "unknown format"},
        {"convert abp", 2, "usage"},
        {"convert abp --black-only --white-only x", 2, "usage"},
        {"frobnicate", 2, "unknown command"},
        {"", 2, "usage"},
    };
    ExpectErrors(cases, err);
    for (const char* help : {"--help", "convert --help", "package --help", "package write --help", "fetch --help"}) {
        EXPECT_EQ(RunCli(help, err).status, 0) << help;
        EXPECT_NE(ReadFile(err).find("usage: quorlex"), std::string::npos) << help;
    }
}

// Writes both lists into a profile's package and reads them back; the second write keeps the
// first package as the backup.
TEST_F(Cli, PackageWriteThenRead) {
    const std::string profile = dir_ + "/profile";
    ASSERT_EQ(std::system(("mkdir " + profile).c_str()), 0);
    const std::string black = Write("black.txt", Utf8("**://ads.example.com^*\r\n  \r\nexample.org##.广告\r\n"));
    const std::string white = Write("white.txt", "@@||ok.example.com^\n");
    const std::string err = dir_ + "/err.txt";
    Result r = RunCli("package write " + profile + " --black " + black + " --utf8", err);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(ReadFile(err), Utf8("写入成功！请立即重启浏览器以使规则生效\n"));
    const std::string first = ReadFile(profile + "/ContentListPackage");
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(RunCli("package write " + profile + " --white " + white).status, 0);
    EXPECT_EQ(ReadFile(profile + "/ContentListPackage.Backup"), first);

    r = RunCli("package read " + profile + " --utf8");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, Utf8("**://ads.example.com^*\nexample.org##.广告\n[white]\n@@||ok.example.com^\n"));
    EXPECT_EQ(RunCli("package read " + profile + " --white-only").out, "@@||ok.example.com^\n");
}

TEST_F(Cli, PackageErrorsNameTheFile) {
    const std::string profile = dir_ + "/profile", broken = dir_ + "/broken";
    ASSERT_EQ(std::system(("mkdir " + profile + " " + broken).c_str()), 0);
    Write("broken/ContentListPackage", "PK\x03\x04 not really a zip");
    const std::string rules = Write("rules.txt", "**://a.example.com^*\n"), blank = Write("blank.txt", " \r\n\r\n");
    const std::string err = dir_ + "/err.txt";
    const std::vector<ErrorCase> cases = {
        {"package read " + dir_ + "/nowhere", 1, dir_ + "/nowhere"},
        {"package read " + profile, 1, "ContentListPackage"},
        {"package read " + broken, 1, "ContentListPackage"},
        {"package write " + profile + " --black " + dir_ + "/missing.txt", 1, "missing.txt"},
        {"package write " + profile + " --white " + blank, 1, Utf8("写入失败，不能保存空数据！")},
        {"package write " + profile, 2, "usage"},
        {"package write " + profile + " --black " + rules + " --white " + rules, 2, "usage"},
        {"package erase " + profile, 2, "unknown action"},
    };
    ExpectErrors(cases, err);
    // A damaged package with no backup is kept as the backup, and the message says so.
    const std::string damaged = ReadFile(broken + "/ContentListPackage");
    EXPECT_EQ(RunCli("package write " + broken + " --black " + rules, err).status, 0);
    EXPECT_EQ(ReadFile(err), Utf8("写入成功！原规则包已损坏，已保留为备份\n"));
    EXPECT_EQ(ReadFile(broken + "/ContentListPackage.Backup"), damaged);
    EXPECT_EQ(RunCli("package read " + broken).out, "**://a.example.com^*\n[white]\n");
}

// The fetch button without the window: the chosen sources against the mirror, merged in the
// plug-in's bucket order, progress on standard error.
TEST_F(Cli, FetchPrintsTheMergedLists) {
    Mirror mirror;
    ASSERT_NE(mirror.port(), 0);
    const std::string env = "QUORLEX_RULE_HOST=" + mirror.address();
    const std::string fixtures = std::string(QUORLEX_SOURCE_DIR) + "/tests/mirror/fixtures/";
    XmlReader reader;
    SiteListRules maxthon;
    ASSERT_TRUE(ConvertSiteListText(Utf8ToGbk(ReadFile(fixtures + "maxthon/SiteList.xml")), reader, maxthon));
    const ChinaListBuckets lazy = ConvertChinaList(Utf8ToGbk(ReadFile(fixtures + "chinalist/adblock-lazy.txt")), nullptr);
    const Text kEmpty;
    const std::string err = dir_ + "/err.txt";
    const Result r = RunCli("fetch maxthon chinalist", err, env);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, Expected(MergeRuleBuckets({&maxthon.blockRules, &kEmpty, &lazy.block, &lazy.hide}),
                              MergeRuleBuckets({&maxthon.whiteRules, &lazy.white})));
    const std::string progress = ReadFile(err);
    EXPECT_NE(progress.find(Utf8("成功获取傲游规则！")), std::string::npos) << progress;
    EXPECT_NE(progress.find(Utf8("过滤规则获取完毕！")), std::string::npos) << progress;

    const Result ks = RunCli("fetch kingsoft --black-only", err, env);
    EXPECT_EQ(ks.status, 0);
    for (const char* id : {"761e39dc276111df8e7700215a45ab18", "c4b5cd522cd511df9fd600215a45ab18"}) {
        const Text first = TrimRuleText(ConvertKingsoftList(ReadFile(fixtures + "kingsoft/list_" + id + ".txt")));
        EXPECT_NE(ks.out.find(SplitRuleLines(first)[0]), std::string::npos) << id;
    }
    EXPECT_EQ(ks.out.find("[white]"), std::string::npos);

    const Result bad = RunCli("fetch maxthon flickr", err, env);
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(ReadFile(err).find("unknown source flickr"), std::string::npos);
}

// The rules that stay, in their order; with --removed, each removed rule and the rule covering it.
TEST_F(Cli, PruneKeepsWhatStaysAndSaysWhyTheOthersWent) {
    const std::string list = Write("black.txt", "**://a.com/ads/*\r\n**://例子.com/*\r\n**://a.com^*\r\n"
                                                 "**://b.com^*##.广告\r\n**://*##.广告\r\n**://a.com^*\r\n");
    const std::string utf8 = Write("black-utf8.txt", Utf8("**://a.com/x*\n**://广告.cn/*\n**://a.com/x*\n"));
    const std::string err = dir_ + "/err.txt";

    Result r = RunCli("prune " + list, err);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, Text("**://例子.com/*\n**://a.com^*\n**://*##.广告\n"));  // GBK in, GBK out
    EXPECT_NE(ReadFile(err).find("3 of 6 lines removed"), std::string::npos) << ReadFile(err);

    r = RunCli("prune --removed " + list);
    EXPECT_EQ(r.out, Text("**://a.com/ads/*\t**://a.com^*\n**://b.com^*##.广告\t**://*##.广告\n"
                          "**://a.com^*\t**://a.com^*\n"));

    r = RunCli("prune --utf8 " + utf8);
    EXPECT_EQ(r.out, Utf8("**://a.com/x*\n**://广告.cn/*\n"));

    ExpectErrors({{"prune " + dir_ + "/missing.txt", 1, dir_ + "/missing.txt"},
                  {"prune", 2, "usage"},
                  {"prune --fast " + list, 2, "--fast"},
                  {"prune " + list + " " + list, 2, "usage"}},
                 err);
    EXPECT_EQ(RunCli("prune --help", err).status, 0);
    EXPECT_NE(ReadFile(err).find("generic rule"), std::string::npos);
}

}  // namespace
