// The remove-redundant button on the headless toolkit: the two boxes, the blacklist box's height,
// the status texts, the busy lock, an edit made while the task runs, and closing meanwhile.
#include <gtest/gtest.h>

#include "common/worker_threads.h"
#include "ui/controls.h"
#include "ui/remove_redundant.h"
#include "window_harness.h"

namespace t = platform::test;

namespace {

void SetText(int id, const Text& text) {
    t::RunOnWindowThread([&] { platform::SetControlText(id, text); });
}

bool RemovalEndsWith(const Text& status) {
    return t::WaitUntil([&] { return t::Caption(标签_状态) == status && !TaskRunning(kRemoveRedundantSlot) &&
                                     t::Enabled(按钮_黑名单_去除冗余规则); },
                        10000);
}

TEST(RemoveRedundant, ReplacesTheListShowsWhatWentAndReportsTheCount) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    SetText(编辑框_黑名单, "**://a.com/ads/*\n**://b.com/x*\r\n! note\r\n**://a.com^*\r\n**://b.com/x*");
    SetText(编辑框_冗余规则, "earlier\r\n");
    t::TakeLog();

    t::Click(按钮_黑名单_去除冗余规则);
    ASSERT_TRUE(RemovalEndsWith("去除冗余规则完毕！共去除2条"));
    EXPECT_EQ(t::Caption(编辑框_黑名单), "**://b.com/x*\r\n! note\r\n**://a.com^*\r\n");
    EXPECT_EQ(t::Caption(编辑框_冗余规则), "earlier\r\n**://a.com/ads/*\r\n**://b.com/x*\r\n");
    EXPECT_EQ(t::Geometry(编辑框_黑名单).height, 162);

    // What the task did to the boxes, the status and the four command buttons, in order.
    const std::string st = std::to_string(标签_状态), bl = std::to_string(编辑框_黑名单),
                      red = std::to_string(编辑框_冗余规则);
    std::vector<std::string> spine;
    for (const std::string& entry : t::TakeLog()) {
        const size_t at = entry.find(' ') + 1;
        const std::string id = entry.substr(at, entry.find(' ', at) - at);
        for (int watched : {按钮_黑名单_写到规则文件, 按钮_白名单_写到规则文件, 按钮_黑名单_去除冗余规则, 按钮_获取规则,
                            标签_状态, 编辑框_黑名单, 编辑框_冗余规则}) {
            if (id == std::to_string(watched)) spine.push_back(entry);
        }
    }
    std::vector<std::string> expected;
    const auto lock = [&](int on) {
        for (int id : {按钮_黑名单_写到规则文件, 按钮_白名单_写到规则文件, 按钮_黑名单_去除冗余规则, 按钮_获取规则})
            expected.push_back("enabled " + std::to_string(id) + " " + std::to_string(on));
    };
    lock(0);
    expected.push_back("text " + st + " 正在去除冗余规则...");
    expected.push_back("text " + bl + " **://b.com/x*\r\n! note\r\n**://a.com^*\r\n");
    expected.push_back("append " + red + " **://a.com/ads/*\r\n**://b.com/x*\r\n");
    expected.push_back("height " + bl + " 162");
    expected.push_back("text " + st + " 去除冗余规则完毕！共去除2条");
    lock(1);
    EXPECT_EQ(spine, expected);

    // The hide button covers the area again. With nothing redundant the boxes stay as they are,
    // line ends included.
    t::Click(按钮_冗余规则_隐藏);
    EXPECT_EQ(t::Geometry(编辑框_黑名单).height, 266);
    SetText(编辑框_黑名单, "**://a.com^*\n**://b.com^*");
    t::Click(按钮_黑名单_去除冗余规则);
    ASSERT_TRUE(RemovalEndsWith("没有发现冗余规则！"));
    EXPECT_EQ(t::Caption(编辑框_黑名单), "**://a.com^*\n**://b.com^*");
    EXPECT_EQ(t::Caption(编辑框_冗余规则), "earlier\r\n**://a.com/ads/*\r\n**://b.com/x*\r\n");
    EXPECT_EQ(t::Geometry(编辑框_黑名单).height, 266);
}

TEST(RemoveRedundant, AnEditMadeMeanwhileIsNeverOverwritten) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    SetText(编辑框_黑名单, "**://a.com/x*\r\n**://a.com^*\r\n");
    // The click and the user's paste on the window thread in one go: the result comes after both.
    t::RunOnWindowThread([] {
        OnRemoveRedundant();
        platform::SetControlText(编辑框_黑名单, "edited");
    });
    ASSERT_TRUE(RemovalEndsWith("过滤规则在去除冗余规则期间已被修改，未作任何更改！"));
    EXPECT_EQ(t::Caption(编辑框_黑名单), "edited");
    EXPECT_EQ(t::Caption(编辑框_冗余规则), "");
    EXPECT_EQ(t::Geometry(编辑框_黑名单).height, 266);
}

// Stands for a long command that is still running.
platform::Event release;
void HeldTask() { release.Wait(UINT32_MAX); }

TEST(RemoveRedundant, AClickWhileALongCommandRunsStartsNothing) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    SetText(编辑框_黑名单, "**://a.com/x*\r\n**://a.com^*\r\n");
    for (int slot : {8, 9, 10, 11}) {
        release.Reset();
        t::RunOnWindowThread([slot] {
            platform::SetControlText(标签_状态, "before");
            StartTask(slot, HeldTask);
        });
        t::Click(按钮_黑名单_去除冗余规则);
        t::RunOnWindowThread([] {});
        EXPECT_EQ(t::Caption(标签_状态), "before") << slot;
        EXPECT_EQ(t::Caption(编辑框_黑名单), "**://a.com/x*\r\n**://a.com^*\r\n") << slot;
        release.Set();
        EXPECT_TRUE(t::WaitUntil([slot] { return !TaskRunning(slot); }, 5000)) << slot;
    }
}

TEST(RemoveRedundant, ClosingTheWindowStopsTheTaskPromptly) {
    Text list;
    for (int i = 0; i < 400000; ++i) list += "**://h" + std::to_string(i) + ".example.com/ads/" + std::to_string(i) + "*\r\n";
    PluginWindow w;
    ASSERT_TRUE(w.open());
    SetText(编辑框_黑名单, list);
    t::Click(按钮_黑名单_去除冗余规则);
    t::RunOnWindowThread([] {});  // the click has been handled
    EXPECT_TRUE(TaskRunning(kRemoveRedundantSlot));
    EXPECT_TRUE(w.CloseAndWait(2000));
    EXPECT_EQ(w.result(), 0);
    EXPECT_FALSE(TaskRunning(kRemoveRedundantSlot));
}

}  // namespace
