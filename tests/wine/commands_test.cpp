// The window's short commands through real controls: the real clipboard, the selection
// buttons, the user-rules switch and the hover help read back from the tooltip control, also
// after real pointer moves.
#include "plugin_window.h"
#include "hover.h"

#include <cstring>
#include <memory>

#include "ui/hover_help.h"

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

// Another thread of the stand-in keeps the clipboard open, as another program may, until
// `holdMs` have passed or the holder goes away.
class ClipboardHolder {
public:
    explicit ClipboardHolder(DWORD holdMs) : holdMs_(holdMs) {
        opened_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, Hold, this, 0, nullptr);
        WaitForSingleObject(opened_, 5000);
    }
    ~ClipboardHolder() {
        SetEvent(release_);
        WaitForSingleObject(thread_, 10000);
        for (HANDLE h : {thread_, opened_, release_}) CloseHandle(h);
    }
    bool held() const { return held_; }

private:
    static DWORD WINAPI Hold(void* p) {
        auto* self = static_cast<ClipboardHolder*>(p);
        self->held_ = OpenClipboard(nullptr) != FALSE;
        SetEvent(self->opened_);
        WaitForSingleObject(self->release_, self->holdMs_);
        if (self->held_) CloseClipboard();
        return 0;
    }
    DWORD holdMs_;
    volatile bool held_ = false;
    HANDLE opened_, release_, thread_;
};

TEST(WindowCommands, CopyOwnsTheClipboardWithTheWindowAndReportsAClipboardThatStaysHeld) {
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    const struct {
        DWORD heldMs;  // 0: nobody holds the clipboard
        const wchar_t* status;
        const wchar_t* clipboardAfter;
    } cases[] = {
        {0, L"已复制到剪切板！", L"黑名单规则"},
        {40, L"已复制到剪切板！", L"黑名单规则"},  // let go while the copy still tries
        {INFINITE, L"复制失败！", L"用户自己的文字"},
    };
    SetText(w.Control(编辑框_黑名单), L"黑名单规则");
    for (const auto& c : cases) {
        ASSERT_TRUE(PutOnClipboard(L"用户自己的文字"));
        SetText(w.Control(标签_状态), L"");
        {
            std::unique_ptr<ClipboardHolder> holder;
            if (c.heldMs) {
                holder.reset(new ClipboardHolder(c.heldMs));
                ASSERT_TRUE(holder->held()) << c.heldMs;
            }
            w.Click(按钮_黑名单_复制);
            EXPECT_EQ(w.Text(标签_状态), c.status) << c.heldMs;
        }
        EXPECT_EQ(ClipboardText(), c.clipboardAfter) << c.heldMs;
        // The window owns what it put there: Windows refuses the text of an owner-less clipboard.
        if (c.heldMs != INFINITE) EXPECT_EQ(GetClipboardOwner(), w.hwnd()) << c.heldMs;
    }
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

TEST(HoverHelp, TheTooltipCarriesTheTextOfTheHoveredControl) {
    // The real pointer away from the window: where an earlier run left it, over the group box,
    // it would put the window on top again and so take the tooltip away mid-test.
    ASSERT_TRUE(MovePointer(GetDesktopWindow(), 0, 0));
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    SendMessageW(w.Control(选择框_卡饭论坛规则), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    HWND tooltip = FindTooltip(w);
    ASSERT_NE(tooltip, nullptr);
    EXPECT_TRUE(GetWindowLongW(tooltip, GWL_STYLE) & TTS_BALLOON);
    EXPECT_TRUE(GetWindowLongW(tooltip, GWL_STYLE) & TTS_NOPREFIX);
    EXPECT_FALSE(GetWindowLongW(w.hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    const std::wstring note = TooltipText(tooltip, w, w.Control(选择框_卡饭论坛规则));
    // The source's update note: whatever its probe has found by now, never nothing.
    EXPECT_FALSE(note.empty());

    SendMessageW(w.Control(单选框_用户原有规则_全部), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(TooltipText(tooltip, w, w.Control(单选框_用户原有规则_全部)), L"包括以**开头的规则");

    SendMessageW(w.Control(分组框_规则配置), WM_MOUSEMOVE, 0, MAKELPARAM(100, 100));
    EXPECT_TRUE(GetWindowLongW(w.hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

// The name of the class `hwnd` was made from, as the system registered it: a class of a
// side-by-side assembly carries the assembly's version ("6.0.2600.2982!Button"), which
// GetClassName leaves out.
std::wstring RegisteredClassName(HWND hwnd) {
    wchar_t name[256] = {};
    GetClipboardFormatNameW(UINT(GetClassLongW(hwnd, GCW_ATOM)), name, 256);  // class atoms share that table
    return name;
}

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// The browser stand-in has no manifest: what it makes itself comes from the common controls
// before version 6. The plug-in's window must still get version 6, through the activation
// context of the DLL's own manifest.
TEST(HoverHelp, WithoutAHostManifestTheControlsAndTheTooltipComeFromCommonControls6) {
    HWND own = CreateWindowExW(0, L"Button", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(RegisteredClassName(own), L"Button") << "the stand-in itself asks for version 6";
    DestroyWindow(own);

    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    for (int id = 0; id < kControlCount; ++id) {
        if (kMainWindowControls[id].kind == platform::ControlKind::Component) continue;
        EXPECT_EQ(RegisteredClassName(w.Control(id)).rfind(L"6.0.", 0), 0u)
            << id << ": " << RegisteredClassName(w.Control(id));
    }
    // A real hand over a check box: the balloon pops up for it, with its text. The tooltip
    // watches the moves after the one that registered the box, so the hand comes to rest a
    // pixel further on.
    ASSERT_TRUE(MovePointerOver(w, 选择框_ChinaList规则, 30, 9));
    ASSERT_TRUE(MovePointerOver(w, 选择框_ChinaList规则, 31, 9));
    HWND tooltip = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (tooltip = FindTooltip(w)) != nullptr && IsWindowVisible(tooltip); }, 5000));
    // Wine makes every tooltip from one class that does not answer CCM_GETVERSION.
    if (!UnderWine()) EXPECT_EQ(SendMessageW(tooltip, CCM_GETVERSION, 0, 0), 6);
    TOOLINFOW current = {};
    current.cbSize = TTTOOLINFOW_V2_SIZE;
    ASSERT_TRUE(SendMessageW(tooltip, TTM_GETCURRENTTOOLW, 0, reinterpret_cast<LPARAM>(&current)));
    EXPECT_EQ(current.uId, reinterpret_cast<UINT_PTR>(w.Control(选择框_ChinaList规则)));
    EXPECT_EQ(TooltipText(tooltip, w, w.Control(选择框_ChinaList规则)), Wide(ChinaListHelpText().c_str()));
    EXPECT_FALSE(IsTopmost(w.hwnd()));
}

// A group box is transparent to hit-testing: the pointer over its caption row or a margin moves
// over the main window, which must take it as a move over the group box.
TEST(HoverHelp, ARealPointerOverTheGroupBoxBackgroundPutsTheWindowOnTopAgain) {
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    const struct { const char* where; int x, y; } backgrounds[] = {
        {"caption row", 120, 5}, {"left margin", 3, 100}, {"right margin", 221, 120}, {"bottom edge", 100, 178}};
    for (const auto& b : backgrounds) {
        ASSERT_TRUE(MovePointerOver(w, 选择框_电影网站广告过滤, 30, 9)) << b.where;
        ASSERT_TRUE(WaitFor([&] { return !IsTopmost(w.hwnd()); }, 3000)) << b.where;
        ASSERT_TRUE(MovePointerOver(w, 分组框_规则配置, b.x, b.y)) << b.where;
        EXPECT_TRUE(WaitFor([&] { return IsTopmost(w.hwnd()); }, 3000)) << b.where;
    }
}

}  // namespace
