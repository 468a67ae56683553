// The update probes through the real DLL and WinINet, against the local mirror that the test
// script starts (QUORLEX_MIRROR: its address; QUORLEX_MIRROR_LOG: its request log). The suite's
// QUORLEX_RULE_HOST points at a port that never answers, so other tests see the captions as laid
// out; these tests point it at the mirror, or at a closed port, for their own window.
#include "plugin_window.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

struct Source {
    int box;
    const char* date;
};

const Source kSources[] = {
    {选择框_傲游论坛规则, "[2010-07-01]"},     {选择框_卡饭论坛规则, "[2010-06-30]"},
    {选择框_小说网站广告过滤, "[2010-06-21]"}, {选择框_电影网站广告过滤, "[2010-07-02]"},
    {选择框_动漫网站广告过滤, "[2010-05-28]"}, {选择框_不良网站恶意元素过滤, "[2010-06-11]"},
    {选择框_热门小说网站广告过滤, "[2010-07-05]"},
};

std::string Env(const char* name) {
    char value[1024];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

// Points the program's rule host at `address` while it lives.
class RuleHost {
public:
    explicit RuleHost(const std::string& address) : saved_(Env("QUORLEX_RULE_HOST")) {
        SetEnvironmentVariableA("QUORLEX_RULE_HOST", address.c_str());
    }
    ~RuleHost() { SetEnvironmentVariableA("QUORLEX_RULE_HOST", saved_.empty() ? nullptr : saved_.c_str()); }

private:
    std::string saved_;
};

std::vector<std::vector<std::string>> LoggedRequests() {
    std::ifstream in(Env("QUORLEX_MIRROR_LOG"), std::ios::binary);
    std::vector<std::vector<std::string>> requests;
    std::vector<std::string> current;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) {
            if (!current.empty()) requests.push_back(current);
            current.clear();
        } else {
            current.push_back(line);
        }
    }
    return requests;
}

std::wstring LaidOut(int id) { return Wide(kMainWindowControls[id].caption); }

TEST(Probes, FirstOpeningShowsEveryDateFromTheMirror) {
    const std::string mirror = Env("QUORLEX_MIRROR");
    if (mirror.empty()) GTEST_SKIP() << "QUORLEX_MIRROR not set (scripts/test.sh starts the mirror)";
    const size_t before = LoggedRequests().size();
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

    // What WinINet sent for the forum page: its own lines and the program's three, in order.
    const auto requests = LoggedRequests();
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

TEST(Probes, WithTheMirrorStoppedTheCaptionsStayAsLaidOut) {
    RuleHost host("127.0.0.1:1");  // nothing listens there
    PluginWindow w;
    ASSERT_NE(w.hwnd(), nullptr);
    EXPECT_TRUE(WaitFor([&] { return w.Text(选择框_ChinaList规则) == L"ChinaList-Lazy[]"; }, 30000))
        << "ChinaList caption still as laid out";
    Sleep(1000);  // the other probes have failed the same way by now; none may add a date
    for (const Source& s : kSources) EXPECT_EQ(w.Text(s.box), LaidOut(s.box)) << s.box;
}

}  // namespace
