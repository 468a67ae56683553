// The user rules step: reading a rule file back from the package (header dropped, "**" rules
// left out on request, line ends), its failure rows with their status texts, the work
// directory removed on every path, and the step itself through the window's fetch.
#include "rules/sources/user_rules.h"

#include <gtest/gtest.h>

#include "common/worker_threads.h"
#include "platform/native/files_test_hooks.h"
#include "platform/window.h"
#include "rules/sources/fetch_rules_task.h"
#include "rules/sources/source_steps.h"
#include "store/zip_archive.h"
#include "store_fixture.h"
#include "ui/controls.h"
#include "window_harness.h"

namespace {

using namespace storetest;
namespace hooks = platform::testhooks;
namespace t = platform::test;

const char kReadFailed[] = "用户规则获取失败！";

// An active user "u" whose package is built from the given rule files (UTF-8 bytes).
class UserRules : public ::testing::Test {
protected:
    UserRules() { profile_ = install_.AddActiveUser("u"); }
    ~UserRules() override { hooks::ResetFileHooks(); }

    void MakePackage(const std::map<std::string, std::string>& files) {
        const fs::path seed = install_.root() / "seed";
        fs::remove_all(seed);
        fs::create_directories(seed);
        for (const auto& [name, bytes] : files) WriteBytes(seed / name, bytes);
        fs::remove(package());
        ASSERT_EQ(CompressDirectory(ProgramPath(seed), ProgramPath(package())), kCompressDone);
    }
    fs::path package() const { return profile_ / "ContentListPackage"; }

    BrowserInstall install_;
    fs::path profile_;
};

TEST_F(UserRules, TheRulesAfterTheHeaderInBothModes) {
    const struct {
        std::string file;
        const char* all;
        const char* custom;
    } rows[] = {
        {std::string("[count=3]\n**://a\nb\nc") + '\0', "**://a\r\nb\r\nc", "b\r\nc"},
        {std::string("[count=3]\nb\n**://a\nc\n") + '\0', "b\r\n**://a\r\nc", "b\r\nc"},
        {"[count=2]\na\n\nb\n", "a\r\n\r\nb", "a\r\n\r\nb"},        // an empty line stays
        {"[count=0]\n", "", ""},                                   // nothing after the header
        {std::string("[count=0]\n") + '\0', "", ""},
        {"[count=1]", "", ""},                                     // no "]" LF at all
        {"[count=1]\r\na\r\n", "", ""},                            // "]" CR is no header end
        {"[count=2]\na\r\nb\r\n", "a\r\r\nb\r", "a\r\r\nb"},       // lines keep their CR
        {"no header\nrule]\nx\ny", "x\r\ny", "x\r\ny"},            // up to the first "]" LF goes
        {std::string("[count=1]\na\0after the zero", 27), "a", "a"},
        {u8"[count=2]\n规则\n**://例", "规则\r\n**://例", "规则"},
        {"[count=2]\n*one\n**two", "*one\r\n**two", "*one"},
        {"[count=2]\n**\n**", "**\r\n**", ""},
        {"", "", ""},
    };
    for (const auto& row : rows) {
        MakePackage({{"__user__element__", row.file}});
        EXPECT_EQ(ReadPackageRuleFile(kRuleFileElement, false), row.all) << row.file;
        EXPECT_EQ(ReadPackageRuleFile(kRuleFileElement, true), row.custom) << row.file;
    }
    EXPECT_EQ(install_.TmpEntries(), 0u);
}

TEST_F(UserRules, EachKindReadsItsOwnFile) {
    MakePackage({{"__user__element__", "[count=1]\nblock"},
                 {"__user__css__", "[count=1]\nhide##x"},
                 {"__user__white__", "[count=1]\n@@white\n"}});
    EXPECT_EQ(ReadPackageRuleFile(kRuleFileElement, false), "block");
    EXPECT_EQ(ReadPackageRuleFile(kRuleFileCss, false), "hide##x");
    EXPECT_EQ(ReadPackageRuleFile(kRuleFileWhite, false), "@@white");
    EXPECT_EQ(ReadPackageRuleFile(2, false), "");
    EXPECT_EQ(install_.TmpEntries(), 0u);
}

TEST_F(UserRules, FailureRowsReportAndRemoveTheWorkDirectory) {
    PluginWindow window;
    ASSERT_TRUE(window.open());
    enum Setup { NoProfile, NoPackage, NoWorkDir, NotAZip, ExtractFault, FileMissing };
    const struct {
        const char* what;
        Setup setup;
        const char* status;  // nullptr: the status line is not touched
    } rows[] = {
        {"no active profile", NoProfile, nullptr},
        {"no package", NoPackage, nullptr},
        {"work directory not made", NoWorkDir, kReadFailed},
        {"package is no archive", NotAZip, kReadFailed},
        {"extraction fails", ExtractFault, kReadFailed},
        {"file not in the package", FileMissing, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        MakePackage({{"__user__white__", "[count=1]\nw\n"}, {"other", "x"}});
        hooks::ResetFileHooks();
        hooks::HoldFileOpen(ProgramPath(profile_ / "HistoryUrl.db"));
        setenv("tmp", ProgramPath(install_.tmp()).c_str(), 1);
        switch (row.setup) {
        case NoProfile: hooks::ReleaseFile(ProgramPath(profile_ / "HistoryUrl.db")); break;
        case NoPackage: fs::remove(package()); break;
        case NoWorkDir: setenv("tmp", ProgramPath(install_.root() / "missing").c_str(), 1); break;
        case NotAZip: WriteBytes(package(), "PK but not really an archive"); break;
        case ExtractFault: hooks::FailNextWrite(0); break;
        case FileMissing: break;
        }
        t::RunOnWindowThread([] { platform::SetControlText(标签_状态, "before"); });
        EXPECT_EQ(ReadPackageRuleFile(row.setup == FileMissing ? kRuleFileElement : kRuleFileWhite, false), "");
        t::RunOnWindowThread([] {});
        const Text expected = row.status ? row.status : "before";
        EXPECT_TRUE(t::WaitUntil([&] { return t::Caption(标签_状态) == expected; }, 5000)) << t::Caption(标签_状态);
        EXPECT_EQ(install_.TmpEntries(), 0u);
    }
}

void TickOnlyUserRules() {
    for (int id = 选择框_傲游论坛规则; id <= 选择框_用户原有规则; ++id) {
        if (t::Checked(id) != (id == 选择框_用户原有规则)) t::Click(id);
    }
}

void Fetch() {
    t::Click(按钮_获取规则);
    t::RunOnWindowThread([] {});
    EXPECT_TRUE(t::WaitUntil([] { return !TaskRunning(kFetchTaskSlot); }, 30000));
    EXPECT_TRUE(t::WaitUntil([] { return t::Caption(标签_状态) == "过滤规则获取完毕！" && t::Enabled(按钮_获取规则); },
                             30000));
}

TEST_F(UserRules, TheFetchFillsTheUserBucketsInBothModes) {
    MakePackage({{"__user__element__", std::string("[count=2]\n**://ads.example/*\nmine") + '\0'},
                 {"__user__css__", std::string("[count=1]\n**://*##.banner") + '\0'},
                 {"__user__white__", std::string("[count=2]\n**://ok.example/*\n@@mine\n") + '\0'}});
    PluginWindow window;
    ASSERT_TRUE(window.open());
    TickOnlyUserRules();
    ASSERT_TRUE(t::Checked(单选框_用户原有规则_自定义规则));

    Fetch();
    EXPECT_EQ(Buckets().UserBlockRules, "mine");
    EXPECT_EQ(Buckets().UserHideRules, "");
    EXPECT_EQ(Buckets().UserWhiteRules, "@@mine");
    EXPECT_EQ(t::Caption(编辑框_黑名单), "mine\r\n");
    EXPECT_EQ(t::Caption(编辑框_白名单), "\r\n@@mine");  // the merge puts a line end before the last bucket

    t::Click(单选框_用户原有规则_全部);
    t::RunOnWindowThread([] { platform::SetControlText(编辑框_黑名单, ""); platform::SetControlText(编辑框_白名单, ""); });
    Fetch();
    EXPECT_EQ(Buckets().UserBlockRules, "**://ads.example/*\r\nmine");
    EXPECT_EQ(Buckets().UserHideRules, "**://*##.banner");
    EXPECT_EQ(Buckets().UserWhiteRules, "**://ok.example/*\r\n@@mine");
    EXPECT_EQ(t::Caption(编辑框_黑名单), "**://ads.example/*\r\nmine\r\n**://*##.banner");
    EXPECT_EQ(t::Caption(编辑框_白名单), "\r\n**://ok.example/*\r\n@@mine");
    EXPECT_EQ(install_.TmpEntries(), 0u);

    // Unticked: the buckets are emptied and the package is not read.
    t::Click(选择框_用户原有规则);
    fs::remove(package());
    WriteBytes(package(), "not an archive");  // reading it would report a failure
    Buckets().UserBlockRules = "stale";
    Fetch();
    EXPECT_EQ(Buckets().UserBlockRules, "");
    EXPECT_EQ(Buckets().UserHideRules, "");
    EXPECT_EQ(Buckets().UserWhiteRules, "");
}

}  // namespace
