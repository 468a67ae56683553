// The main window on the headless toolkit: layout, first activation, always-on-top, the fetch
// spine under the busy lock, and shutdown.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "common/stop.h"
#include "common/worker_threads.h"
#include "mirror_process.h"
#include "rules/sources/source_steps.h"
#include "ui/controls.h"
#include "ui/layout.h"
#include "web/probes.h"
#include "window_harness.h"

namespace t = platform::test;

namespace {

TEST(MainWindow, OpensWithTheLaidOutControlsAndFirstActivation) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    EXPECT_EQ(t::Title(), "Quorlex V3.0 - 作者：Brannoc(brannoc@quorlex.example)");
    for (int id = 0; id < kControlCount; ++id) {
        const platform::ControlSpec& s = kMainWindowControls[id];
        ASSERT_EQ(s.id, id);
        if (s.kind == platform::ControlKind::Component) continue;
        const platform::Rect r = t::Geometry(id);
        const int height = id == 编辑框_黑名单 ? 266 : s.height;  // set at first activation
        EXPECT_EQ(r.x, s.x) << id;
        EXPECT_EQ(r.y, s.y) << id;
        EXPECT_EQ(r.width, s.width) << id;
        EXPECT_EQ(r.height, height) << id;
        EXPECT_EQ(t::Caption(id), s.caption) << id;
        EXPECT_TRUE(t::Enabled(id)) << id;
    }
    const ControlId ticked[] = {选择框_傲游论坛规则, 选择框_卡饭论坛规则, 选择框_ChinaList规则,
                                选择框_用户原有规则, 单选框_用户原有规则_自定义规则};
    for (ControlId id : ticked) EXPECT_TRUE(t::Checked(id)) << id;
    EXPECT_FALSE(t::Checked(选择框_小说网站广告过滤));
    EXPECT_FALSE(t::Checked(单选框_用户原有规则_全部));
    EXPECT_EQ(t::Caption(标签_状态), "欢迎使用Quorlex！");

    // Every source with a dated probe: the seven but ChinaList and the user's rules.
    int dated = 0;
    for (const RuleSourceRow& row : kRuleSources) {
        if (!HasUpdateNote(row)) continue;
        ++dated;
        EXPECT_EQ(UpdateDate(row.source).Get(), "[0000-00-00]") << row.name;
        EXPECT_EQ(UpdateInfo(row.source).Get(), "正在获取更新信息...") << row.name;
    }
    EXPECT_EQ(dated, 7);
    EXPECT_FALSE(TaskRunning(kRemoveRedundantSlot));
}

// Each rule source has exactly one check box, and the layout ticks it as the table of sources says.
TEST(MainWindow, EverySourceHasItsOwnCheckBox) {
    std::vector<int> boxes;
    for (const RuleSourceRow& row : kRuleSources) {
        const ControlId box = SourceBox(row.source);
        ASSERT_LT(box, kControlCount) << row.name;
        EXPECT_EQ(kMainWindowControls[box].kind, platform::ControlKind::CheckBox) << row.name;
        EXPECT_EQ(kMainWindowControls[box].initiallyOn, row.tickedAtStart) << row.name;
        EXPECT_EQ(SourceOfControl(box), row.source) << row.name;
        boxes.push_back(box);
    }
    std::sort(boxes.begin(), boxes.end());
    EXPECT_EQ(std::adjacent_find(boxes.begin(), boxes.end()), boxes.end());
    EXPECT_EQ(SourceOfControl(按钮_获取规则), std::nullopt);
}

TEST(MainWindow, AlwaysOnTopFollowsDeactivationHoverAndIdle) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    platform::test::RunOnWindowThread([] { platform::SetTopmost(false); });
    t::MouseMove(选择框_傲游论坛规则);  // no tooltip handler here: nothing changes
    EXPECT_FALSE(t::Topmost());
    t::MouseMove(分组框_规则配置);
    EXPECT_TRUE(t::Topmost());
    platform::test::RunOnWindowThread([] { platform::SetTopmost(false); });
    t::Deactivate();
    EXPECT_TRUE(t::Topmost());
    platform::test::RunOnWindowThread([] { platform::SetTopmost(false); });
    t::Hide();
    EXPECT_TRUE(t::Topmost());

    // Idle puts the window on top only at exactly 5,000 ms.
    platform::test::RunOnWindowThread([] { platform::SetTopmost(false); });
    for (int ms : {0, 4999, 5001, 10000}) t::ReportIdle(ms);
    EXPECT_FALSE(t::Topmost());
    t::ReportIdle(5000);
    EXPECT_TRUE(t::Topmost());
}

void UntickEverySource() {
    for (int id = 选择框_傲游论坛规则; id <= 选择框_用户原有规则; ++id) {
        if (t::Checked(id)) t::Click(id);
    }
}

TEST(MainWindow, FetchWithNothingTickedAppendsOneLineEndUnderTheBusyLock) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    UntickEverySource();
    t::RunOnWindowThread([] { platform::SetControlText(编辑框_黑名单, "kept"); });
    t::TakeLog();

    t::Click(按钮_获取规则);
    ASSERT_TRUE(t::WaitUntil([] { return t::Caption(标签_状态) == "过滤规则获取完毕！" &&
                                          t::Enabled(按钮_获取规则); }, 5000));
    EXPECT_EQ(t::Caption(编辑框_黑名单), "kept\r\n");  // appended without a separator
    EXPECT_EQ(t::Caption(编辑框_白名单), "\r\n");
    EXPECT_EQ(Buckets().BlacklistText, "\r\n");
    EXPECT_EQ(Buckets().WhitelistText, "\r\n");

    const std::string w1 = std::to_string(按钮_黑名单_写到规则文件), w2 = std::to_string(按钮_白名单_写到规则文件),
                      rr = std::to_string(按钮_黑名单_去除冗余规则), f = std::to_string(按钮_获取规则),
                      st = std::to_string(标签_状态), bl = std::to_string(编辑框_黑名单),
                      wl = std::to_string(编辑框_白名单);
    // The source steps show texts of their own between the task's first and last ones.
    std::vector<std::string> log = t::TakeLog();
    const std::string first = "text " + st + " 正在获取过滤规则...", last = "text " + st + " 过滤规则获取完毕！";
    std::vector<std::string> spine;
    for (const std::string& entry : log) {
        if (entry.rfind("text " + st + " ", 0) != 0 || entry == first || entry == last) spine.push_back(entry);
    }
    const std::vector<std::string> expected = {
        "enabled " + w1 + " 0", "enabled " + w2 + " 0", "enabled " + rr + " 0", "enabled " + f + " 0",
        "height " + bl + " 266",
        first,
        "append " + bl + " \r\n",
        "append " + wl + " \r\n",
        last,
        "enabled " + w1 + " 1", "enabled " + w2 + " 1", "enabled " + rr + " 1", "enabled " + f + " 1",
    };
    EXPECT_EQ(spine, expected);  // the paste, copy and clear buttons were never touched

    // A second run appends its result right after the first.
    t::Click(按钮_获取规则);
    ASSERT_TRUE(t::WaitUntil([] { return t::Caption(编辑框_白名单) == "\r\n\r\n" &&
                                          t::Enabled(按钮_获取规则); }, 5000));
    EXPECT_EQ(t::Caption(编辑框_黑名单), "kept\r\n\r\n");
}

TEST(MainWindow, BucketsOfAFailedSourceAreMergedAgain) {
    // The ChinaList step leaves its buckets untouched when its download fails.
    RuleHostFor refused("127.0.0.1:1");  // nothing listens there
    PluginWindow w;
    ASSERT_TRUE(w.open());
    UntickEverySource();
    t::Click(选择框_ChinaList规则);
    ChinaListText().Set(Text());
    Buckets().ChinaListWhiteRules = "\r\n**://ok.example/*\r\n";
    Buckets().ChinaListBlockRules = "**://ads.example/*";
    t::Click(按钮_获取规则);
    ASSERT_TRUE(t::WaitUntil([] { return t::Caption(标签_状态) == "过滤规则获取完毕！"; }, 10000));
    EXPECT_EQ(t::Caption(编辑框_黑名单), "**://ads.example/*\r\n");
    EXPECT_EQ(t::Caption(编辑框_白名单), "**://ok.example/*\r\n");
    Buckets().ChinaListWhiteRules.clear();
    Buckets().ChinaListBlockRules.clear();
}

// Stands for a task blocked in a network wait: it wakes only when the window goes.
void BlockedTask() { StopEvent().Wait(UINT32_MAX); }

TEST(MainWindow, ClosingEndsRunningTasksAndReturnsZero) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    t::RunOnWindowThread([] { StartTask(9, BlockedTask); StartTask(10, BlockedTask); });
    ASSERT_TRUE(TaskRunning(9));
    ASSERT_TRUE(w.CloseAndWait(2000));
    EXPECT_EQ(w.result(), 0);
    EXPECT_FALSE(TaskRunning(9));
    EXPECT_FALSE(TaskRunning(10));
}

// A second click on the fetch button comes before the first task has disabled the button: it
// must not start a second fetch beside a running fetch, write or removal.
TEST(MainWindow, AFetchClickWhileALongCommandRunsStartsNothing) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    UntickEverySource();
    for (int slot : {8, 9, 10, 11}) {
        static platform::Event release;
        release.Reset();
        t::RunOnWindowThread([slot] {
            platform::SetControlText(标签_状态, "before");
            StartTask(slot, [] { release.Wait(UINT32_MAX); });
        });
        t::Click(按钮_获取规则);
        t::RunOnWindowThread([] {});
        EXPECT_EQ(t::Caption(标签_状态), "before") << slot;
        if (slot != 9) EXPECT_FALSE(TaskRunning(9)) << slot;
        release.Set();
        EXPECT_TRUE(t::WaitUntil([slot] { return !TaskRunning(slot); }, 5000)) << slot;
    }
}

TEST(MainWindow, ExitButtonDestroysTheWindow) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    EXPECT_FALSE(w.returned());
    t::Click(按钮_退出);
    ASSERT_TRUE(t::WaitUntil([&] { return w.returned(); }, 2000));
    EXPECT_EQ(w.result(), 0);
}

TEST(PluginExports, ResultsAndTheUntouchedTable) {
    PluginStartup();
    unsigned char table[64];
    for (int i = 0; i < 64; ++i) table[i] = static_cast<unsigned char>(i * 7);
    unsigned char copy[64];
    std::copy(table, table + 64, copy);
    EXPECT_EQ(PluginGetEntryPoints(table), 0);
    EXPECT_TRUE(std::equal(table, table + 64, copy));
    EXPECT_EQ(PluginGetMIMEDescription(), nullptr);
    EXPECT_EQ(PluginShutdown(), 0);
}

// Start-up registers the clean-up as an exit handler before it makes the 7z library object; the
// object must still be there when the clean-up releases it at exit (it was once a static made
// after that registration, so already destroyed: a double delete at every exit).
TEST(PluginExports, TheCleanUpAtExitReleasesTheLibraryOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            PluginStartup();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(PluginExports, ShutdownLeavesAnOpenWindowOpen) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    EXPECT_EQ(PluginShutdown(), 0);
    EXPECT_TRUE(t::WaitForWindow(0));
    EXPECT_FALSE(w.returned());
}

}  // namespace
