// The profile locator on the native registry and file system: the data directory from the
// "path" file or the AppData value, the users' subkeys, and the rename probe that tells the
// active user apart, which must always leave the history databases under their own names.
#include "store/profile_locator.h"

#include <gtest/gtest.h>

#include "platform/native/files_test_hooks.h"
#include "store_fixture.h"

namespace {

using namespace storetest;
namespace hooks = platform::testhooks;
namespace reg = platform::regtest;

TEST(RootKeyHandle, MapsTheFourRootNumbersAndPassesOthersOn) {
    const struct {
        uintptr_t number;
        platform::RegistryKey handle;
    } rows[] = {
        {1, platform::kRegistryClassesRoot}, {3, platform::kRegistryCurrentUser},
        {4, platform::kRegistryLocalMachine}, {5, platform::kRegistryUsers},
        {0, 0}, {2, 2}, {6, 6}, {0x80000001u, 0x80000001u},
    };
    for (const auto& row : rows) EXPECT_EQ(RootKeyHandle(row.number), row.handle) << row.number;
}

TEST(EnumRegistrySubkeys, ListsInRegistryOrderAndEmptiesTheListFirst) {
    reg::ClearRegistry();
    std::vector<Text> names = {"left over"};
    EXPECT_EQ(EnumRegistrySubkeys(3, "Software\\Missing", names), -1);
    EXPECT_TRUE(names.empty());

    reg::CreateKey(platform::kRegistryCurrentUser, "Software\\Empty");
    names = {"left over"};
    EXPECT_EQ(EnumRegistrySubkeys(3, "Software\\Empty", names), 0);
    EXPECT_TRUE(names.empty());

    for (const char* user : {"bob", "Carol", "alice", "用户"})
        reg::CreateKey(platform::kRegistryCurrentUser, Text("Software\\Users\\") + user);
    reg::CreateKey(platform::kRegistryLocalMachine, "Software\\Users\\machine");
    EXPECT_EQ(EnumRegistrySubkeys(3, "software\\users", names), 4);
    EXPECT_EQ(names, (std::vector<Text>{"alice", "bob", "Carol", "用户"}));
    EXPECT_EQ(EnumRegistrySubkeys(4, "Software\\Users", names), 1);
    EXPECT_EQ(names, std::vector<Text>{"machine"});
    reg::ClearRegistry();
}

TEST(EnumRegistrySubkeys, ANameTooLongForTheBufferEndsTheList) {
    reg::ClearRegistry();
    const Text fits(kSubkeyNameBuffer - 1, 'b');
    const Text tooLong(kSubkeyNameBuffer, 'c');
    for (const Text& name : {Text("a"), fits, tooLong, Text("d")})
        reg::CreateKey(platform::kRegistryCurrentUser, "Users\\" + name);
    std::vector<Text> names;
    EXPECT_EQ(EnumRegistrySubkeys(3, "Users", names), 2);
    EXPECT_EQ(names, (std::vector<Text>{"a", fits}));
    reg::ClearRegistry();
}

TEST(ExpandEnvironmentText, ReplacesSetVariablesAndKeepsTheRest) {
    setenv("QUORLEX_X", "ex", 1);
    unsetenv("QUORLEX_UNSET");
    const struct {
        const char* in;
        const char* out;
    } rows[] = {
        {"%QUORLEX_X%\\AppData", "ex\\AppData"},
        {"%quorlex_x%", "ex"},  // names ignore case
        {"a%QUORLEX_UNSET%b", "a%QUORLEX_UNSET%b"},
        {"%QUORLEX_UNSET%QUORLEX_X%", "%QUORLEX_UNSETex"},
        {"100%", "100%"},
        {"%%", "%%"},
        {"%QUORLEX_X%%QUORLEX_X%", "exex"},
        {"", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(platform::ExpandEnvironmentText(row.in), row.out) << row.in;
}

TEST(BrowserDataDir, ComesFromTheAppDataValueWithoutAPathFile) {
    BrowserInstall install;
    EXPECT_EQ(BrowserDataDir(), ProgramPath(install.dataDir()));
    EXPECT_EQ(AppDataFolder(), ProgramPath(install.root() / "AppData"));

    // A plain string value is taken as it is.
    reg::SetStringValue(platform::kRegistryCurrentUser, kShellFolders, "AppData", "%QUORLEX_TEST_ROOT%", false);
    EXPECT_EQ(BrowserDataDir(), "%QUORLEX_TEST_ROOT%\\SogouExplorer");
    // Unreadable (missing, or not a string): relative to the root of the drive.
    reg::SetNumberValue(platform::kRegistryCurrentUser, kShellFolders, "AppData", 7);
    EXPECT_EQ(BrowserDataDir(), "\\SogouExplorer");
    reg::ClearRegistry();
    EXPECT_EQ(BrowserDataDir(), "\\SogouExplorer");
}

TEST(BrowserDataDir, FirstLineOfThePathFileInEitherReading) {
    BrowserInstall install;
    const Text cwd = ProgramPath(install.cwd());
    fs::create_directories(install.cwd() / "data");
    fs::create_directories(install.cwd() / u8"浏览器数据");
    const Text appDataDir = ProgramPath(install.dataDir());
    const struct {
        std::string bytes;
        Text expected;
    } rows[] = {
        {"data\r\nsecond line\r\n", cwd + "\\data"},
        {"data\nx", cwd + "\\data"},
        {"data\rx\n", cwd + "\\data"},
        {std::string("data\0junk", 9), cwd + "\\data"},
        {u8"浏览器数据\r\n", cwd + "\\浏览器数据"},      // only the UTF-8 reading names it
        {"", cwd + "\\"},                                 // the current directory itself
        {"missing\r\n", appDataDir},
        {"\xEF\xBB\xBF" "data", appDataDir},              // a mark is not removed in either reading
        {"..\\AppData\\SogouExplorer", cwd + "\\..\\AppData\\SogouExplorer"},
        {std::string(100000, 'a'), appDataDir},           // far longer than any path
    };
    for (const auto& row : rows) {
        WriteBytes(install.cwd() / "path", row.bytes);
        EXPECT_EQ(BrowserDataDir(), row.expected) << row.bytes.substr(0, 40);
    }
    // A directory named "path" is no path file.
    fs::remove(install.cwd() / "path");
    fs::create_directories(install.cwd() / "path");
    EXPECT_EQ(BrowserDataDir(), appDataDir);
}

TEST(FindProfileDir, EmptyWithoutUsersOrWithoutAnActiveOne) {
    BrowserInstall install;
    EXPECT_EQ(FindProfileDir(), "");  // no users key
    reg::CreateKey(platform::kRegistryCurrentUser, kUsersKey);
    EXPECT_EQ(FindProfileDir(), "");  // no subkeys
    install.AddUser("alice");
    install.AddUser("bob");
    install.AddUser("nohistory", false);
    EXPECT_EQ(FindProfileDir(), "");  // nobody holds a database open
    for (const char* user : {"alice", "bob"}) {
        EXPECT_EQ(ReadBytes(install.profile(user) / "HistoryUrl.db"), std::string("history of ") + user);
        EXPECT_FALSE(fs::exists(install.profile(user) / "HistoryUrl.db.test")) << user;
    }
}

TEST(FindProfileDir, TheFirstUserInRegistryOrderWhoseDatabaseIsHeld) {
    BrowserInstall install;
    install.AddUser("nohistory", false);
    install.AddUser("Anna");
    install.AddActiveUser("zoe");
    install.AddActiveUser("bert");
    EXPECT_EQ(FindProfileDir(), ProgramPath(install.profile("bert")));
    EXPECT_EQ(ReadBytes(install.profile("Anna") / "HistoryUrl.db"), "history of Anna");
}

TEST(FindProfileDir, TheUserSogouExplorerLivesInTheDataDirectory) {
    BrowserInstall install;
    install.AddActiveUser("SogouExplorer");
    EXPECT_EQ(FindProfileDir(), ProgramPath(install.dataDir()));
    // The name compares exactly: another spelling is an ordinary user.
    BrowserInstall other;
    other.AddActiveUser("sogouexplorer");
    EXPECT_EQ(FindProfileDir(), ProgramPath(other.dataDir() / "sogouexplorer"));
}

TEST(FindProfileDir, ALeftoverProbeFileMakesAProfileLookActive) {
    BrowserInstall install;
    install.AddUser("alice");
    WriteBytes(install.profile("alice") / "HistoryUrl.db.test", "left over");
    install.AddActiveUser("bob");
    EXPECT_EQ(FindProfileDir(), ProgramPath(install.profile("alice")));
    EXPECT_EQ(ReadBytes(install.profile("alice") / "HistoryUrl.db"), "history of alice");
}

TEST(FindProfileDir, AnEmptyPathFileGivesDoubledBackslashes) {
    BrowserInstall install;
    WriteBytes(install.cwd() / "path", "");
    reg::CreateKey(platform::kRegistryCurrentUser, Text(kUsersKey) + "\\u");
    fs::create_directories(install.cwd() / "u");
    WriteBytes(install.cwd() / "u" / "HistoryUrl.db", "h");
    ASSERT_TRUE(hooks::HoldFileOpen(ProgramPath(install.cwd() / "u" / "HistoryUrl.db")));
    EXPECT_EQ(FindProfileDir(), ProgramPath(install.cwd()) + "\\\\u");
}

TEST(FindProfileDir, AChineseUserNameReachesItsProfile) {
    BrowserInstall install;
    const Text user = "用户甲";  // GBK, as the registry layer gives names
    reg::CreateKey(platform::kRegistryCurrentUser, Text(kUsersKey) + "\\" + user);
    const Text profile = ProgramPath(install.dataDir()) + "\\" + user;
    ASSERT_TRUE(platform::CreateOneDirectory(profile));
    ASSERT_TRUE(platform::WriteWholeFile(profile + "\\HistoryUrl.db", "h"));
    ASSERT_TRUE(hooks::HoldFileOpen(profile + "\\HistoryUrl.db"));
    EXPECT_EQ(FindProfileDir(), profile);
    EXPECT_TRUE(fs::exists(install.dataDir() / u8"用户甲" / "HistoryUrl.db"));
}

TEST(HistoryDatabaseHeldOpen, AFailedRenameBackIsRetriedUntilTheFileIsBack) {
    BrowserInstall install;
    const fs::path dir = install.AddUser("alice");
    const Text history = ProgramPath(dir / "HistoryUrl.db");
    hooks::FailNextRename(1);  // the probe succeeds, then the first rename back fails
    EXPECT_FALSE(HistoryDatabaseHeldOpen(history));
    EXPECT_EQ(ReadBytes(dir / "HistoryUrl.db"), "history of alice");
    EXPECT_FALSE(fs::exists(dir / "HistoryUrl.db.test"));
    // Through the whole search too.
    hooks::FailNextRename(1);
    EXPECT_EQ(FindProfileDir(), "");
    EXPECT_EQ(ReadBytes(dir / "HistoryUrl.db"), "history of alice");
    EXPECT_FALSE(fs::exists(dir / "HistoryUrl.db.test"));
}

TEST(HistoryDatabaseHeldOpen, AHeldFileIsLeftAlone) {
    BrowserInstall install;
    const fs::path dir = install.AddActiveUser("alice");
    EXPECT_TRUE(HistoryDatabaseHeldOpen(ProgramPath(dir / "HistoryUrl.db")));
    EXPECT_EQ(ReadBytes(dir / "HistoryUrl.db"), "history of alice");
    EXPECT_FALSE(fs::exists(dir / "HistoryUrl.db.test"));
}

}  // namespace
