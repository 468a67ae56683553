#include "ui/hover_help.h"

#include "common/rule_list.h"
#include "platform/window.h"
#include "ui/controls.h"
#include "ui/layout.h"
#include "web/probes.h"

namespace {

struct FixedHelp {
    ControlId control;
    const char* text;
};

const FixedHelp kFixedHelp[] = {
    {单选框_用户原有规则_全部, "包括以**开头的规则"},
    {单选框_用户原有规则_自定义规则, "不包括以**开头的规则"},
    {按钮_黑名单_去除冗余规则, "运行时将占用较多的CPU，请确保电脑有足够的CPU资源"},
    {按钮_黑名单_写到规则文件, "将编辑框中的过滤规则写入到浏览器配置文件中"},
    {按钮_白名单_写到规则文件, "将编辑框中的免过滤规则写入到浏览器配置文件中"},
    {按钮_小功能_屏蔽优酷, "屏蔽优酷网flashcookie不会影响观看记录等正常功能,但是会记不住swf的设置如优先选择高清还是标清"},
    {按钮_小功能_解除屏蔽优酷, "解除屏蔽优酷网flashcookie"},
};

const char* const kChinaListHelpLines[] = {
    "推荐哪些用户订阅 ChinaList Lazy ？",
    "只要不是深度英文站点访问的用户都可以订阅此列表",
    "",
    "ChinaList Lazy 和分别订阅 EasyList，EasyPrivacy 和 ChinaList 有何异同？",
    "本质上来说并无太多不同，按ABP目前的匹配算法来看，性能并无太大差异。",
    "",
    "ChinaList Lazy 和单独订阅比较",
    "优点：",
    "顾名思义，给懒人用的，只要订阅一个列表",
    "规则变少，Firefox 占用内存会变少（其实并无明显变化）",
    "规则更简洁高效",
    "完全自主控制，不受EasyList 和 EasyPrivacy 的限制",
    "缺点：",
    "精简了很多针对英文站点的规则，深度英语站点用户，访问某些站点的时候会有漏网的广告",
};

void ShowHelp(int id, const Text& text) {
    platform::SetTopmost(false);
    platform::SetHoverTooltip(id, text);
}

}  // namespace

Text ChinaListHelpText() {
    Text text;
    bool first = true;
    for (const char* line : kChinaListHelpLines) {
        if (!first) text += kCrLf;
        text += line;
        first = false;
    }
    return text;
}

void OnHover(int id) {
    if (id == 分组框_规则配置) {
        platform::SetTopmost(true);
        return;
    }
    // A source's box shows its probe's note; the ChinaList box a fixed text.
    if (const std::optional<RuleSource> source = SourceOfControl(id)) {
        if (*source == RuleSource::ChinaList) return ShowHelp(id, ChinaListHelpText());
        if (HasUpdateNote(SourceRow(*source))) return ShowHelp(id, UpdateInfo(*source).Get());
        return;
    }
    for (const FixedHelp& h : kFixedHelp) {
        if (h.control == id) return ShowHelp(id, h.text);
    }
}
