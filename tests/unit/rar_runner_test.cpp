// The RAR tool runner natively: its command line, argument edge cases and success decision
// with a stand-in tool that records its arguments and prints chosen output, and end to end
// with the native build of our own extractor.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <chrono>
#include <thread>

#include "archive/rar_runner.h"
#include "common/stop.h"
#include "hostile_archives.h"
#include "plugin/tools_startup.h"
#include "rar4_writer.h"

namespace fs = std::filesystem;

namespace {

Text ProgramPath(const fs::path& p) { return ReplaceAllExact(p.string(), "/", "\\"); }

std::string ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    return lines;
}

// A temporary directory as TempDir, holding an archive and a destination.
class RarRunnerTest : public ::testing::Test {
protected:
    void SetUp() override { MakeRoot("/tmp/quorlex-rar-XXXXXX"); }
    void MakeRoot(const char* pattern) {
        std::string p = pattern;
        root = mkdtemp(p.data());
        SetTempDir(ProgramPath(root) + "\\");
        RarRunner() = RarRunnerState();
        archive = ProgramPath(root / "SiteList.rar");
        WriteBytes(root / "SiteList.rar", "Rar!\x1A\x07");
        destination = ProgramPath(root / "out");
    }
    void TearDown() override {
        ClearStop();
        fs::remove_all(root);
    }

    // A stand-in for myrar.exe: records its arguments, then prints `output`.
    void FakeTool(const std::string& output, const std::string& extra = "") {
        WriteBytes(root / "output.bin", output);
        WriteBytes(root / "myrar.exe", "#!/bin/sh\n"
                                       "d=$(dirname \"$0\")\n"
                                       "printf '%s\\n' \"$@\" > \"$d/args.txt\"\n"
                                       "[ -f \"$d/mylist.lst\" ] && cp \"$d/mylist.lst\" \"$d/list-seen.txt\"\n" +
                                           extra + "cat \"$d/output.bin\"\n");
        chmod((root / "myrar.exe").c_str(), 0755);
    }
    std::vector<std::string> Args() { return Lines(ReadBytes(root / "args.txt")); }

    fs::path root;
    Text archive, destination;
};

const std::string kSuccess = "\r\n解压  SiteList.xml   100%\r\n全部OK\r\n";

TEST_F(RarRunnerTest, CommandLineOfTheMaxthonCall) {
    FakeTool(kSuccess);
    fs::create_directories(root / "out");
    EXPECT_EQ(RunRarTool(archive, destination, std::nullopt, false), kRarSucceeded);
    const std::vector<std::string> expected = {"x", "-y", (root / "SiteList.rar").string(), (root / "out").string(),
                                               "-pmq3196"};
    EXPECT_EQ(Args(), expected);
    EXPECT_FALSE(RarRunner().RarBusy);
    EXPECT_EQ(RarRunner().RarPipeRead, nullptr);
}

TEST_F(RarRunnerTest, ArgumentText) {
    // Paths that exist are their own short form natively; a missing one is 260 spaces.
    fs::create_directories(root / "out");
    const Text a = ShortPath(archive), d = ShortPath(destination);
    EXPECT_EQ(a, archive);
    EXPECT_EQ(ShortPath(destination + "\\missing"), Text(260, ' '));
    EXPECT_EQ(RarArguments(archive, destination, false, false, "mq3196"), " x -y " + a + " " + d + " -p\"mq3196\"");
    EXPECT_EQ(RarArguments(archive, destination, true, true, " p w "),
              " e -y " + a + " " + d + " @\"" + TempDir() + "mylist.lst\" -p\" p w \"");
}

TEST_F(RarRunnerTest, ShellPrefixByFamily) {
    EXPECT_EQ(RarShellPrefix(platform::OsFamily::WindowsNt), "cmd.exe /c ");
    EXPECT_EQ(RarShellPrefix(platform::OsFamily::Windows9x), "command.exe /c ");
    EXPECT_EQ(RarShellPrefix(platform::OsFamily::Other), "");
}

TEST_F(RarRunnerTest, DestinationLosesItsTrailingBackslash) {
    FakeTool(kSuccess);
    Text dest = destination + "\\";
    EXPECT_EQ(RunRarTool(archive, dest), kRarSucceeded);
    EXPECT_EQ(dest, destination);
    EXPECT_TRUE(fs::is_directory(root / "out"));  // made by MakeDirectoryPath
    EXPECT_EQ(Args().at(3), (root / "out").string());
}

TEST_F(RarRunnerTest, Passwords) {
    struct Row {
        bool given;
        Text password;
        std::string passed;
    } rows[] = {
        {false, "", "-pmq3196"},
        {true, "", "-pmq3196"},
        {true, "   ", "-pmq3196"},
        {true, "\xA1\xA1 \xA1\xA1", "-pmq3196"},
        {true, " a b ", "-p a b "},
        {true, "secret", "-psecret"},
    };
    FakeTool(kSuccess);
    for (const Row& r : rows) {
        Text password = r.password;
        EXPECT_EQ(RunRarTool(archive, destination, std::nullopt, std::nullopt, r.given ? &password : nullptr),
                  kRarSucceeded);
        EXPECT_EQ(Args().back(), r.passed) << r.passed;
        if (r.given) EXPECT_EQ(password, r.passed.substr(2));
    }
}

TEST_F(RarRunnerTest, SuccessIsDecidedByTheLastLine) {
    struct Row {
        std::string output;
        int result;
    } rows[] = {
        {kSuccess, kRarSucceeded},
        {"全部OK\r\n", kRarSucceeded},                     // exactly 8 bytes
        {"\r\n解压  a  100%\r\n全部OK", kRarFailed},       // no final CR LF
        {"全部OK\r\n\r\n", kRarFailed},                    // an empty line after it
        {"All OK\r\n", kRarFailed},                        // another language's text
        {"", kRarFailed},
        {"OK\r\n", kRarFailed},
        {std::string(9000, 'x') + "\r\n全部OK\r\n", kRarSucceeded},  // output longer than a read
    };
    for (const Row& r : rows) {
        FakeTool(r.output);
        EXPECT_EQ(RunRarTool(archive, destination), r.result) << r.output.substr(0, 40);
    }
    EXPECT_TRUE(RarOutputSucceeded("全部OK\r\n"));
    EXPECT_FALSE(RarOutputSucceeded("部OK\r\n"));
}

TEST_F(RarRunnerTest, NotRunAndBusy) {
    FakeTool(kSuccess);
    Text missing = ProgramPath(root / "none.rar");
    EXPECT_EQ(RunRarTool(missing, destination), kRarNotRun);
    EXPECT_FALSE(fs::exists(root / "args.txt"));
    RarRunner().RarBusy = true;
    EXPECT_EQ(RunRarTool(archive, destination), kRarBusy);
    EXPECT_EQ(RunRarTool(missing, destination), kRarNotRun);  // the missing archive comes first
    EXPECT_EQ(PrepareRarPipe(), 0);
    EXPECT_FALSE(fs::exists(root / "args.txt"));
    RarRunner().RarBusy = false;
    // A tool that cannot be started.
    fs::remove(root / "myrar.exe");
    EXPECT_EQ(RunRarTool(archive, destination), kRarNotRun);
    EXPECT_FALSE(RarRunner().RarBusy);
}

TEST_F(RarRunnerTest, ProgressFromThePercentSign) {
    struct Row {
        Text chunk;
        Text text;
        int value;
    } rows[] = {
        {"abc  45%", " 45", 45}, {"x 100%", "100", 100}, {"5%", "", 0}, {"  7%", "  7", 7},
        {"no sign", "", 0},      {"1% then 2%", "n 2", 0}, {"ab%", "", 0}, {"abc%", "abc", 0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(RarProgressText(r.chunk), r.text) << r.chunk;
        EXPECT_EQ(RarProgressValue(RarProgressText(r.chunk)), r.value) << r.chunk;
    }
}

TEST_F(RarRunnerTest, ProgressLabelSeesPercentagesAndTheOutcome) {
    std::vector<std::pair<int, Text>> seen;
    const RarProgress label = [&seen](int percent, const Text& message) { seen.push_back({percent, message}); };
    FakeTool("  45%");
    EXPECT_EQ(RunRarTool(archive, destination, std::nullopt, std::nullopt, nullptr, &label), kRarFailed);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(45, Text("正在解压缩中……")));
    EXPECT_EQ(seen[1], std::make_pair(45, Text("解压缩失败！")));
    seen.clear();
    FakeTool(kSuccess);
    EXPECT_EQ(RunRarTool(archive, destination, std::nullopt, std::nullopt, nullptr, &label), kRarSucceeded);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), std::make_pair(100, Text("解压缩成功！")));
}

TEST_F(RarRunnerTest, FileList) {
    FakeTool(kSuccess);
    EXPECT_EQ(RunRarTool(archive, destination, std::vector<Text>{"", "SiteList.xml", "", "sub\\b.txt"}), kRarSucceeded);
    EXPECT_EQ(ReadBytes(root / "list-seen.txt"), "SiteList.xml\r\nsub\\b.txt\r\n");
    EXPECT_EQ(Args().at(4), "@" + (root / "mylist.lst").string());
    EXPECT_FALSE(fs::exists(root / "mylist.lst"));  // gone after the run

    fs::remove(root / "list-seen.txt");
    EXPECT_EQ(RunRarTool(archive, destination, std::vector<Text>{"", ""}), kRarSucceeded);
    EXPECT_FALSE(fs::exists(root / "list-seen.txt"));
    EXPECT_EQ(Args().size(), 5u);  // no "@" argument
    EXPECT_FALSE(WriteRarFileList({}));
    EXPECT_FALSE(fs::exists(root / "mylist.lst"));
}

TEST_F(RarRunnerTest, StopEndsTheTool) {
    FakeTool(kSuccess, "sleep 600\n");
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        RequestStop();
    });
    EXPECT_EQ(RunRarTool(archive, destination), kRarFailed);
    stopper.join();
    EXPECT_FALSE(RarRunner().RarBusy);
}

TEST_F(RarRunnerTest, MakeDirectoryPath) {
    Text path = ProgramPath(root / "a" / "b") + "\\";
    EXPECT_TRUE(MakeDirectoryPath(path));
    EXPECT_EQ(path, ProgramPath(root / "a" / "b"));
    EXPECT_TRUE(fs::is_directory(root / "a" / "b"));
    WriteBytes(root / "file", "x");
    Text blocked = ProgramPath(root / "file" / "c");
    EXPECT_FALSE(MakeDirectoryPath(blocked));
}

// Our own extractor, installed the way start-up installs it, on a stored RAR 4, a 7z and a ZIP.
TEST_F(RarRunnerTest, NativeExtractorEndToEnd) {
    setenv("TMPDIR", root.c_str(), 1);
    InstallRarTool();
    unsetenv("TMPDIR");
    ASSERT_EQ(TempDir(), ProgramPath(root) + "\\");
    ASSERT_TRUE(fs::exists(root / "myrar.exe"));

    WriteBytes(root / "SiteList.rar", rartest::StoredRar4({{"sub", "", true},
                                                           {"sub\\SiteList.xml", "<xml/>\r\n"},
                                                           {"top.txt", "top"}}));
    EXPECT_EQ(RunRarTool(archive, destination), kRarSucceeded);
    EXPECT_EQ(ReadBytes(root / "out" / "sub" / "SiteList.xml"), "<xml/>\r\n");
    EXPECT_EQ(ReadBytes(root / "out" / "top.txt"), "top");

    // Without paths, only the listed entry.
    Text flat = ProgramPath(root / "flat");
    EXPECT_EQ(RunRarTool(archive, flat, std::vector<Text>{"sub\\SiteList.xml"}, true), kRarSucceeded);
    EXPECT_EQ(ReadBytes(root / "flat" / "SiteList.xml"), "<xml/>\r\n");
    EXPECT_FALSE(fs::exists(root / "flat" / "top.txt"));

    // A damaged archive is a failure.
    std::string damaged = ReadBytes(root / "SiteList.rar");
    damaged[damaged.size() / 2] ^= 0x55;
    WriteBytes(root / "SiteList.rar", damaged);
    Text damagedOut = ProgramPath(root / "damaged");
    EXPECT_EQ(RunRarTool(archive, damagedOut), kRarFailed);

    // An entry that would leave the destination refuses the archive; nothing is written.
    WriteBytes(root / "SiteList.rar", rartest::StoredRar4({{"ok.txt", "ok"}, {"..\\escape.txt", "bad"}}));
    Text evilOut = ProgramPath(root / "evil" / "in");
    EXPECT_EQ(RunRarTool(archive, evilOut), kRarFailed);
    EXPECT_FALSE(fs::exists(root / "evil" / "escape.txt"));
    EXPECT_FALSE(fs::exists(root / "evil" / "in" / "ok.txt"));
}

TEST_F(RarRunnerTest, NativeExtractorOn7zAndZip) {
    setenv("TMPDIR", root.c_str(), 1);
    InstallRarTool();
    unsetenv("TMPDIR");
    fs::create_directories(root / "src" / "sub");
    WriteBytes(root / "src" / "sub" / "SiteList.xml", "<xml/>");
    struct Row {
        const char* name;
        const char* command;
    } rows[] = {
        {"a.7z", "cd src && (7zz a -bd -bso0 ../a.7z sub || 7z a -bd ../a.7z sub) >/dev/null 2>&1"},
        {"a.zip", "cd src && zip -qr ../a.zip sub"},
    };
    for (const Row& r : rows) {
        const std::string cmd = "cd '" + root.string() + "' && " + r.command;
        if (std::system(cmd.c_str()) != 0 || !fs::exists(root / r.name)) {
            ADD_FAILURE() << "could not make " << r.name << " (7zip and zip are set-up packages)";
            continue;
        }
        Text dest = ProgramPath(root / (std::string("out-") + r.name));
        EXPECT_EQ(RunRarTool(ProgramPath(root / r.name), dest), kRarSucceeded) << r.name;
        EXPECT_EQ(ReadBytes(root / (std::string("out-") + r.name) / "sub" / "SiteList.xml"), "<xml/>") << r.name;
    }
}

// The extractor's bounds: its own, as the plug-in runs it, on a 7z bomb; and those its switches
// set, on a stored RAR past a small one. A refusal says what it wrote and removed, and leaves
// nothing behind.
TEST_F(RarRunnerTest, NativeExtractorRefusesWhatPassesItsBounds) {
    setenv("TMPDIR", root.c_str(), 1);
    InstallRarTool();
    unsetenv("TMPDIR");
    const fs::path bomb = hostile::Archive("7z-bomb");
    ASSERT_FALSE(bomb.empty()) << "python3 and 7zz are set-up packages";
    fs::copy_file(bomb, root / "SiteList.rar", fs::copy_options::overwrite_existing);
    EXPECT_EQ(RunRarTool(archive, destination), kRarFailed);
    EXPECT_TRUE(fs::is_empty(root / "out"));

    WriteBytes(root / "stored.rar", rartest::StoredRar4({{"SiteList.xml", "<xml/>"}, {"big.bin", std::string(2 << 20, 'b')}}));
    struct Row {
        const char* switches;
        const char* lastLine;
        bool removed;  // says that it removed what it wrote
    } rows[] = {
        {"-max-entry=1048576", "错误: 解压后的文件超过大小限制", true},
        {"-max-archive=1048576", "错误: 解压后的文件超过大小限制", true},
        {"-max-entries=1", "错误: 压缩文件中的文件过多", false},  // refused before anything is written
        {"-max-entry=x", "错误: 用法: myrar x|e", false},
        {"-max-archive=99999999999999999999", "错误: 用法: myrar x|e", false},
        {"-max-entry=2097152 -max-archive=2097158", "全部OK", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.switches);
        fs::remove_all(root / "out");
        const std::string command = (root / "myrar.exe").string() + " x -y " + r.switches + " " +
                                    (root / "stored.rar").string() + " " + (root / "out").string();
        std::string output;
        if (FILE* p = popen(command.c_str(), "r")) {
            char buffer[4096];
            for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) output.append(buffer, n);
            pclose(p);
        }
        const std::vector<std::string> lines = Lines(output);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind(r.lastLine, 0), 0u) << lines.back();
        EXPECT_EQ(output.find("已删除本次写入的 ") != std::string::npos, r.removed) << output;
        if (std::string(r.lastLine) != "全部OK") EXPECT_TRUE(!fs::exists(root / "out") || fs::is_empty(root / "out"));
    }
}

}  // namespace
