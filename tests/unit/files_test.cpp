// The native file functions: the path mapping, the Windows behaviours they stand in for, and
// the fault-injection hooks. Literals are GBK at run time; u8"" literals are the UTF-8 names the
// Linux file system holds.
#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/native/files_test_hooks.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

// A fresh directory, known by its Linux path and by the program's backslash form of it.
class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/quorlex-files-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        native_ = name;
        dir_ = ReplaceAllExact(native_, "/", "\\");
        testhooks::ResetFileHooks();
    }
    void TearDown() override {
        testhooks::ResetFileHooks();
        std::error_code ignored;
        fs::remove_all(native_, ignored);
    }

    Text P(const Text& relative) const { return dir_ + "\\" + relative; }
    std::string N(const std::string& relativeUtf8) const { return native_ + "/" + relativeUtf8; }

    static std::string Slurp(const std::string& native) {
        std::ifstream in(native, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void Put(const std::string& native, const std::string& bytes) {
        std::ofstream(native, std::ios::binary) << bytes;
    }

    std::string native_;
    Text dir_;
};

TEST_F(FilesTest, BackslashPathsAndGbkNamesMapToUtf8LinuxPaths) {
    ASSERT_TRUE(CreateDirectoryPath(P("规则\\子目录")));
    ASSERT_TRUE(WriteWholeFile(P("规则\\子目录\\文件.txt"), "x"));
    EXPECT_EQ(Slurp(N(u8"规则/子目录/文件.txt")), "x");

    // 0x81 0x5C is one character (U+4E57) whose trail byte is a backslash: no directory split.
    const Text name = "\x81\x5C.txt";
    ASSERT_TRUE(WriteWholeFile(P(name), "y"));
    EXPECT_TRUE(fs::exists(N(u8"\u4E57.txt")));

    std::vector<DirectoryEntry> entries;
    ASSERT_TRUE(ListDirectory(dir_, entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, name);
    EXPECT_EQ(entries[1].name, "规则");
    EXPECT_TRUE(entries[1].isDirectory);

    // A doubled separator is harmless; a path ends at its first NUL.
    EXPECT_TRUE(FileExists(dir_ + "\\\\规则\\子目录\\文件.txt"));
    EXPECT_TRUE(FileExists(P(name) + Text("\0junk", 5)));
}

TEST_F(FilesTest, NamesThatAreNotUtf8ComeBackWithQuestionMarks) {
    Put(N("bad\xFF" "name"), "");
    std::vector<DirectoryEntry> entries;
    ASSERT_TRUE(ListDirectory(dir_, entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "bad?name");
}

TEST_F(FilesTest, TempDirectoryIsTheBackslashFormEndingInBackslash) {
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    setenv("TMPDIR", native_.c_str(), 1);
    EXPECT_EQ(GetTempDirectory(), dir_ + "\\");
    setenv("TMPDIR", (native_ + "/").c_str(), 1);
    EXPECT_EQ(GetTempDirectory(), dir_ + "\\");
    unsetenv("TMPDIR");
    EXPECT_EQ(GetTempDirectory(), "\\tmp\\");
    if (old) setenv("TMPDIR", saved.c_str(), 1);
}

TEST_F(FilesTest, EnvironmentNamesIgnoreCaseAndValuesBecomeGbk) {
    setenv("QUORLEX_FILES_TEST", u8"C:\\用户", 1);
    EXPECT_EQ(GetEnvironmentText("QUORLEX_FILES_TEST"), "C:\\用户");
    EXPECT_EQ(GetEnvironmentText("quorlex_files_test"), "C:\\用户");
    unsetenv("QUORLEX_FILES_TEST");
    EXPECT_EQ(GetEnvironmentText("quorlex_files_test"), "");
    EXPECT_EQ(GetEnvironmentText(""), "");
}

TEST_F(FilesTest, CurrentDirectory) {
    const fs::path old = fs::current_path();
    fs::current_path(native_);
    EXPECT_EQ(GetCurrentDirectoryText(), dir_);
    fs::current_path(old);
}

TEST_F(FilesTest, TempFileNamesAreNewEmptyFiles) {
    const Text a = MakeTempFileName(dir_);
    const Text b = MakeTempFileName(dir_ + "\\");
    ASSERT_NE(a, "");
    ASSERT_NE(b, "");
    EXPECT_NE(a, b);
    for (const Text& t : {a, b}) {
        EXPECT_EQ(t.compare(0, dir_.size() + 1, dir_ + "\\"), 0) << t;
        EXPECT_EQ(Right(t, 4), ".tmp");
        EXPECT_EQ(Find(Mid(t, long(dir_.size()) + 2, 1000), "\\"), 0u) << t;
        ByteBuffer content = "x";
        EXPECT_TRUE(ReadWholeFile(t, content));
        EXPECT_EQ(content, "");
    }
    EXPECT_EQ(MakeTempFileName(P("missing")), "");
}

TEST_F(FilesTest, ExistenceTellsFilesFromDirectories) {
    Put(N("f"), "1");
    fs::create_directory(N("d"));
    EXPECT_TRUE(FileExists(P("f")));
    EXPECT_FALSE(DirectoryExists(P("f")));
    EXPECT_TRUE(DirectoryExists(P("d")));
    EXPECT_FALSE(FileExists(P("d")));
    EXPECT_FALSE(FileExists(P("none")));
    EXPECT_FALSE(DirectoryExists(P("none")));
}

TEST_F(FilesTest, RenameNeverReplacesItsTarget) {
    Put(N("a"), "A");
    Put(N("b"), "B");
    EXPECT_FALSE(RenamePath(P("a"), P("b")));
    EXPECT_EQ(Slurp(N("a")), "A");
    EXPECT_EQ(Slurp(N("b")), "B");
    EXPECT_TRUE(RenamePath(P("a"), P("c")));
    EXPECT_EQ(Slurp(N("c")), "A");
    EXPECT_FALSE(RenamePath(P("a"), P("d")));  // source gone
    fs::create_directory(N("dir"));
    EXPECT_TRUE(RenamePath(P("dir"), P("dir2")));
    EXPECT_TRUE(DirectoryExists(P("dir2")));
    EXPECT_FALSE(RenamePath(P("c"), P("dir2")));  // onto a directory
}

// The replacing rename stands in for MoveFileEx(MOVEFILE_REPLACE_EXISTING): it replaces a file,
// and refuses what Windows refuses.
TEST_F(FilesTest, ReplacePathReplacesItsTargetInOneStep) {
    Put(N("new"), "N");
    Put(N("old"), "O");
    EXPECT_TRUE(ReplacePath(P("new"), P("old")));
    EXPECT_EQ(Slurp(N("old")), "N");
    EXPECT_FALSE(fs::exists(N("new")));
    Put(N("another"), "A");
    EXPECT_TRUE(ReplacePath(P("another"), P("fresh")));  // no target: a plain rename
    EXPECT_EQ(Slurp(N("fresh")), "A");

    const struct {
        const char* why;
        void (*prepare)(const std::string& target);
    } refusals[] = {
        {"a read-only target", [](const std::string& t) { Put(t, "T"), chmod(t.c_str(), 0444); }},
        {"a directory as the target", [](const std::string& t) { fs::create_directory(t); }},
        {"a held target", [](const std::string& t) {
             Put(t, "T");
             testhooks::HoldFileOpen(ReplaceAllExact(t, "/", "\\"));
         }},
    };
    for (const auto& r : refusals) {
        Put(N("source"), "S");
        fs::remove_all(N("target"));
        r.prepare(N("target"));
        EXPECT_FALSE(ReplacePath(P("source"), P("target"))) << r.why;
        EXPECT_EQ(Slurp(N("source")), "S") << r.why;
        testhooks::ResetFileHooks();
    }
    EXPECT_FALSE(ReplacePath(P("gone"), P("fresh")));
    EXPECT_EQ(Slurp(N("fresh")), "A");
}

TEST_F(FilesTest, DeleteFileAndDirectoryTree) {
    ASSERT_TRUE(CreateDirectoryPath(P("t\\a\\b")));
    Put(N("t/a/b/f"), "1");
    Put(N("t/g"), "2");
    EXPECT_FALSE(DeleteFileAt(P("t")));  // a directory is no file
    EXPECT_FALSE(DeleteDirectoryTree(P("t\\g")));  // a file is no directory
    EXPECT_TRUE(DeleteFileAt(P("t\\g")));
    EXPECT_FALSE(DeleteFileAt(P("t\\g")));
    EXPECT_TRUE(DeleteDirectoryTree(P("t")));
    EXPECT_FALSE(fs::exists(N("t")));
    EXPECT_FALSE(DeleteDirectoryTree(P("t")));
}

// A link inside the tree is removed as a link; what it points to is left alone.
TEST_F(FilesTest, DeleteDirectoryTreeDoesNotFollowLinks) {
    fs::create_directory(N("outside"));
    Put(N("outside/keep"), "k");
    fs::create_directory(N("tree"));
    fs::create_directory_symlink(N("outside"), N("tree/link"));
    EXPECT_TRUE(DeleteDirectoryTree(P("tree")));
    EXPECT_FALSE(fs::exists(N("tree")));
    EXPECT_EQ(Slurp(N("outside/keep")), "k");
}

TEST_F(FilesTest, CreateDirectories) {
    EXPECT_FALSE(CreateOneDirectory(P("x\\y")));  // parent missing
    EXPECT_TRUE(CreateOneDirectory(P("x")));
    EXPECT_FALSE(CreateOneDirectory(P("x")));  // exists
    EXPECT_TRUE(CreateDirectoryPath(P("p\\q\\r\\")));
    EXPECT_TRUE(DirectoryExists(P("p\\q\\r")));
    EXPECT_TRUE(CreateDirectoryPath(P("p\\q")));  // exists already: still true
    Put(N("file"), "");
    EXPECT_FALSE(CreateDirectoryPath(P("file\\sub")));
    EXPECT_FALSE(CreateDirectoryPath(""));
}

TEST_F(FilesTest, WholeFileReadsAndWrites) {
    const ByteBuffer bytes("\0\x01\xFF\r\n\x1A end", 9);
    ASSERT_TRUE(WriteWholeFile(P("f"), bytes));
    ByteBuffer read;
    ASSERT_TRUE(ReadWholeFile(P("f"), read));
    EXPECT_EQ(read, bytes);

    ASSERT_TRUE(WriteWholeFile(P("f"), "short"));  // replaces, no old tail left
    ASSERT_TRUE(ReadWholeFile(P("f"), read));
    EXPECT_EQ(read, "short");

    ASSERT_TRUE(WriteWholeFile(P("empty"), ""));
    EXPECT_TRUE(FileExists(P("empty")));

    EXPECT_FALSE(WriteWholeFile(P("missing\\f"), "x"));
    read = "stale";
    EXPECT_FALSE(ReadWholeFile(P("none"), read));
    EXPECT_EQ(read, "");
    fs::create_directory(N("d"));
    EXPECT_FALSE(ReadWholeFile(P("d"), read));
    EXPECT_FALSE(WriteWholeFile(P("d"), "x"));
}

// A write that fails half-way (here: over the file-size limit) leaves no partial file.
TEST_F(FilesTest, FailedWriteLeavesNoPartialFile) {
    Put(N("old"), "previous");
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool ok = WriteWholeFile(P("old"), ByteBuffer(5000, 'x'));
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(fs::exists(N("old")));
}

TEST_F(FilesTest, ResetFileAttributesMakesAReadOnlyFileWritable) {
    Put(N("ro"), "x");
    chmod(N("ro").c_str(), 0444);
    EXPECT_TRUE(ResetFileAttributes(P("ro")));
    struct stat st;
    ASSERT_EQ(stat(N("ro").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
    EXPECT_FALSE(ResetFileAttributes(P("none")));
}

TEST_F(FilesTest, ListDirectoryInNtfsOrder) {
    for (const char* name : {"b", "A", "a", "C", "_x", "1"}) Put(N(name), "");
    fs::create_directory(N("Dir"));
    std::vector<DirectoryEntry> entries;
    ASSERT_TRUE(ListDirectory(dir_, entries));
    std::vector<Text> names;
    for (const DirectoryEntry& e : entries) names.push_back(e.name + (e.isDirectory ? "/" : ""));
    EXPECT_EQ(names, (std::vector<Text>{"1", "A", "a", "b", "C", "Dir/", "_x"}));

    entries.push_back(DirectoryEntry{"stale", false});
    EXPECT_FALSE(ListDirectory(P("none"), entries));
    EXPECT_TRUE(entries.empty());
}

TEST_F(FilesTest, HookFailsTheChosenWriteOnly) {
    Put(N("f"), "old");
    testhooks::FailNextWrite();
    EXPECT_FALSE(WriteWholeFile(P("f"), "new"));
    EXPECT_EQ(Slurp(N("f")), "old");  // nothing written, nothing removed
    EXPECT_TRUE(WriteWholeFile(P("f"), "new"));

    testhooks::FailNextWrite(1);  // the second write from now
    EXPECT_TRUE(WriteWholeFile(P("one"), "1"));
    EXPECT_FALSE(WriteWholeFile(P("two"), "2"));
    EXPECT_FALSE(fs::exists(N("two")));
    EXPECT_TRUE(WriteWholeFile(P("two"), "2"));
}

TEST_F(FilesTest, HookFailsTheChosenRenameOnly) {
    Put(N("a"), "");
    testhooks::FailNextRename();
    EXPECT_FALSE(RenamePath(P("a"), P("b")));
    EXPECT_TRUE(FileExists(P("a")));
    EXPECT_TRUE(RenamePath(P("a"), P("b")));

    testhooks::FailNextRename(1);
    EXPECT_TRUE(RenamePath(P("b"), P("c")));
    EXPECT_FALSE(RenamePath(P("c"), P("d")));
    EXPECT_TRUE(RenamePath(P("c"), P("d")));
}

// The profile locator's probe: only the database a running browser holds refuses the rename.
TEST_F(FilesTest, HeldFileRefusesRenameAndDelete) {
    ASSERT_TRUE(CreateDirectoryPath(P("active")));
    ASSERT_TRUE(CreateDirectoryPath(P("idle")));
    Put(N("active/HistoryUrl.db"), "db");
    Put(N("idle/HistoryUrl.db"), "db");
    EXPECT_FALSE(testhooks::HoldFileOpen(P("none")));
    EXPECT_FALSE(testhooks::HoldFileOpen(P("active")));  // directories are not held
    ASSERT_TRUE(testhooks::HoldFileOpen(P("active\\HistoryUrl.db")));

    EXPECT_TRUE(RenamePath(P("idle\\HistoryUrl.db"), P("idle\\HistoryUrl.db.test")));
    EXPECT_TRUE(RenamePath(P("idle\\HistoryUrl.db.test"), P("idle\\HistoryUrl.db")));

    // Any spelling of the path names the same held file.
    const Text spellings[] = {P("active\\HistoryUrl.db"), P("active\\\\HistoryUrl.db"),
                              P("idle\\..\\active\\HistoryUrl.db")};
    for (const Text& held : spellings) {
        EXPECT_FALSE(RenamePath(held, held + ".test")) << held;
        EXPECT_FALSE(DeleteFileAt(held)) << held;
    }
    EXPECT_FALSE(DeleteDirectoryTree(P("active")));
    EXPECT_TRUE(FileExists(P("active\\HistoryUrl.db")));
    ByteBuffer content;
    EXPECT_TRUE(ReadWholeFile(P("active\\HistoryUrl.db"), content));  // reading is shared

    testhooks::ReleaseFile(P("active\\HistoryUrl.db"));
    EXPECT_TRUE(RenamePath(P("active\\HistoryUrl.db"), P("active\\HistoryUrl.db.test")));
    EXPECT_TRUE(DeleteDirectoryTree(P("active")));
}

// A child process ended just before a chosen step leaves what a crash at that moment leaves:
// the file as it was, an empty one, half of the new content, or all of it.
TEST_F(FilesTest, EndingTheProcessAtAStepLeavesWhatACrashLeaves) {
    testhooks::RecordFileSteps();
    ASSERT_TRUE(WriteWholeFileFlushed(P("f"), "12345678"));
    ASSERT_TRUE(ReplacePath(P("f"), P("g")));
    const std::vector<Text> expected = {"open " + N("f"), "write " + N("f"), "write " + N("f"), "close " + N("f"),
                                        "replace " + N("g"), "flush-directory " + native_};
    EXPECT_EQ(testhooks::RecordedFileSteps(), expected);
    testhooks::ResetFileHooks();

    const struct {
        int step;
        const char* left;  // the file's content afterwards
    } rows[] = {{1, "previous"}, {2, ""}, {3, "1234"}, {4, "12345678"}, {5, "12345678"}};
    for (const auto& row : rows) {
        Put(N("f"), "previous");
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            testhooks::RecordFileSteps(row.step, 86);
            _exit(WriteWholeFileFlushed(P("f"), "12345678") ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_EQ(WEXITSTATUS(status), row.step <= 4 ? 86 : 0) << row.step;
        EXPECT_EQ(Slurp(N("f")), row.left) << row.step;
    }
}

TEST_F(FilesTest, ResetForgetsEveryHook) {
    Put(N("h"), "");
    ASSERT_TRUE(testhooks::HoldFileOpen(P("h")));
    testhooks::FailNextWrite();
    testhooks::FailNextRename();
    testhooks::ResetFileHooks();
    EXPECT_TRUE(WriteWholeFile(P("w"), "1"));
    EXPECT_TRUE(RenamePath(P("h"), P("h2")));
}

}  // namespace
