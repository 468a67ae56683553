// The main window through the real DLL: layout, busy lock, fetch spine, shutdown, exports.
#include "plugin_window.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

// Records the WM_ENABLE messages that the buttons receive, by control id, in order.
std::mutex logLock;
std::vector<std::pair<int, bool>> enableLog;
WNDPROC originalProcs[kControlCount] = {};

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    const int id = GetDlgCtrlID(hwnd) - kControlIdBase;
    if (msg == WM_ENABLE) {
        std::lock_guard<std::mutex> lock(logLock);
        enableLog.emplace_back(id, wp != 0);
    }
    return CallWindowProcW(originalProcs[id], hwnd, msg, wp, lp);
}

TEST(Exports, TheFourEntryPointsAndTheirResults) {
    unsigned char table[128], before[128];
    for (int i = 0; i < 128; ++i) table[i] = before[i] = static_cast<unsigned char>(i * 13 + 1);
    EXPECT_EQ(plugin.getEntryPoints(table), 0);
    EXPECT_EQ(memcmp(table, before, sizeof table), 0);
    EXPECT_EQ(plugin.getMime(), nullptr);
    EXPECT_EQ(plugin.shutdown(), 0);
}

TEST(MainWindow, LayoutCaptionsAndStatesAsLaidOut) {
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    EXPECT_EQ(TextOf(w.hwnd()), L"Quorlex V3.0 - 作者：Brannoc(brannoc@quorlex.example)");
    RECT wr;
    GetWindowRect(w.hwnd(), &wr);
    EXPECT_EQ(wr.left, 50);
    EXPECT_EQ(wr.top, 50);
    EXPECT_EQ(wr.right - wr.left, 569);
    EXPECT_EQ(wr.bottom - wr.top, 340);

    for (int id = 0; id < kControlCount; ++id) {
        const platform::ControlSpec& s = kMainWindowControls[id];
        if (s.kind == platform::ControlKind::Component) continue;
        HWND c = w.Control(id);
        ASSERT_NE(c, nullptr) << id;
        HWND expectedParent = s.parentId < 0 ? w.hwnd() : w.Control(s.parentId);
        EXPECT_EQ(GetParent(c), expectedParent) << id;
        RECT r;
        GetWindowRect(c, &r);
        MapWindowPoints(HWND_DESKTOP, expectedParent, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, s.x) << id;
        EXPECT_EQ(r.top, s.y) << id;
        EXPECT_EQ(r.right - r.left, s.width) << id;
        EXPECT_EQ(r.bottom - r.top, id == 编辑框_黑名单 ? 266 : s.height) << id;
        EXPECT_EQ(TextOf(c), Wide(s.caption)) << id;
        EXPECT_TRUE(IsWindowEnabled(c)) << id;
        EXPECT_TRUE(IsWindowVisible(c)) << id;
        const std::wstring cls = ClassOf(c);
        const wchar_t* expectedClass = s.kind == platform::ControlKind::Label ? L"Static"
                                     : s.kind == platform::ControlKind::EditBox ? L"Edit" : L"Button";
        EXPECT_EQ(_wcsicmp(cls.c_str(), expectedClass), 0) << id;
        if (s.kind == platform::ControlKind::CheckBox || s.kind == platform::ControlKind::RadioButton) {
            EXPECT_EQ(w.Checked(id), s.initiallyOn) << id;
        }
        if (s.kind == platform::ControlKind::EditBox) {
            const LONG style = GetWindowLongW(c, GWL_STYLE);
            EXPECT_TRUE(style & ES_MULTILINE) << id;
            EXPECT_TRUE(style & WS_HSCROLL) << id;
            EXPECT_TRUE(style & WS_VSCROLL) << id;
            EXPECT_GE(DWORD(SendMessageW(c, EM_GETLIMITTEXT, 0, 0)), 0x7FFFFFFEu) << id;
        }
    }
    // Texts read back through the W API, independent of the layout table's encoding.
    EXPECT_EQ(w.Text(标签_状态), L"欢迎使用Quorlex！");
    EXPECT_EQ(w.Text(按钮_冗余规则_隐藏), L"隐藏冗余规则↑");
    EXPECT_EQ(w.Text(选择框_不良网站恶意元素过滤), L"不良网站恶意元素过滤");
}

// Changes the system's caption and frame metrics for as long as it lives (this session only).
class NonClientMetrics {
public:
    NonClientMetrics(int captionExtra, int paddedBorder) {
        saved_.cbSize = sizeof saved_;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof saved_, &saved_, 0);
        NONCLIENTMETRICSW changed = saved_;
        changed.iCaptionHeight += captionExtra;
        changed.iPaddedBorderWidth = paddedBorder;
        if (captionExtra || paddedBorder) SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof changed, &changed, 0);
    }
    ~NonClientMetrics() { SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof saved_, &saved_, 0); }

private:
    NONCLIENTMETRICSW saved_ = {};
};

// The layout needs a client area of 563x315. Under the classic metrics (a 3-pixel frame, a
// 19-pixel caption) that makes the laid-out 569x340 window; a taller caption or padded borders,
// as on current Windows, make the window larger instead of cutting controls off.
TEST(MainWindow, EveryControlLiesInsideTheClientAreaWhateverTheCaptionAndFrame) {
    const struct {
        const char* metrics;
        int captionExtra, paddedBorder;
        bool classic;
    } cases[] = {{"classic", 0, 0, true}, {"taller caption, padded border", 12, 4, false}};
    for (const auto& c : cases) {
        NonClientMetrics metrics(c.captionExtra, c.paddedBorder);
        PluginWindow w;
        ASSERT_NE(w.hwnd(), nullptr) << c.metrics;
        RECT outer, client;
        GetWindowRect(w.hwnd(), &outer);
        GetClientRect(w.hwnd(), &client);
        if (c.classic) {
            EXPECT_EQ(outer.right - outer.left, 569) << c.metrics;
            EXPECT_EQ(outer.bottom - outer.top, 340) << c.metrics;
        }
        EXPECT_EQ(client.right, 563) << c.metrics;
        EXPECT_EQ(client.bottom, 315) << c.metrics;
        MapWindowPoints(w.hwnd(), HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
        for (int id = 0; id < kControlCount; ++id) {
            if (kMainWindowControls[id].kind == platform::ControlKind::Component) continue;
            RECT r;
            GetWindowRect(w.Control(id), &r);
            EXPECT_TRUE(r.left >= client.left && r.top >= client.top && r.right <= client.right &&
                        r.bottom <= client.bottom)
                << c.metrics << ": control " << id << " at " << r.left - client.left << "," << r.top - client.top
                << " to " << r.right - client.left << "," << r.bottom - client.top;
        }
    }
}

TEST(MainWindow, EditBoxesHoldMegabytesOfRules) {
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    std::wstring big;
    for (int i = 0; i < 20000; ++i) big += L"**://ad" + std::to_wstring(i) + L".example.com/*\r\n";
    ASSERT_GT(big.size(), 500000u);
    SendMessageW(w.Control(编辑框_黑名单), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(big.c_str()));
    EXPECT_EQ(size_t(GetWindowTextLengthW(w.Control(编辑框_黑名单))), big.size());
}

TEST(MainWindow, FetchWithNothingTickedAppendsALineEndUnderTheBusyLock) {
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    for (int id = 选择框_傲游论坛规则; id <= 选择框_用户原有规则; ++id) {
        if (w.Checked(id)) w.Click(id);
        EXPECT_FALSE(w.Checked(id)) << id;
    }
    const int watched[] = {按钮_黑名单_写到规则文件, 按钮_白名单_写到规则文件, 按钮_黑名单_去除冗余规则,
                           按钮_获取规则, 按钮_黑名单_粘贴, 按钮_黑名单_复制, 按钮_黑名单_清空,
                           按钮_白名单_粘贴, 按钮_白名单_复制, 按钮_白名单_清空, 按钮_冗余规则_复制,
                           按钮_冗余规则_清空};
    enableLog.clear();
    for (int id : watched) {
        originalProcs[id] = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            w.Control(id), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingProc)));
    }
    SendMessageW(w.Control(编辑框_白名单), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"kept"));

    w.Click(按钮_获取规则);
    ASSERT_TRUE(WaitFor([&] { return w.Text(标签_状态) == L"过滤规则获取完毕！" &&
                                     IsWindowEnabled(w.Control(按钮_获取规则)); }, 10000));
    EXPECT_EQ(w.Text(编辑框_黑名单), L"\r\n");
    EXPECT_EQ(w.Text(编辑框_白名单), L"kept\r\n");

    const std::vector<std::pair<int, bool>> expected = {
        {按钮_黑名单_写到规则文件, false}, {按钮_白名单_写到规则文件, false},
        {按钮_黑名单_去除冗余规则, false}, {按钮_获取规则, false},
        {按钮_黑名单_写到规则文件, true},  {按钮_白名单_写到规则文件, true},
        {按钮_黑名单_去除冗余规则, true},  {按钮_获取规则, true}};
    std::lock_guard<std::mutex> lock(logLock);
    EXPECT_EQ(enableLog, expected);  // the paste, copy and clear buttons were never disabled
}

TEST(MainWindow, ClosingDuringAFetchReturnsZeroPromptly) {
    for (int round = 0; round < 10; ++round) {
        PluginWindow w;
        ASSERT_NE(w.hwnd(), nullptr);
        PostMessageW(w.Control(按钮_获取规则), BM_CLICK, 0, 0);
        Sleep(DWORD(round * 3));
        const DWORD ms = w.CloseAndTime();
        ASSERT_TRUE(w.returned()) << round;
        EXPECT_EQ(w.result(), 0);
        EXPECT_LT(ms, 2000u) << round;
    }
}

TEST(MainWindow, ExitButtonAndShutdownWhileOpen) {
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    EXPECT_EQ(plugin.shutdown(), 0);
    Sleep(100);
    EXPECT_TRUE(IsWindow(w.hwnd()));
    EXPECT_FALSE(w.returned());
    PostMessageW(w.Control(按钮_退出), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return w.returned(); }, 3000));
    EXPECT_EQ(w.result(), 0);
    EXPECT_FALSE(IsWindow(w.hwnd()));
}

// Writes the window as the screen shows it to a BMP file (a test artefact).
void SaveScreenshot(HWND hwnd, const char* path) {
    RECT r;
    GetWindowRect(hwnd, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    const DWORD rowBytes = DWORD((width * 3 + 3) & ~3);
    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
    fh.bfSize = fh.bfOffBits + rowBytes * DWORD(height);
    if (FILE* f = fopen(path, "wb")) {
        fwrite(&fh, sizeof fh, 1, f);
        fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f);
        fwrite(bits, rowBytes, size_t(height), f);
        fclose(f);
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

TEST(MainWindow, Screenshot) {
    const char* path = getenv("QUORLEX_SCREENSHOT");
    if (!path || !*path) GTEST_SKIP() << "QUORLEX_SCREENSHOT not set";
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    Sleep(500);  // let every control paint
    SaveScreenshot(w.hwnd(), path);
    FILE* f = fopen(path, "rb");
    ASSERT_NE(f, nullptr);
    fclose(f);
}

}  // namespace
