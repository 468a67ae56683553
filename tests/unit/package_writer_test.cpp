// The package writer: the rule-text normalisation and rule-file bytes as tables, the work
// directory names, and WriteRulesTask through the headless window with a fault injected at
// every file-system step; after every failure the previous package must still be there, byte
// for byte, under its own name. (package_files_test.cpp: the starting states a write meets on
// disk; package_kill_test.cpp: writes cut off at every step.)
#include "store/package_writer.h"

#include <gtest/gtest.h>

#include <set>

#include "common/encoding.h"
#include "common/worker_threads.h"
#include "platform/native/files_test_hooks.h"
#include "platform/window.h"
#include "store/work_dir.h"
#include "store/zip_archive.h"
#include "store_fixture.h"
#include "ui/controls.h"
#include "window_harness.h"

namespace {

using namespace storetest;
namespace hooks = platform::testhooks;
namespace t = platform::test;

const char kWritten[] = "写入成功！请立即重启浏览器以使规则生效";
const char kFileError[] = "文件读写错误！请尝试手工更新规则";
const char kPackFailed[] = "写入失败，请尝试手工更新规则！";

TEST(NormaliseRuleText, RulesComeOutSeparatedBySingleLineFeeds) {
    const struct {
        const char* in;
        const char* out;
    } rows[] = {
        {"a\r\nb\r\n", "a\nb"},
        {"a\r\r\nb", "a\nb"},
        {"\r\n\r\n  a \n\n\n b b\r", "a\nbb"},
        {"  x . y  ", "x.y"},
        {"a\tb\n\tc\t", "a\tb\n\tc"},  // inner tabs stay, the ends are trimmed
        {"　a　", "a"},                // full-width spaces at the ends
        {"  \r\n \n\r  ", ""},
        {"", ""},
        {"规则##x\r\n例子", "规则##x\n例子"},
    };
    for (const auto& row : rows) EXPECT_EQ(NormaliseRuleText(row.in), row.out) << row.in;
}

TEST(RuleFiles, HeadersCountsAndLineEnds) {
    const struct {
        const char* rules;
        const char* element;
        const char* css;
    } rows[] = {
        {"A\nB\nC##x", "[count=2]\nA\nB", "[count=1]\nC##x"},
        {"h1##a\nh2##b", "[count=0]\n", "[count=2]\nh1##a\nh2##b"},
        {"only", "[count=1]\nonly", "[count=0]\n"},
        {"a\n##b\nc", "[count=2]\na\nc", "[count=1]\n##b"},
    };
    for (const auto& row : rows) {
        const BlacklistFiles files = BlacklistRuleFiles(row.rules);
        EXPECT_EQ(files.element, row.element) << row.rules;
        EXPECT_EQ(files.css, row.css) << row.rules;
    }
    EXPECT_EQ(WhitelistRuleFile("w1\nw2\nw3"), "[count=3]\nw1\nw2\nw3\n");
    EXPECT_EQ(WhitelistRuleFile("w"), "[count=1]\nw\n");
    // Twelve rules: the count has no leading zero and takes two digits.
    Text twelve = "r";
    for (int i = 1; i < 12; ++i) twelve += "\nr";
    EXPECT_EQ(Left(WhitelistRuleFile(twelve), 11), "[count=12]\n");
}

TEST(RuleFiles, BytesAreUtf8WithoutMarkAndOneZeroByte) {
    EXPECT_EQ(GbkToUtf8("[count=1]\n规则"), std::string(u8"[count=1]\n规则") + '\0');
    EXPECT_EQ(GbkToUtf8(""), std::string(1, '\0'));
}

TEST(WorkDir, NamedInTheTmpDirectoryWithTheTqnxEnding) {
    BrowserInstall install;
    const Text tmp = ProgramPath(install.tmp());
    const Text a = NewWorkDirName(), b = NewWorkDirName();
    for (const Text& name : {a, b}) {
        ASSERT_TRUE(StartsWith(name, tmp + "\\")) << name;
        const Text hex = MidToEnd(name, long(tmp.size()) + 2);
        ASSERT_GT(hex.size(), 5u);
        EXPECT_EQ(Right(hex, 5), ".tqnx");
        EXPECT_EQ(Left(hex, long(hex.size()) - 5).find_first_not_of("0123456789abcdef"), std::string::npos) << hex;
        EXPECT_NE(hex[0], '0');
    }
    EXPECT_NE(a, b);
    EXPECT_EQ(Right(NewTempFileName(), 4), ".tmp");

    // A "tmp" value ending in a backslash gets no second one; every ".tmp" in the path goes.
    fs::create_directories(install.root() / "x.TMP");
    setenv("tmp", (ProgramPath(install.root() / "x.TMP") + "\\").c_str(), 1);
    const Text named = NewWorkDirName();
    EXPECT_TRUE(StartsWith(named, ProgramPath(install.root()) + "\\x.tqnx\\")) << named;
    EXPECT_EQ(CreateWorkDir(), "");  // its parent "x.tqnx" does not exist

    setenv("tmp", tmp.c_str(), 1);
    const Text made = CreateWorkDir();
    EXPECT_TRUE(platform::DirectoryExists(made));
}

TEST(WorkDir, ANumberWhoseWorkDirectoryIsLeftOverIsSkipped) {
    BrowserInstall install;
    // Work directories left behind under the numbers the next naming starts from: the ".tmp"
    // names are free, the ".tqnx" ones are not.
    const Text first = NewTempFileName();
    const Text prefix = ProgramPath(install.tmp()) + "\\";
    const unsigned long drawn = std::stoul(Mid(first, long(prefix.size()) + 1, long(first.size() - prefix.size()) - 4), nullptr, 16);
    std::set<std::string> left;
    for (unsigned long n = drawn; n < drawn + 5000; ++n) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%lx.tqnx", n);
        fs::create_directory(install.tmp() / hex);
        left.insert(hex);
    }
    const Text made = CreateWorkDir();
    ASSERT_TRUE(StartsWith(made, prefix)) << made;
    EXPECT_EQ(left.count(MidToEnd(made, long(prefix.size()) + 1)), 0u) << made;
    EXPECT_TRUE(platform::DirectoryExists(made));
}

TEST(WorkDir, WithoutTmpTheNameHasNoDirectoryPart) {
    BrowserInstall install;
    unsetenv("tmp");
    unsetenv("TMP");
    const Text name = CreateWorkDir();
    EXPECT_EQ(Find(name, "\\"), 0u) << name;
    EXPECT_TRUE(fs::is_directory(install.cwd() / name));
}

// A browser with an active user "u" whose package holds three rule files and a folder.
class Writer : public ::testing::Test {
protected:
    Writer() {
        profile_ = install_.AddActiveUser("u");
        const fs::path seed = install_.root() / "seed";
        fs::create_directories(seed / "extra" / "inner");
        WriteBytes(seed / "__user__element__", std::string("[count=1]\nold-block") + '\0');
        WriteBytes(seed / "__user__css__", std::string("[count=1]\nold##hide") + '\0');
        WriteBytes(seed / "__user__white__", std::string("[count=1]\nold-white\n") + '\0');
        WriteBytes(seed / "extra" / "a.txt", "kept");
        WriteBytes(seed / "extra" / "inner" / "b.gz", "stored");
        EXPECT_EQ(CompressDirectory(ProgramPath(seed), ProgramPath(package())), kCompressDone);
        oldPackage_ = ReadBytes(package());
    }
    ~Writer() override { hooks::ResetFileHooks(); }

    fs::path package() const { return profile_ / "ContentListPackage"; }
    fs::path backup() const { return profile_ / "ContentListPackage.Backup"; }

    // Types `text` into the box, clicks its write button and waits for the task to end.
    Text Write(ControlId box, const Text& text) {
        t::RunOnWindowThread([&] { platform::SetControlText(box, text); });
        t::Click(box == 编辑框_黑名单 ? 按钮_黑名单_写到规则文件 : 按钮_白名单_写到规则文件);
        t::RunOnWindowThread([] {});  // the click has been handled: the task has started
        EXPECT_TRUE(t::WaitUntil([] { return !TaskRunning(kWriteBlacklistSlot) && !TaskRunning(kWriteWhitelistSlot); },
                                 30000));
        EXPECT_TRUE(t::WaitUntil([] { return t::Enabled(按钮_获取规则) && t::Enabled(按钮_黑名单_写到规则文件); }, 30000));
        return t::Caption(标签_状态);
    }

    // The package's entries, extracted.
    std::map<std::string, std::string> Entries(const fs::path& archive) {
        const fs::path out = install_.root() / "check";
        fs::remove_all(out);
        EXPECT_EQ(ExtractArchive(ProgramPath(archive), ProgramPath(out)), kExtractDone);
        std::map<std::string, std::string> entries;
        for (const auto& e : fs::recursive_directory_iterator(out)) {
            const std::string name = fs::relative(e.path(), out).generic_string();
            entries[name] = e.is_directory() ? "<dir>" : ReadBytes(e.path());
        }
        return entries;
    }

    BrowserInstall install_;
    PluginWindow window_;
    fs::path profile_;
    std::string oldPackage_;
};

TEST_F(Writer, BlacklistReplacesElementAndCssAndKeepsTheRest) {
    ASSERT_TRUE(window_.open());
    EXPECT_EQ(Write(编辑框_黑名单, "  a.com/x \r\n\r\n**://b##div\r\r\nc d\r\n"), kWritten);
    EXPECT_EQ(ReadBytes(backup()), oldPackage_);
    const auto entries = Entries(package());
    const std::map<std::string, std::string> expected = {
        {"__user__element__", std::string("[count=2]\na.com/x\ncd") + '\0'},
        {"__user__css__", std::string("[count=1]\n**://b##div") + '\0'},
        {"__user__white__", std::string("[count=1]\nold-white\n") + '\0'},
        {"extra", "<dir>"},
        {"extra/a.txt", "kept"},
        {"extra/inner", "<dir>"},
        {"extra/inner/b.gz", "stored"},
    };
    EXPECT_EQ(entries, expected);
    EXPECT_EQ(install_.TmpEntries(), 0u);  // the work directory is gone
}

TEST_F(Writer, ABlacklistWriteSwitchesAlwaysOnTopOffAndOnAgain) {
    ASSERT_TRUE(window_.open());
    t::TakeLog();
    EXPECT_EQ(Write(编辑框_黑名单, "a.com/x"), kWritten);
    std::vector<std::string> topmost;
    for (const std::string& entry : t::TakeLog())
        if (entry.rfind("topmost", 0) == 0) topmost.push_back(entry);
    EXPECT_EQ(topmost, std::vector<std::string>({"topmost 0", "topmost 1"}));
    EXPECT_TRUE(t::Topmost());
}

TEST_F(Writer, WhitelistReplacesWhiteAndAnOlderBackupGoes) {
    ASSERT_TRUE(window_.open());
    WriteBytes(backup(), "an older backup");
    EXPECT_EQ(Write(编辑框_白名单, "@@w1\r\n@@规则\n@@w3"), kWritten);
    EXPECT_EQ(ReadBytes(backup()), oldPackage_);
    const auto entries = Entries(package());
    EXPECT_EQ(entries.at("__user__white__"), std::string(u8"[count=3]\n@@w1\n@@规则\n@@w3\n") + '\0');
    EXPECT_EQ(entries.at("__user__element__"), std::string("[count=1]\nold-block") + '\0');
    EXPECT_EQ(entries.at("__user__css__"), std::string("[count=1]\nold##hide") + '\0');
    EXPECT_EQ(entries.at("extra/a.txt"), "kept");
}

TEST_F(Writer, RefusalsLeaveTheDiskAlone) {
    ASSERT_TRUE(window_.open());
    WriteBytes(backup(), "an older backup");
    EXPECT_EQ(Write(编辑框_黑名单, " \r\n　\n\r "), "写入失败，不能保存空数据！");
    EXPECT_EQ(Write(编辑框_白名单, ""), "写入失败，不能保存空数据！");

    hooks::ReleaseFile(ProgramPath(profile_ / "HistoryUrl.db"));  // the browser has quit
    EXPECT_EQ(Write(编辑框_黑名单, "a"), "写入失败，找不到浏览器用户目录！");

    EXPECT_EQ(ReadBytes(package()), oldPackage_);
    EXPECT_EQ(ReadBytes(backup()), "an older backup");
    EXPECT_EQ(install_.TmpEntries(), 0u);
}

TEST_F(Writer, WithoutAPackageTheNewOneHoldsOnlyTheNewFiles) {
    ASSERT_TRUE(window_.open());
    fs::remove(package());
    EXPECT_EQ(Write(编辑框_白名单, "w"), kWritten);
    EXPECT_FALSE(fs::exists(backup()));
    const std::map<std::string, std::string> expected = {{"__user__white__", std::string("[count=1]\nw\n") + '\0'}};
    EXPECT_EQ(Entries(package()), expected);
}

// The new package is built in the profile directory: a missing "tmp" directory does not matter.
TEST_F(Writer, NeedsNoTemporaryDirectory) {
    ASSERT_TRUE(window_.open());
    setenv("tmp", ProgramPath(install_.root() / "missing").c_str(), 1);
    EXPECT_EQ(Write(编辑框_白名单, "w"), kWritten);
    EXPECT_EQ(ReadBytes(backup()), oldPackage_);
}

// Temporary packages in the profile directory ("ContentListPackage.~<hex>.tmp").
std::vector<std::string> Temporaries(const fs::path& profile) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(profile)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("ContentListPackage.~", 0) == 0) found.push_back(name);
    }
    return found;
}

TEST_F(Writer, AFaultAtAnyStepKeepsThePreviousPackage) {
    ASSERT_TRUE(window_.open());
    enum Fault { FailWrite, FailRename, HoldBackup };
    const struct {
        const char* step;
        ControlId box;
        Fault fault;
        int after;  // successful calls before the failing one
        const char* status;
        bool olderBackupKept;  // else the rename of the package over it had happened
    } rows[] = {
        {"temporary package", 编辑框_黑名单, FailWrite, 0, kPackFailed, true},
        {"temporary package", 编辑框_白名单, FailWrite, 0, kPackFailed, true},
        // the first rename is the profile probe of the history database
        {"package to backup", 编辑框_黑名单, FailRename, 1, kFileError, true},
        {"backup held open", 编辑框_白名单, HoldBackup, 0, kFileError, true},
        {"new package into place", 编辑框_黑名单, FailRename, 2, kFileError, false},
        {"new package into place", 编辑框_白名单, FailRename, 2, kFileError, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.step);
        // The old package back in place, with an older backup beside it.
        hooks::ResetFileHooks();
        fs::remove(backup());
        fs::remove(package());
        WriteBytes(package(), oldPackage_);
        WriteBytes(backup(), "an older backup");
        ASSERT_TRUE(hooks::HoldFileOpen(ProgramPath(profile_ / "HistoryUrl.db")));
        switch (row.fault) {
        case FailWrite: hooks::FailNextWrite(row.after); break;
        case FailRename: hooks::FailNextRename(row.after); break;
        case HoldBackup: hooks::HoldFileOpen(ProgramPath(backup())); break;
        }
        EXPECT_EQ(Write(row.box, "new-rule"), row.status);
        EXPECT_EQ(ReadBytes(package()), oldPackage_);
        EXPECT_EQ(fs::exists(backup()), row.olderBackupKept);
        if (row.olderBackupKept) {
            EXPECT_EQ(ReadBytes(backup()), "an older backup");
        }
        EXPECT_EQ(Temporaries(profile_), std::vector<std::string>());
    }
}

TEST_F(Writer, AFailureWithoutAPackageLeavesNoneAndTheBackupAsItWas) {
    ASSERT_TRUE(window_.open());
    fs::remove(package());
    WriteBytes(backup(), "an older backup");
    const struct {
        bool failRename;
        const char* status;
    } rows[] = {{false, kPackFailed}, {true, kFileError}};  // the temporary package, its rename
    for (const auto& row : rows) {
        if (row.failRename) hooks::FailNextRename(1);
        else hooks::FailNextWrite(0);
        EXPECT_EQ(Write(编辑框_白名单, "w"), row.status);
        EXPECT_FALSE(fs::exists(package()));
        EXPECT_EQ(ReadBytes(backup()), "an older backup");
        EXPECT_EQ(Temporaries(profile_), std::vector<std::string>());
    }
}

TEST_F(Writer, AClickWhileAWriteRunsChangesNothing) {
    ASSERT_TRUE(window_.open());
    static platform::Event release;
    release.Reset();
    ASSERT_TRUE(StartTask(kWriteBlacklistSlot, [] { release.Wait(UINT32_MAX); }));
    const Text statusBefore = t::Caption(标签_状态);
    t::RunOnWindowThread([] { platform::SetControlText(编辑框_白名单, "second"); });
    t::Click(按钮_白名单_写到规则文件);
    t::RunOnWindowThread([] {});
    EXPECT_FALSE(TaskRunning(kWriteWhitelistSlot));
    EXPECT_EQ(t::Caption(标签_状态), statusBefore);
    release.Set();
    EXPECT_TRUE(t::WaitUntil([] { return !TaskRunning(kWriteBlacklistSlot); }, 30000));
    EXPECT_EQ(ReadBytes(package()), oldPackage_);
}

}  // namespace
