// The window's short commands and hover help, on the headless toolkit.
#include <gtest/gtest.h>

#include "common/rule_list.h"
#include "common/task_report.h"
#include "platform/clipboard.h"
#include "platform/native/clipboard_test_hooks.h"
#include "ui/controls.h"
#include "ui/hover_help.h"
#include "ui/task_commands.h"
#include "web/probes.h"
#include "window_harness.h"

namespace t = platform::test;

namespace {

void SetText(int id, const Text& text) {
    t::RunOnWindowThread([&] { platform::SetControlText(id, text); });
}

struct EditCommand {
    ControlId button, box;
    const char* status;
    Text clipboardBefore;
    Text boxBefore;
    Text boxAfter;
    Text clipboardAfter;
    bool focusesBox;
};

TEST(WindowCommands, PasteCopyAndClearOnTheThreeBoxes) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    const EditCommand cases[] = {
        {按钮_黑名单_粘贴, 编辑框_黑名单, "已粘贴！", "a\r\nb", "old", "a\r\nb", "a\r\nb", true},
        {按钮_白名单_粘贴, 编辑框_白名单, "已粘贴！", "w", "old", "w", "w", true},
        {按钮_黑名单_复制, 编辑框_黑名单, "已复制到剪切板！", "x", "rules", "rules", "rules", true},
        {按钮_白名单_复制, 编辑框_白名单, "已复制到剪切板！", "x", "", "", "", true},
        {按钮_冗余规则_复制, 编辑框_冗余规则, "已复制！", "x", "dup", "dup", "dup", true},
        {按钮_黑名单_清空, 编辑框_黑名单, "已清空！", "x", "rules", "", "x", false},
        {按钮_白名单_清空, 编辑框_白名单, "已清空！", "x", "rules", "", "x", false},
        {按钮_冗余规则_清空, 编辑框_冗余规则, "已清空！", "x", "dup", "", "x", true},
    };
    for (const EditCommand& c : cases) {
        platform::SetClipboardText(c.clipboardBefore);
        SetText(c.box, c.boxBefore);
        SetText(标签_状态, "");
        t::RunOnWindowThread([] { platform::FocusControl(按钮_退出); });
        t::Click(c.button);
        EXPECT_EQ(t::Caption(c.box), c.boxAfter) << c.button;
        EXPECT_EQ(platform::GetClipboardText(), c.clipboardAfter) << c.button;
        EXPECT_EQ(t::Caption(标签_状态), c.status) << c.button;
        EXPECT_EQ(t::Focus(), c.focusesBox ? int(c.box) : int(按钮_退出)) << c.button;
    }
}

TEST(WindowCommands, PastingAClipboardWithoutTextEmptiesTheBox) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    platform::EmptyClipboardContent();
    SetText(编辑框_黑名单, "kept?");
    t::Click(按钮_黑名单_粘贴);
    EXPECT_EQ(t::Caption(编辑框_黑名单), "");
    EXPECT_EQ(t::Caption(标签_状态), "已粘贴！");
}

// Another program keeps the clipboard open for the length of a scope.
struct ClipboardHeldElsewhere {
    ClipboardHeldElsewhere() { platform::testhooks::HoldClipboard(true); }
    ~ClipboardHeldElsewhere() { platform::testhooks::HoldClipboard(false); }
};

TEST(WindowCommands, ACopyTheClipboardRefusesIsReportedAndTheClipboardKeepsItsText) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    const struct { ControlId button, box; } copies[] = {
        {按钮_黑名单_复制, 编辑框_黑名单}, {按钮_白名单_复制, 编辑框_白名单}, {按钮_冗余规则_复制, 编辑框_冗余规则}};
    for (const auto& c : copies) {
        platform::SetClipboardText("the user's own text");
        SetText(c.box, "rules");
        {
            ClipboardHeldElsewhere held;
            t::Click(c.button);
            EXPECT_EQ(t::Caption(标签_状态), "复制失败！") << c.button;  // waits for the click
        }
        EXPECT_EQ(platform::GetClipboardText(), "the user's own text") << c.button;
    }
}

// What a fetch started now would be given, read on the window thread as the click handler does.
SourceSelection Selection() {
    SourceSelection selection;
    t::RunOnWindowThread([&] { selection = SelectionInWindow(); });
    return selection;
}

const ControlId kSources[] = {选择框_傲游论坛规则,     选择框_卡饭论坛规则,     选择框_ChinaList规则,
                              选择框_小说网站广告过滤, 选择框_电影网站广告过滤, 选择框_动漫网站广告过滤,
                              选择框_不良网站恶意元素过滤, 选择框_热门小说网站广告过滤};

std::vector<bool> SourceStates() {
    std::vector<bool> states;
    for (ControlId id : kSources) states.push_back(t::Checked(id));
    return states;
}

TEST(WindowCommands, SelectAllAndInvertTouchOnlyTheEightSources) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    const std::vector<bool> initial = {true, true, true, false, false, false, false, false};
    ASSERT_EQ(SourceStates(), initial);
    t::Click(按钮_反选);
    EXPECT_EQ(SourceStates(), std::vector<bool>({false, false, false, true, true, true, true, true}));
    const SourceSelection seen = Selection();  // a fetch started now sees the new states
    EXPECT_TRUE(seen.Has(RuleSource::Novel));
    EXPECT_FALSE(seen.Has(RuleSource::Maxthon));
    t::Click(按钮_反选);
    EXPECT_EQ(SourceStates(), initial);
    EXPECT_TRUE(t::Checked(选择框_用户原有规则));

    t::Click(选择框_用户原有规则);
    t::Click(按钮_全选);
    EXPECT_EQ(SourceStates(), std::vector<bool>(8, true));
    EXPECT_FALSE(t::Checked(选择框_用户原有规则));
}

TEST(WindowCommands, UserRulesBoxEnablesTheRadioButtonsWithoutChangingTheSelection) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    t::Click(选择框_用户原有规则);
    EXPECT_FALSE(t::Checked(选择框_用户原有规则));
    EXPECT_FALSE(t::Enabled(单选框_用户原有规则_全部));
    EXPECT_FALSE(t::Enabled(单选框_用户原有规则_自定义规则));
    EXPECT_TRUE(t::Checked(单选框_用户原有规则_自定义规则));
    t::Click(单选框_用户原有规则_全部);  // disabled: nothing happens
    EXPECT_TRUE(t::Checked(单选框_用户原有规则_自定义规则));
    t::Click(选择框_用户原有规则);
    EXPECT_TRUE(t::Enabled(单选框_用户原有规则_全部));
    EXPECT_TRUE(t::Enabled(单选框_用户原有规则_自定义规则));
    t::Click(单选框_用户原有规则_全部);
    EXPECT_TRUE(t::Checked(单选框_用户原有规则_全部));
    EXPECT_FALSE(t::Checked(单选框_用户原有规则_自定义规则));
    EXPECT_FALSE(Selection().userRulesCustomOnly);
}

TEST(WindowCommands, HideRedundantMakesTheBlacklistTall) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    t::RunOnWindowThread([] { platform::SetControlHeight(编辑框_黑名单, 162); });
    t::Click(按钮_冗余规则_隐藏);
    EXPECT_EQ(t::Geometry(编辑框_黑名单).height, 266);
}

TEST(HoverHelp, EachControlShowsItsTextAndTakesTheWindowOffTop) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    struct { ControlId id; Text text; } fixed[] = {
        {单选框_用户原有规则_全部, "包括以**开头的规则"},
        {单选框_用户原有规则_自定义规则, "不包括以**开头的规则"},
        {按钮_黑名单_去除冗余规则, "运行时将占用较多的CPU，请确保电脑有足够的CPU资源"},
        {按钮_黑名单_写到规则文件, "将编辑框中的过滤规则写入到浏览器配置文件中"},
        {按钮_白名单_写到规则文件, "将编辑框中的免过滤规则写入到浏览器配置文件中"},
        {按钮_小功能_解除屏蔽优酷, "解除屏蔽优酷网flashcookie"},
    };
    for (const auto& f : fixed) {
        t::RunOnWindowThread([] { platform::SetTopmost(true); });
        t::MouseMove(f.id);
        EXPECT_EQ(t::Tooltip(f.id), f.text) << f.id;
        EXPECT_FALSE(t::Topmost()) << f.id;
    }
    t::MouseMove(分组框_规则配置);
    EXPECT_TRUE(t::Topmost());
    // No help on labels, edit boxes or the fetch button.
    for (ControlId id : {标签_状态, 编辑框_黑名单, 按钮_获取规则, 按钮_全选}) {
        t::MouseMove(id);
        EXPECT_EQ(t::Tooltip(id), "") << id;
        EXPECT_TRUE(t::Topmost()) << id;
    }
}

TEST(HoverHelp, SourceBoxesFollowTheUpdateNotesAsTheyChange) {
    PluginWindow w;
    ASSERT_TRUE(w.open());
    const struct {
        ControlId box;
        RuleSource source;
    } noted[] = {{选择框_傲游论坛规则, RuleSource::Maxthon},     {选择框_卡饭论坛规则, RuleSource::Kafan},
                 {选择框_小说网站广告过滤, RuleSource::Novel},   {选择框_电影网站广告过滤, RuleSource::Movie},
                 {选择框_动漫网站广告过滤, RuleSource::Anime},   {选择框_不良网站恶意元素过滤, RuleSource::Malicious},
                 {选择框_热门小说网站广告过滤, RuleSource::HotNovel}};
    for (const auto& n : noted) {
        t::MouseMove(n.box);
        EXPECT_EQ(t::Tooltip(n.box), "正在获取更新信息...") << n.box;
        UpdateInfo(n.source).Set("note " + std::to_string(n.box));
        t::MouseMove(n.box);
        EXPECT_EQ(t::Tooltip(n.box), "note " + std::to_string(n.box)) << n.box;
    }
}

TEST(HoverHelp, TheFixedChinaListTextHasFourteenLines) {
    const Text help = ChinaListHelpText();
    const std::vector<Text> lines = Split(help, kCrLf);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[0], "推荐哪些用户订阅 ChinaList Lazy ？");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[13], "精简了很多针对英文站点的规则，深度英语站点用户，访问某些站点的时候会有漏网的广告");
    EXPECT_NE(Right(help, 2), kCrLf);
    PluginWindow w;
    ASSERT_TRUE(w.open());
    t::MouseMove(选择框_ChinaList规则);
    EXPECT_EQ(t::Tooltip(选择框_ChinaList规则), help);
}

}  // namespace
