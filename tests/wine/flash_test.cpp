// The Flash cookie blocker on a Flash Player tree under the Wine prefix's AppData.
#include "plugin_window.h"

namespace {

std::wstring AppData() {
    wchar_t buffer[MAX_PATH] = {};
    GetEnvironmentVariableW(L"AppData", buffer, MAX_PATH);
    return buffer;
}

bool IsFile(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeFolders(const std::wstring& path) {
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    }
}

TEST(FlashCookies, BlockThenUnblock) {
    const std::wstring flash = AppData() + L"\\Macromedia\\Flash Player\\";
    const std::wstring objects = flash + L"#SharedObjects\\";
    const std::wstring settings = flash + L"macromedia.com\\support\\flashplayer\\sys\\";
    const std::wstring site = L"static.youku.com";
    MakeFolders(objects + L"K3J9Q2\\" + site);
    MakeFolders(objects + L"配置");
    MakeFolders(settings + L"#" + site);
    HANDLE f = CreateFileW((objects + L"K3J9Q2\\" + site + L"\\a.sol").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
    CloseHandle(f);

    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    w.Click(按钮_小功能_屏蔽优酷);
    EXPECT_EQ(w.Text(标签_状态), L"成功屏蔽优酷flashcookie！");
    EXPECT_TRUE(IsFile(objects + L"K3J9Q2\\" + site));
    EXPECT_TRUE(IsFile(objects + L"配置\\" + site));
    EXPECT_TRUE(IsFile(settings + L"#" + site));

    w.Click(按钮_小功能_解除屏蔽优酷);
    EXPECT_EQ(w.Text(标签_状态), L"成功解禁优酷flashcookie！");
    EXPECT_FALSE(IsFile(objects + L"K3J9Q2\\" + site));
    EXPECT_FALSE(IsFolder(objects + L"K3J9Q2\\" + site));
    EXPECT_FALSE(IsFile(settings + L"#" + site));
    EXPECT_TRUE(IsFolder(objects + L"配置"));
}

}  // namespace
