// The update probes through the real DLL and WinINet, against the local mirror (mirror.h), and
// against a closed port.
#include "plugin_window.h"
#include "mirror.h"
#include "hover.h"

namespace {

struct Source {
    int box;
    const char* date;
    const char* note;
};

#define KINGSOFT_NOTE(what) "过滤" what "的广告与弹窗，\n每周更新。\"订阅即可用\""
const Source kSources[] = {
    {选择框_傲游论坛规则, "[2010-07-01]", "本帖的附件为傲游3广告过滤规则，\r\n每周更新一次。下载后由工具自动导入。"},
    {选择框_卡饭论坛规则, "[2010-06-30]", KINGSOFT_NOTE("卡饭论坛规则")},
    {选择框_小说网站广告过滤, "[2010-06-21]", KINGSOFT_NOTE("小说网站")},
    {选择框_电影网站广告过滤, "[2010-07-02]", KINGSOFT_NOTE("电影网站")},
    {选择框_动漫网站广告过滤, "[2010-05-28]", KINGSOFT_NOTE("动漫网站")},
    {选择框_不良网站恶意元素过滤, "[2010-06-11]", KINGSOFT_NOTE("不良网站恶意元素过滤")},
    {选择框_热门小说网站广告过滤, "[2010-07-05]", KINGSOFT_NOTE("热门小说网站")},
};

// Hovers over a check box and reads the text its tooltip then carries.
std::wstring HoverText(const PluginWindow& w, int id) {
    SendMessageW(w.Control(id), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    HWND tooltip = FindTooltip(w);
    return tooltip ? TooltipText(tooltip, w, w.Control(id)) : L"(no tooltip)";
}

std::wstring LaidOut(int id) { return Wide(kMainWindowControls[id].caption); }

TEST(Probes, FirstOpeningShowsEveryDateAndNoteFromTheMirror) {
    const std::string mirror = MirrorAddress();
    if (mirror.empty()) GTEST_SKIP() << "QUORLEX_MIRROR not set (scripts/test.sh starts the mirror)";
    const size_t before = MirrorRequests().size();
    RuleHost host(mirror);
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    const bool dated = WaitFor([&] {
        for (const Source& s : kSources) {
            if (w.Text(s.box) != LaidOut(s.box) + Wide(s.date)) return false;
        }
        return w.Text(选择框_ChinaList规则) == L"ChinaList-Lazy[2010-07-07]";
    }, 30000);
    for (const Source& s : kSources) EXPECT_EQ(w.Text(s.box), LaidOut(s.box) + Wide(s.date)) << s.box;
    EXPECT_EQ(w.Text(选择框_ChinaList规则), L"ChinaList-Lazy[2010-07-07]");
    EXPECT_TRUE(dated);
    // Each probe keeps its note before it extends the caption: the hover shows it now.
    for (const Source& s : kSources) EXPECT_EQ(HoverText(w, s.box), Wide(s.note)) << s.box;

    // What WinINet sent for the forum page: its own lines and the program's three, in order.
    const auto requests = MirrorRequests();
    ASSERT_GE(requests.size(), before + 8);
    std::vector<std::string> forum;
    for (size_t i = before; i < requests.size(); ++i) {
        if (requests[i][0] == "GET /viewthread.php?tid=273069 HTTP/1.1") forum = requests[i];
    }
    const std::vector<std::string> expected = {
        "GET /viewthread.php?tid=273069 HTTP/1.1",
        "Host: " + mirror,
        "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)",
        "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
        "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*",
        "Referer: http://" + mirror + "/viewthread.php?tid=273069",
        "Accept-Language: zh-cn",
    };
    EXPECT_EQ(forum, expected);
}

TEST(Probes, WithTheMirrorStoppedTheCaptionsStayAndEveryNoteFails) {
    RuleHost host("127.0.0.1:1");  // nothing listens there
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    EXPECT_TRUE(WaitFor([&] { return w.Text(选择框_ChinaList规则) == L"ChinaList-Lazy[]"; }, 30000))
        << "ChinaList caption still as laid out";
    const std::wstring failed = Wide("更新信息获取失败！");
    EXPECT_TRUE(WaitFor([&] {
        for (const Source& s : kSources) {
            if (HoverText(w, s.box) != failed) return false;
        }
        return true;
    }, 30000));
    for (const Source& s : kSources) {
        EXPECT_EQ(HoverText(w, s.box), failed) << s.box;
        EXPECT_EQ(w.Text(s.box), LaidOut(s.box)) << s.box;
    }
}

}  // namespace
