// The window's short commands through real controls: the real clipboard, the selection
// buttons, the user-rules switch and the hover help read back from the tooltip control.
#include "plugin_window.h"

#include <commctrl.h>

#include <cstring>

namespace {

bool PutOnClipboard(const std::wstring& text) {
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    memcpy(GlobalLock(block), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(block);
    SetClipboardData(CF_UNICODETEXT, block);
    CloseClipboard();
    return true;
}

std::wstring ClipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

void SetText(HWND hwnd, const std::wstring& text) {
    SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

TEST(WindowCommands, PasteAndCopyThroughTheRealClipboard) {
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    ASSERT_TRUE(PutOnClipboard(L"**://广告.example/*\r\n**://ad.example/*"));
    SetText(w.Control(编辑框_黑名单), L"replaced");
    w.Click(按钮_黑名单_粘贴);
    EXPECT_EQ(w.Text(编辑框_黑名单), L"**://广告.example/*\r\n**://ad.example/*");
    EXPECT_EQ(w.Text(标签_状态), L"已粘贴！");

    SetText(w.Control(编辑框_白名单), L"白名单规则");
    w.Click(按钮_白名单_复制);
    EXPECT_EQ(ClipboardText(), L"白名单规则");
    EXPECT_EQ(w.Text(标签_状态), L"已复制到剪切板！");

    SetText(w.Control(编辑框_冗余规则), L"");
    w.Click(按钮_冗余规则_复制);
    EXPECT_EQ(ClipboardText(), L"");
    EXPECT_EQ(w.Text(标签_状态), L"已复制！");

    w.Click(按钮_黑名单_清空);
    EXPECT_EQ(w.Text(编辑框_黑名单), L"");
    EXPECT_EQ(w.Text(标签_状态), L"已清空！");
}

TEST(WindowCommands, SelectAllInvertAndTheUserRulesSwitch) {
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    const int sources[] = {选择框_傲游论坛规则,     选择框_卡饭论坛规则,     选择框_ChinaList规则,
                           选择框_小说网站广告过滤, 选择框_电影网站广告过滤, 选择框_动漫网站广告过滤,
                           选择框_不良网站恶意元素过滤, 选择框_热门小说网站广告过滤};
    w.Click(按钮_反选);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(w.Checked(sources[i]), i >= 3) << i;
    w.Click(按钮_全选);
    for (int id : sources) EXPECT_TRUE(w.Checked(id)) << id;
    EXPECT_TRUE(w.Checked(选择框_用户原有规则));

    w.Click(选择框_用户原有规则);
    EXPECT_FALSE(w.Checked(选择框_用户原有规则));
    EXPECT_FALSE(IsWindowEnabled(w.Control(单选框_用户原有规则_全部)));
    EXPECT_FALSE(IsWindowEnabled(w.Control(单选框_用户原有规则_自定义规则)));
    EXPECT_TRUE(w.Checked(单选框_用户原有规则_自定义规则));
    w.Click(选择框_用户原有规则);
    EXPECT_TRUE(IsWindowEnabled(w.Control(单选框_用户原有规则_全部)));
    EXPECT_TRUE(IsWindowEnabled(w.Control(单选框_用户原有规则_自定义规则)));
}

BOOL CALLBACK MatchTooltip(HWND h, LPARAM found) {
    if (_wcsicmp(ClassOf(h).c_str(), L"tooltips_class32") == 0) {
        *reinterpret_cast<HWND*>(found) = h;
        return FALSE;
    }
    return TRUE;
}

std::wstring TooltipTextFor(HWND tooltip, HWND owner, HWND control) {
    wchar_t buffer[1024] = {};
    TOOLINFOW ti = {};
    ti.cbSize = sizeof(ti);
    ti.hwnd = owner;
    ti.uId = reinterpret_cast<UINT_PTR>(control);
    ti.lpszText = buffer;
    SendMessageW(tooltip, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&ti));
    return buffer;
}

TEST(HoverHelp, TheTooltipCarriesTheTextOfTheHoveredControl) {
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    SendMessageW(w.Control(选择框_卡饭论坛规则), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    HWND tooltip = nullptr;
    EnumThreadWindows(GetWindowThreadProcessId(w.hwnd(), nullptr), MatchTooltip,
                      reinterpret_cast<LPARAM>(&tooltip));
    ASSERT_NE(tooltip, nullptr);
    EXPECT_TRUE(GetWindowLongW(tooltip, GWL_STYLE) & TTS_BALLOON);
    EXPECT_TRUE(GetWindowLongW(tooltip, GWL_STYLE) & TTS_NOPREFIX);
    EXPECT_FALSE(GetWindowLongW(w.hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    const std::wstring note = TooltipTextFor(tooltip, w.hwnd(), w.Control(选择框_卡饭论坛规则));
    // The source's update note: whatever its probe has found by now, never nothing.
    EXPECT_FALSE(note.empty());

    SendMessageW(w.Control(单选框_用户原有规则_全部), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(TooltipTextFor(tooltip, w.hwnd(), w.Control(单选框_用户原有规则_全部)), L"包括以**开头的规则");

    SendMessageW(w.Control(分组框_规则配置), WM_MOUSEMOVE, 0, MAKELPARAM(100, 100));
    EXPECT_TRUE(GetWindowLongW(w.hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

}  // namespace
