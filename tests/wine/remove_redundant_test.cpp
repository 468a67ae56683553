// The remove-redundant button through real controls: the blacklist box and the redundant-rules
// box, the blacklist box's height, the status texts, the busy lock and an edit made while the
// task runs.
#include "plugin_window.h"

#include <string>

namespace {

void SetText(HWND hwnd, const std::wstring& text) {
    SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// Distinct rules, none covering another: the task has something to chew on.
std::wstring ManyRules(int count) {
    std::wstring rules;
    for (int i = 0; i < count; ++i)
        rules += L"**://h" + std::to_wstring(i) + L".example.com/ads/" + std::to_wstring(i) + L"*\r\n";
    return rules;
}

bool Done(const PluginWindow& w, const std::wstring& status) {
    return WaitFor([&] { return w.Text(标签_状态) == status && IsWindowEnabled(w.Control(按钮_黑名单_去除冗余规则)); },
                   20000);
}

TEST(RemoveRedundant, TheBoxesTheHeightAndTheStatus) {
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    // Chinese text goes through GBK and back unchanged.
    SetText(w.Control(编辑框_黑名单), L"**://a.com/ads/*\r\n**://例子.com/*\r\n**://a.com^*\r\n"
                                      L"**://b.com^*##.广告\r\n**://*##.广告\r\n**://a.com^*");
    SetText(w.Control(编辑框_冗余规则), L"earlier\r\n");
    w.Click(按钮_黑名单_去除冗余规则);
    ASSERT_TRUE(Done(w, L"去除冗余规则完毕！共去除3条")) << w.Text(标签_状态);
    EXPECT_EQ(w.Text(编辑框_黑名单), L"**://例子.com/*\r\n**://a.com^*\r\n**://*##.广告\r\n");
    EXPECT_EQ(w.Text(编辑框_冗余规则), L"earlier\r\n**://a.com/ads/*\r\n**://b.com^*##.广告\r\n**://a.com^*\r\n");
    EXPECT_EQ(w.Height(编辑框_黑名单), 162);
    EXPECT_TRUE(IsWindowVisible(w.Control(编辑框_冗余规则)));

    w.Click(按钮_冗余规则_隐藏);
    EXPECT_EQ(w.Height(编辑框_黑名单), 266);
    w.Click(按钮_黑名单_去除冗余规则);
    ASSERT_TRUE(Done(w, L"没有发现冗余规则！")) << w.Text(标签_状态);
    EXPECT_EQ(w.Height(编辑框_黑名单), 266);
    EXPECT_EQ(w.Text(编辑框_黑名单), L"**://例子.com/*\r\n**://a.com^*\r\n**://*##.广告\r\n");
}

// While the task runs the four command buttons are disabled and the edit-box buttons are not; a
// second click that comes before the task has disabled its button starts nothing.
TEST(RemoveRedundant, TheBusyLockAndASecondClick) {
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    const std::wstring rules = ManyRules(20000) + L"**://h1.example.com/ads/1*\r\n";
    SetText(w.Control(编辑框_黑名单), rules);
    PostMessageW(w.Control(按钮_黑名单_去除冗余规则), BM_CLICK, 0, 0);
    PostMessageW(w.Control(按钮_黑名单_去除冗余规则), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowEnabled(w.Control(按钮_获取规则)); }, 5000));
    for (int id : {按钮_黑名单_写到规则文件, 按钮_白名单_写到规则文件, 按钮_黑名单_去除冗余规则})
        EXPECT_FALSE(IsWindowEnabled(w.Control(id))) << id;
    for (int id : {按钮_黑名单_粘贴, 按钮_黑名单_复制, 按钮_黑名单_清空, 按钮_冗余规则_清空})
        EXPECT_TRUE(IsWindowEnabled(w.Control(id))) << id;
    EXPECT_EQ(w.Text(标签_状态), L"正在去除冗余规则...");

    // A second task would find the box changed by the first and say so.
    ASSERT_TRUE(Done(w, L"去除冗余规则完毕！共去除1条")) << w.Text(标签_状态);
    Sleep(500);
    EXPECT_EQ(w.Text(标签_状态), L"去除冗余规则完毕！共去除1条");
    EXPECT_EQ(w.Text(编辑框_冗余规则), L"**://h1.example.com/ads/1*\r\n");
    EXPECT_EQ(size_t(GetWindowTextLengthW(w.Control(编辑框_黑名单))), rules.size() - 28);
    for (int id : {按钮_黑名单_写到规则文件, 按钮_白名单_写到规则文件, 按钮_获取规则})
        EXPECT_TRUE(IsWindowEnabled(w.Control(id))) << id;
}

TEST(RemoveRedundant, AnEditMadeMeanwhileIsKept) {
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    SetText(w.Control(编辑框_黑名单), ManyRules(20000) + L"**://h1.example.com/ads/1*\r\n");
    w.Click(按钮_黑名单_去除冗余规则);  // returns once the task has been started
    SetText(w.Control(编辑框_黑名单), L"**://mine.example/*");
    ASSERT_TRUE(Done(w, L"过滤规则在去除冗余规则期间已被修改，未作任何更改！")) << w.Text(标签_状态);
    EXPECT_EQ(w.Text(编辑框_黑名单), L"**://mine.example/*");
    EXPECT_EQ(w.Text(编辑框_冗余规则), L"");
    EXPECT_EQ(w.Height(编辑框_黑名单), 266);
}

TEST(RemoveRedundant, ClosingWhileItRunsReturnsPromptly) {
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    SetText(w.Control(编辑框_黑名单), ManyRules(60000));
    w.Click(按钮_黑名单_去除冗余规则);
    const DWORD ms = w.CloseAndTime();
    ASSERT_TRUE(w.returned());
    EXPECT_EQ(w.result(), 0);
    EXPECT_LT(ms, 2000u);
}

}  // namespace
