// The rule store through the real DLL, registry and file system: a browser user registered
// under HKCU\Software\SogouExplorer\Users whose history database another process holds open,
// beside an idle user; writing the blacklist and the whitelist from the window into a package
// that carries an extra folder; then fetching with only the user rules ticked, in both modes.
// When QUORLEX_STORE_CHECK names a directory, the final package and its backup are copied
// there for tests/wine/check_store_package.py (python's zipfile) to check.
#include "plugin_window.h"

#include "browser_profile.h"
#include "../unit/stored_zip.h"
#include "store/zip_archive.h"

#include <cstdlib>
#include <string>
#include <utility>

namespace {

const wchar_t kActiveUser[] = L"Quorlex测试";
const wchar_t kIdleUser[] = L"idle";  // enumerated first: probed, and must come through untouched
const char kWritten[] = "写入成功！请立即重启浏览器以使规则生效";

// Blacklist and whitelist as typed, and what the package must hold (UTF-8, one zero byte).
const char kBlacklistTyped[] = "**://ads.example/*\r\n 广告规则 块\r\n\r\n**://*##.banner\r\nmy##hide\r\n";
const char kWhitelistTyped[] = "@@||ok.example^\r\n**://white.example/*\r\n";
const std::string kOldWhite = std::string("[count=1]\n@@old-white\n") + '\0';
const std::string kOldElement = std::string("[count=1]\nold-block") + '\0';

void SetText(const PluginWindow& w, int id, const wchar_t* text) {
    SendMessageW(w.Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

// Clicks `button` and waits until the status line shows `status` with the commands enabled again.
bool RunCommand(const PluginWindow& w, int button, const char* status) {
    SetText(w, 标签_状态, L"");
    w.Click(button);
    return WaitFor([&] {
        return w.Text(标签_状态) == Wide(status) && IsWindowEnabled(w.Control(按钮_获取规则)) &&
               IsWindowEnabled(w.Control(按钮_黑名单_写到规则文件));
    }, 60000);
}

void CopyForTheCheck(const std::wstring& profile) {
    const char* out = std::getenv("QUORLEX_STORE_CHECK");
    if (!out || !*out) return;
    const std::wstring dir = Wide(out);
    CreateDirectoryW(dir.c_str(), nullptr);
    for (const wchar_t* name : {L"ContentListPackage", L"ContentListPackage.Backup"})
        CopyFileW((profile + L"\\" + name).c_str(), (dir + L"\\" + name).c_str(), FALSE);
}

TEST(Store, WriteBothListsIntoTheHeldProfileThenFetchThemBack) {
    const std::wstring dataDir = AppDataFolder() + L"\\SogouExplorer";
    ASSERT_GT(dataDir.size(), 14u);
    const std::wstring active = dataDir + L"\\" + kActiveUser, idle = dataDir + L"\\" + kIdleUser;
    DeleteTree(active);
    DeleteTree(idle);
    CreateDirectoryW(dataDir.c_str(), nullptr);
    ASSERT_TRUE(CreateDirectoryW(active.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(idle.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(active + L"\\HistoryUrl.db", "active history"));
    ASSERT_TRUE(WriteFileBytes(idle + L"\\HistoryUrl.db", "idle history"));
    ASSERT_TRUE(RegisterUser(kActiveUser));
    ASSERT_TRUE(RegisterUser(kIdleUser));

    const std::string original = testzip::StoredZip({{"__user__element__", kOldElement},
                                                     {"__user__white__", kOldWhite},
                                                     {"extra/", ""},
                                                     {"extra/note.txt", "kept as it was"},
                                                     {"extra/keep.gz", "stored, not deflated"}});
    const std::wstring package = active + L"\\ContentListPackage", backup = active + L"\\ContentListPackage.Backup";
    ASSERT_TRUE(WriteFileBytes(package, original));

    {
        Holder browser(active + L"\\HistoryUrl.db");
        ASSERT_TRUE(browser.holding());
        PluginWindow w;
        ASSERT_NE(w.hwnd(), nullptr);

        SetText(w, 编辑框_黑名单, Wide(kBlacklistTyped).c_str());
        ASSERT_TRUE(RunCommand(w, 按钮_黑名单_写到规则文件, kWritten)) << w.Text(标签_状态).size();
        EXPECT_EQ(ReadFileBytes(backup), original);

        SetText(w, 编辑框_白名单, Wide(kWhitelistTyped).c_str());
        ASSERT_TRUE(RunCommand(w, 按钮_白名单_写到规则文件, kWritten));
        EXPECT_NE(ReadFileBytes(backup), original);  // now the package of the blacklist write
        CopyForTheCheck(active);

        // The idle user was probed and put back; nobody's database is left renamed.
        EXPECT_EQ(ReadFileBytes(idle + L"\\HistoryUrl.db"), "idle history");
        EXPECT_FALSE(Exists(idle + L"\\HistoryUrl.db.test"));
        EXPECT_FALSE(Exists(active + L"\\HistoryUrl.db.test"));

        // Fetch with only the user rules ticked, first keeping only the user's own rules.
        for (int id = 选择框_傲游论坛规则; id <= 选择框_用户原有规则; ++id) {
            if (w.Checked(id) != (id == 选择框_用户原有规则)) w.Click(id);
        }
        ASSERT_TRUE(w.Checked(单选框_用户原有规则_自定义规则));
        const struct {
            int radio;
            const char* blacklist;
            const char* whitelist;
        } modes[] = {
            {单选框_用户原有规则_自定义规则, "广告规则块\r\nmy##hide", "\r\n@@||ok.example^"},
            {单选框_用户原有规则_全部, "**://ads.example/*\r\n广告规则块\r\n**://*##.banner\r\nmy##hide",
             "\r\n@@||ok.example^\r\n**://white.example/*"},
        };
        for (const auto& mode : modes) {
            w.Click(mode.radio);
            ASSERT_TRUE(w.Checked(mode.radio));
            SetText(w, 编辑框_黑名单, L"");
            SetText(w, 编辑框_白名单, L"");
            ASSERT_TRUE(RunCommand(w, 按钮_获取规则, "过滤规则获取完毕！"));
            EXPECT_EQ(w.Text(编辑框_黑名单), Wide(mode.blacklist)) << mode.radio;
            EXPECT_EQ(w.Text(编辑框_白名单), Wide(mode.whitelist)) << mode.radio;
        }
    }
    EXPECT_EQ(ReadFileBytes(active + L"\\HistoryUrl.db"), "active history");

    RegDeleteKeyW(HKEY_CURRENT_USER, (std::wstring(kUsersKey) + L"\\" + kActiveUser).c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, (std::wstring(kUsersKey) + L"\\" + kIdleUser).c_str());
    DeleteTree(active);
    DeleteTree(idle);
}

// Read-only files do not stop a write, through the real file system: the package and its backup
// read-only (the attribute MoveFileEx refuses to replace), and a read-only temporary package left
// by an interrupted write beside them.
TEST(Store, ReadOnlyPackageBackupAndLeftoversDoNotStopWrites) {
    const std::wstring dataDir = AppDataFolder() + L"\\SogouExplorer", user = L"QuorlexReadOnly";
    const std::wstring profile = dataDir + L"\\" + user;
    const std::wstring package = profile + L"\\ContentListPackage", backup = profile + L"\\ContentListPackage.Backup";
    const std::wstring leftover = profile + L"\\ContentListPackage.~1a2b.tmp";
    DeleteTree(profile);
    CreateDirectoryW(dataDir.c_str(), nullptr);
    ASSERT_TRUE(CreateDirectoryW(profile.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(profile + L"\\HistoryUrl.db", "history"));
    ASSERT_TRUE(RegisterUser(user));
    std::string previous = testzip::StoredZip({{"__user__white__", kOldWhite}});
    ASSERT_TRUE(WriteFileBytes(package, previous));
    ASSERT_TRUE(WriteFileBytes(backup, testzip::StoredZip({{"__user__element__", kOldElement}})));
    ASSERT_TRUE(WriteFileBytes(leftover, "half a package"));
    {
        Holder browser(profile + L"\\HistoryUrl.db");
        ASSERT_TRUE(browser.holding());
        PluginWindow w;
        ASSERT_NE(w.hwnd(), nullptr);
        for (const wchar_t* rules : {L"@@||first.example^", L"@@||second.example^"}) {
            for (const std::wstring& file : {package, backup, leftover})
                SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
            SetText(w, 编辑框_白名单, rules);
            ASSERT_TRUE(RunCommand(w, 按钮_白名单_写到规则文件, kWritten)) << w.Text(标签_状态).size();
            EXPECT_EQ(ReadFileBytes(backup), previous);
            EXPECT_FALSE(Exists(leftover));
            previous = ReadFileBytes(package);
            std::vector<ArchiveEntry> entries;
            ASSERT_EQ(ReadArchive(previous, entries), ArchiveRead::Complete);
            ASSERT_EQ(entries.size(), 1u);
            EXPECT_EQ(entries[0].data, "[count=1]\n" + std::string(rules, rules + wcslen(rules)) + "\n" + '\0');
        }
    }
    for (const std::wstring& file : {package, backup}) SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    RegDeleteKeyW(HKEY_CURRENT_USER, (std::wstring(kUsersKey) + L"\\" + user).c_str());
    DeleteTree(profile);
}

}  // namespace
