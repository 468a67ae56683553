#include "ui/layout.h"

#include "ui/controls.h"

using platform::ControlKind;

namespace {
constexpr ControlKind Label = ControlKind::Label, Button = ControlKind::Button,
                      CheckBox = ControlKind::CheckBox, Radio = ControlKind::RadioButton,
                      Group = ControlKind::GroupBox, Edit = ControlKind::EditBox,
                      Component = ControlKind::Component;
constexpr int W = -1;                   // a child of the window itself
constexpr int G = 分组框_规则配置;      // a child of the group box (positions relative to it)

// The check box of a rule source, tagged with it and ticked at first as the table of sources says.
constexpr platform::ControlSpec SourceBoxRow(ControlId id, RuleSource source, int x, int y, const char* caption) {
    return {id, CheckBox, G, x, y, 212, 18, caption, SourceRow(source).tickedAtStart, false, false, int(source)};
}
}  // namespace

const platform::ControlSpec kMainWindowControls[] = {
    // id                              kind      parent x    y    w    h    caption                 on     group
    {标签_过滤规则,                    Label,    W,   4,   3,   56,  16,  "过滤规则：",              false, false},
    {按钮_黑名单_粘贴,                 Button,   W,   75,  2,   32,  18,  "粘贴",                    false, false},
    {按钮_黑名单_复制,                 Button,   W,   107, 2,   32,  18,  "复制",                    false, false},
    {按钮_黑名单_清空,                 Button,   W,   139, 2,   32,  18,  "清空",                    false, false},
    {按钮_黑名单_去除冗余规则,         Button,   W,   172, 2,   80,  18,  "去除冗余规则",            false, false},
    {按钮_黑名单_写到规则文件,         Button,   W,   253, 2,   80,  18,  "写到规则文件",            false, false},
    {编辑框_黑名单,                    Edit,     W,   4,   21,  330, 162, "",                        false, false, true},
    {标签_冗余规则,                    Label,    W,   4,   186, 128, 16,  "已被剔除的冗余规则：",    false, false},
    {按钮_冗余规则_复制,               Button,   W,   165, 185, 32,  18,  "复制",                    false, false},
    {按钮_冗余规则_清空,               Button,   W,   197, 185, 32,  18,  "清空",                    false, false},
    {按钮_冗余规则_隐藏,               Button,   W,   229, 185, 104, 18,  "隐藏冗余规则↑",           false, false},
    {编辑框_冗余规则,                  Edit,     W,   4,   203, 330, 84,  "",                        false, false},
    {标签_状态,                        Label,    W,   4,   288, 239, 18,  "欢迎使用Quorlex！",       false, false},
    {按钮_退出,                        Button,   W,   243, 288, 32,  18,  "退出",                    false, false},
    {按钮_获取规则,                    Button,   W,   274, 288, 59,  18,  "获取规则",                false, false},
    {分组框_规则配置,                  Group,    W,   337, 3,   224, 180, "规则配置：",              false, false},
    {标签_白名单,                      Label,    W,   337, 185, 42,  16,  "白名单：",                false, false},
    {按钮_白名单_粘贴,                 Button,   W,   384, 184, 32,  18,  "粘贴",                    false, false},
    {按钮_白名单_复制,                 Button,   W,   416, 184, 32,  18,  "复制",                    false, false},
    {按钮_白名单_清空,                 Button,   W,   448, 184, 32,  18,  "清空",                    false, false},
    {按钮_白名单_写到规则文件,         Button,   W,   480, 184, 80,  18,  "写到规则文件",            false, false},
    {编辑框_白名单,                    Edit,     W,   337, 203, 223, 84,  "",                        false, false},
    {标签_小功能,                      Label,    W,   338, 289, 43,  16,  "小功能：",                false, false},
    {按钮_小功能_屏蔽优酷,             Button,   W,   382, 288, 146, 18,  "强制屏蔽优酷flashcookie", false, false},
    {按钮_小功能_解除屏蔽优酷,         Button,   W,   528, 288, 32,  18,  "解禁",                    false, false},
    // the source check boxes, 212x18 each, ticked at first as the table of sources says
    //           id                               source                 x  y    caption
    SourceBoxRow(选择框_傲游论坛规则,             RuleSource::Maxthon,   8, 15,  "傲游论坛规则"),
    SourceBoxRow(选择框_卡饭论坛规则,             RuleSource::Kafan,     8, 34,  "卡饭论坛规则"),
    SourceBoxRow(选择框_ChinaList规则,            RuleSource::ChinaList, 8, 51,  "ChinaList-Lazy"),
    SourceBoxRow(选择框_小说网站广告过滤,         RuleSource::Novel,     8, 69,  "小说网站广告过滤"),
    SourceBoxRow(选择框_电影网站广告过滤,         RuleSource::Movie,     8, 87,  "电影网站广告过滤"),
    SourceBoxRow(选择框_动漫网站广告过滤,         RuleSource::Anime,     8, 105, "动漫网站广告过滤"),
    SourceBoxRow(选择框_不良网站恶意元素过滤,     RuleSource::Malicious, 8, 123, "不良网站恶意元素过滤"),
    SourceBoxRow(选择框_热门小说网站广告过滤,     RuleSource::HotNovel,  8, 141, "热门小说网站广告过滤"),
    SourceBoxRow(选择框_用户原有规则,             RuleSource::User,      8, 160, "用户原有规则"),
    {单选框_用户原有规则_全部,         Radio,    G,   99,  160, 44,  18,  "全部",                    !kUserRulesCustomOnlyAtStart, true},
    {单选框_用户原有规则_自定义规则,   Radio,    G,   141, 160, 80,  18,  "自定义规则",              kUserRulesCustomOnlyAtStart,  false},
    {按钮_全选,                        Button,   G,   183, 13,  32,  18,  "全选",                    false, false},
    {按钮_反选,                        Button,   G,   183, 31,  32,  18,  "反选",                    false, false},
    {ZIP压缩1,                         Component, G,  192, 69,  26,  26,  "",                        false, false},
};

const int kMainWindowControlCount = sizeof(kMainWindowControls) / sizeof(kMainWindowControls[0]);
static_assert(sizeof(kMainWindowControls) / sizeof(kMainWindowControls[0]) == kControlCount,
              "one layout row per control, in ControlId order");

// A client area of 563x315: with a 3-pixel frame and a 19-pixel caption (the classic metrics the
// layout was drawn for) the window is 569x340; with wider frames or a taller caption it grows.
const platform::WindowSpec kMainWindowSpec = {
    50, 50, 563, 315, "Quorlex V3.0 - 作者：Brannoc(brannoc@quorlex.example)",
    kMainWindowControls, kMainWindowControlCount, kControlIdBase};

ControlId SourceBox(RuleSource source) {
    for (int id = 0; id < kMainWindowControlCount; ++id)
        if (kMainWindowControls[id].tag == int(source)) return ControlId(id);
    return kControlCount;  // every source has its box: the layout test checks it
}

std::optional<RuleSource> SourceOfControl(int id) {
    if (id < 0 || id >= kMainWindowControlCount || kMainWindowControls[id].tag < 0) return std::nullopt;
    return RuleSource(kMainWindowControls[id].tag);
}
