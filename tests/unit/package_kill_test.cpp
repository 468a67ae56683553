// A write cut off at each of its file-system steps, as a browser crash or a power cut cuts it
// off, then one more write of the other list. The cut-off write runs in a child process that
// ends with _exit just before the chosen step (nothing of that step or after it happens); every
// step of the write is tried in turn, for both lists and from three starting states. Right
// after the kill the profile must hold a complete package with the last good rules under one of
// the two names; after the next write the package must hold the list just written and the other
// list of the last write that completed, with every other entry kept.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <map>

#include "platform/native/files_test_hooks.h"
#include "store/package_writer.h"
#include "store/zip_archive.h"
#include "store_fixture.h"

namespace {

using namespace storetest;
namespace hooks = platform::testhooks;

using Entries = std::map<std::string, std::string>;

constexpr int kKilled = 86;  // the exit status of a child cut off at its step
const char kWritten[] = "写入成功！请立即重启浏览器以使规则生效";

// The entries of a package file that reads completely; false for a missing or damaged one.
bool ReadComplete(const fs::path& file, Entries& out) {
    out.clear();
    std::vector<ArchiveEntry> entries;
    if (!fs::exists(file) || ReadArchive(ReadBytes(file), entries) != ArchiveRead::Complete) return false;
    for (const ArchiveEntry& e : entries) out[e.entry.name] = e.data;
    return true;
}

// One list as a write puts it into a package: its mode, the text typed and its rule files.
struct ListWrite {
    WriteMode mode;
    Text typed;
    Entries files;
};

ListWrite Black(const std::string& word) {
    return {WriteMode::Blacklist, word + "-block\r\n" + word + "##hide",
            {{"__user__element__", RuleFileBytes("[count=1]\n" + word + "-block")},
             {"__user__css__", RuleFileBytes("[count=1]\n" + word + "##hide")}}};
}
ListWrite White(const std::string& word) {
    return {WriteMode::Whitelist, word + "-white", {{"__user__white__", RuleFileBytes("[count=1]\n" + word + "-white\n")}}};
}

Entries With(Entries base, const ListWrite& w) {
    for (const auto& [name, data] : w.files) base[name] = data;
    return base;
}

const Entries kOld = With(With({{"extra/a.txt", "kept"}}, Black("old")), White("old"));
const Entries kOlder = With(With({}, Black("older")), White("older"));

struct Start {
    const char* name;
    const char* package;  // "old": kOld, "truncated": half of a package with other rules; nullptr: none
    bool backup;          // a complete backup: kOlder beside a healthy package, kOld beside a damaged one
    Entries lastGood;     // the rules the user has before the write
};

const Start kStarts[] = {
    {"a healthy package", "old", true, kOld},
    {"a damaged package with a good backup", "truncated", true, kOld},
    {"no package", nullptr, false, {}},
};

class KilledWrite : public ProfileTest {
protected:
    void Prepare(const Start& s) {
        for (const auto& e : fs::directory_iterator(profile_)) fs::remove_all(e.path());
        const std::string lost = PackageOf(With(With({{"extra/a.txt", "kept"}}, Black("lost")), White("lost")));
        if (s.package) WriteBytes(package(), s.package == std::string("old") ? PackageOf(kOld) : lost.substr(0, lost.size() / 2));
        if (s.backup) WriteBytes(backup(), PackageOf(s.package == std::string("old") ? kOlder : kOld));
    }
    PackageWriteResult Write(const ListWrite& w) { return WriteRulesToProfile(ProgramPath(profile_), w.typed, w.mode); }

    // The write in a child process cut off just before step `step`; its exit status.
    int WriteKilledAt(const ListWrite& w, int step) {
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            hooks::RecordFileSteps(step, kKilled);
            _exit(Write(w).written ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void Run(const Start& start, const ListWrite& killed, const ListWrite& next) {
        // A write that runs to its end shows the steps, and the one that puts the new package
        // under its name: a write cut off after that one has completed.
        Prepare(start);
        hooks::RecordFileSteps();
        ASSERT_TRUE(Write(killed).written);
        const std::vector<Text> steps = hooks::RecordedFileSteps();
        hooks::ResetFileHooks();
        size_t commit = 0;
        for (size_t i = 0; i < steps.size(); ++i)
            if (steps[i] == "replace " + package().string()) commit = i + 1;
        ASSERT_NE(commit, 0u);

        for (size_t step = 1; step <= steps.size() + 1; ++step) {
            SCOPED_TRACE("cut off before step " + std::to_string(step) +
                         (step <= steps.size() ? " (" + steps[step - 1] + ")" : " (none: it ran to its end)"));
            Prepare(start);
            ASSERT_EQ(WriteKilledAt(killed, int(step)), step <= steps.size() ? kKilled : 0);
            const Entries lastGood = step > commit ? With(start.lastGood, killed) : start.lastGood;

            Entries inPackage, inBackup;
            const bool packageComplete = ReadComplete(package(), inPackage);
            const bool backupComplete = ReadComplete(backup(), inBackup);
            if (!lastGood.empty()) {
                EXPECT_TRUE((packageComplete && inPackage == lastGood) || (backupComplete && inBackup == lastGood));
            }

            const PackageWriteResult result = Write(next);
            EXPECT_TRUE(result.written);
            EXPECT_STREQ(result.status, kWritten);
            ASSERT_TRUE(ReadComplete(package(), inPackage));
            EXPECT_EQ(inPackage, With(lastGood, next));
            for (const auto& e : fs::directory_iterator(profile_))
                EXPECT_EQ(e.path().filename().string().rfind("ContentListPackage.~", 0), std::string::npos) << e.path();
        }
        std::printf("%s, %s write cut off: %zu kill points, then the %s write\n", start.name,
                    killed.mode == WriteMode::Blacklist ? "blacklist" : "whitelist", steps.size(),
                    next.mode == WriteMode::Blacklist ? "blacklist" : "whitelist");
    }
};

TEST_F(KilledWrite, BlacklistThenWhitelist) {
    for (const Start& start : kStarts) {
        SCOPED_TRACE(start.name);
        Run(start, Black("killed"), White("next"));
    }
}

TEST_F(KilledWrite, WhitelistThenBlacklist) {
    for (const Start& start : kStarts) {
        SCOPED_TRACE(start.name);
        Run(start, White("killed"), Black("next"));
    }
}

}  // namespace
