// What a write finds on disk and what it leaves there: the package and its backup complete,
// damaged or missing in every combination, entries of other tools carried over byte for byte,
// read-only files, and the temporary packages of an interrupted write.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "platform/native/files_test_hooks.h"
#include "store/package_files.h"
#include "store/package_writer.h"
#include "store/zip_archive.h"
#include "store_fixture.h"
#include "stored_zip.h"

namespace {

using namespace storetest;

const char kWritten[] = "写入成功！请立即重启浏览器以使规则生效";
const char kWrittenOverDamaged[] = "写入成功！原规则包已损坏，已保留为备份";

const std::map<std::string, std::string> kOldRules = {
    {"__user__element__", RuleFileBytes("[count=1]\nold-block")},
    {"__user__css__", RuleFileBytes("[count=1]\nold##hide")},
    {"__user__white__", RuleFileBytes("[count=1]\nold-white\n")},
    {"extra/a.txt", "kept"},
};
// kOldRules as far as they can be read once the data of extra/a.txt is damaged.
const std::map<std::string, std::string> kOldRulesSaved = {
    {"__user__element__", RuleFileBytes("[count=1]\nold-block")},
    {"__user__css__", RuleFileBytes("[count=1]\nold##hide")},
    {"__user__white__", RuleFileBytes("[count=1]\nold-white\n")},
};
const std::map<std::string, std::string> kOlderRules = {
    {"__user__element__", RuleFileBytes("[count=1]\nolder-block")},
    {"__user__white__", RuleFileBytes("[count=1]\nolder-white\n")},
};

// The archive with one byte of the data of entry `name` changed: its CRC fails, the rest reads.
std::string Spoiled(std::string archive, const std::string& name) {
    std::vector<ZipEntry> directory;
    EXPECT_TRUE(ReadZipDirectory(archive, directory));
    for (const ZipEntry& e : directory)
        if (e.name == name) archive[e.dataOffset] ^= 1;
    return archive;
}

// The entries of a package that reads completely; an empty map for one that does not.
std::map<std::string, std::string> Entries(const std::string& bytes) {
    std::vector<ArchiveEntry> entries;
    std::map<std::string, std::string> out;
    if (ReadArchive(bytes, entries) != ArchiveRead::Complete) return out;
    for (const ArchiveEntry& e : entries) out[e.entry.name] = e.entry.isFolder ? "<dir>" : e.data;
    return out;
}

class PackageFiles : public ProfileTest {
protected:
    PackageWriteResult Write(const Text& rules, WriteMode mode) { return WriteRulesToProfile(ProgramPath(profile_), rules, mode); }
};

TEST_F(PackageFiles, ThePreviousRulesComeFromTheCopyThatReadsCompletely) {
    const std::string old = PackageOf(kOldRules), older = PackageOf(kOlderRules);
    const std::string truncated = old.substr(0, old.size() / 2), spoiled = Spoiled(old, "extra/a.txt");
    std::vector<ArchiveEntry> saved;
    ASSERT_EQ(ReadArchive(spoiled, saved), ArchiveRead::EntryDamaged);
    const char* kNone = nullptr;
    const struct {
        const char* state;
        const char* package;  // before the write; nullptr: none
        const char* backup;
        const char* status;
        // after a whitelist write: where the blacklist comes from, and the backup's bytes
        const std::map<std::string, std::string>* carried;
        const char* backupAfter;
    } rows[] = {
        {"healthy package, older backup", "old", "older", kWritten, &kOldRules, "old"},
        {"healthy package, no backup", "old", kNone, kWritten, &kOldRules, "old"},
        {"truncated package, complete backup", "truncated", "older", kWritten, &kOlderRules, "older"},
        {"no package, complete backup (a write cut off between its renames)", kNone, "older", kWritten,
         &kOlderRules, "older"},
        // neither complete: what can be read is carried, the damaged package becomes the backup
        {"truncated package, damaged backup", "truncated", "spoiled", kWrittenOverDamaged, nullptr, "truncated"},
        {"spoiled package, no backup", "spoiled", kNone, kWrittenOverDamaged, &kOldRulesSaved, "spoiled"},
        {"no package, spoiled backup", kNone, "spoiled", kWrittenOverDamaged, &kOldRulesSaved, "spoiled"},
        {"nothing", kNone, kNone, kWritten, nullptr, kNone},
    };
    const std::map<std::string, std::string> bytes = {
        {"old", old}, {"older", older}, {"truncated", truncated}, {"spoiled", spoiled}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.state);
        fs::remove(package());
        fs::remove(backup());
        if (row.package) WriteBytes(package(), bytes.at(row.package));
        if (row.backup) WriteBytes(backup(), bytes.at(row.backup));

        const PackageWriteResult result = Write("new-white", WriteMode::Whitelist);
        EXPECT_TRUE(result.written);
        EXPECT_STREQ(result.status, row.status);
        std::map<std::string, std::string> expected;
        if (row.carried) expected = *row.carried;
        expected["__user__white__"] = RuleFileBytes("[count=1]\nnew-white\n");
        EXPECT_EQ(Entries(ReadBytes(package())), expected);
        EXPECT_EQ(fs::exists(backup()), row.backupAfter != nullptr);
        if (row.backupAfter) {
            EXPECT_EQ(ReadBytes(backup()), bytes.at(row.backupAfter));
        }
    }
}

// Entries of another tool come back as they were stored: a GBK name without the UTF-8 flag
// stays GBK bytes, a UTF-8 name keeps its flag, folders stay folders, the data is the same.
TEST_F(PackageFiles, OtherEntriesAreCarriedOverByteForByte) {
    const std::string gbkName = "说明.txt";  // GBK at run time
    const std::string utf8Name = u8"规则/备注.txt";
    WriteBytes(package(), testzip::StoredZip({{"__user__element__", RuleFileBytes("[count=1]\nold-block")},
                                              {gbkName, "gbk named"},
                                              {u8"规则/", "", true},
                                              {utf8Name, "utf-8 named", true},
                                              {"__user__white__", RuleFileBytes("[count=1]\nold-white\n")}}));
    ASSERT_TRUE(Write("new-block", WriteMode::Blacklist).written);

    std::vector<ArchiveEntry> entries;
    ASSERT_EQ(ReadArchive(ReadBytes(package()), entries), ArchiveRead::Complete);
    std::vector<std::string> names;
    std::map<std::string, std::string> data;
    for (const ArchiveEntry& e : entries) {
        names.push_back(e.entry.rawName + ((e.entry.flags & 0x800) ? " (utf-8)" : ""));
        data[e.entry.rawName] = e.data;
    }
    // Root files first, the new css file after the old root files, then the folder.
    const std::vector<std::string> expected = {"__user__element__", gbkName, "__user__white__", "__user__css__",
                                               u8"规则/ (utf-8)", utf8Name + " (utf-8)"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(data[gbkName], "gbk named");
    EXPECT_EQ(data[utf8Name], "utf-8 named");
    EXPECT_EQ(data["__user__element__"], RuleFileBytes("[count=1]\nnew-block"));
    EXPECT_EQ(data["__user__white__"], RuleFileBytes("[count=1]\nold-white\n"));
}

// A rule file under another spelling is the same file to Windows: it is replaced, once.
TEST_F(PackageFiles, ARuleFileIsReplacedWhateverTheCaseOfItsName) {
    WriteBytes(package(), testzip::StoredZip({{"__USER__WHITE__", RuleFileBytes("[count=1]\nold\n")},
                                              {"__user__white__", RuleFileBytes("[count=1]\nagain\n")}}));
    ASSERT_TRUE(Write("new-white", WriteMode::Whitelist).written);
    const std::map<std::string, std::string> expected = {{"__user__white__", RuleFileBytes("[count=1]\nnew-white\n")}};
    EXPECT_EQ(Entries(ReadBytes(package())), expected);
}

TEST_F(PackageFiles, ReadOnlyPackageAndBackupDoNotStopLaterWrites) {
    WriteBytes(package(), PackageOf(kOldRules));
    WriteBytes(backup(), PackageOf(kOlderRules));
    for (const char* rules : {"first", "second", "third"}) {
        fs::permissions(package(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        fs::permissions(backup(), fs::perms::owner_read);
        const std::string before = ReadBytes(package());
        EXPECT_STREQ(Write(rules, WriteMode::Whitelist).status, kWritten) << rules;
        EXPECT_EQ(ReadBytes(backup()), before);
        EXPECT_EQ(Entries(ReadBytes(package())).at("__user__white__"),
                  RuleFileBytes("[count=1]\n" + std::string(rules) + "\n"));
    }
}

TEST_F(PackageFiles, TemporaryPackagesOfInterruptedWritesAreRemoved) {
    WriteBytes(package(), PackageOf(kOldRules));
    const char* leftovers[] = {"ContentListPackage.~1f2e.tmp", "ContentListPackage.~ab.TMP"};
    for (const char* name : leftovers) WriteBytes(profile_ / name, "half a package");
    fs::permissions(profile_ / leftovers[1], fs::perms::owner_read);
    // Not ours: kept.
    WriteBytes(profile_ / "ContentListPackage.old", "the user's own copy");
    WriteBytes(profile_ / "ContentListPackage.~note", "not a temporary package");

    ASSERT_TRUE(Write("w", WriteMode::Whitelist).written);
    for (const char* name : leftovers) EXPECT_FALSE(fs::exists(profile_ / name)) << name;
    EXPECT_EQ(ReadBytes(profile_ / "ContentListPackage.old"), "the user's own copy");
    EXPECT_TRUE(fs::exists(profile_ / "ContentListPackage.~note"));
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(profile_)) files += e.is_regular_file();
    EXPECT_EQ(files, 4u);  // the package, its backup and the two files that are not ours
}

// Natively a crash cannot be staged inside the kernel's cache; what the write can do is ask for
// its data to be on the disk: the temporary package is flushed before it is renamed, and each
// rename is followed by a flush of the directory.
TEST_F(PackageFiles, TheNewPackageIsFlushedBeforeItsRenameAndTheDirectoryAfter) {
    WriteBytes(package(), PackageOf(kOldRules));
    platform::testhooks::RecordFileSteps();
    ASSERT_TRUE(Write("w", WriteMode::Whitelist).written);
    std::vector<std::string> kinds;
    for (const Text& step : platform::testhooks::RecordedFileSteps()) {
        const std::string kind = step.substr(0, step.find(' '));
        const std::string name = fs::path(step.substr(step.find(' ') + 1)).filename().string();
        kinds.push_back(kind + " " + (name.rfind("ContentListPackage.~", 0) == 0 ? "<temporary>" : name));
    }
    const std::vector<std::string> expected = {
        "open <temporary>", "write <temporary>", "write <temporary>", "close <temporary>",
        "replace ContentListPackage.Backup", "flush-directory profile",
        "replace ContentListPackage", "flush-directory profile"};
    EXPECT_EQ(kinds, expected);
}

}  // namespace
