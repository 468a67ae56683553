// The controls of the main window, by the names the program gives them. The ids are the
// window-toolkit ids (and the Win32 control ids less kControlIdBase).
#pragma once

enum ControlId : int {
    标签_过滤规则,
    按钮_黑名单_粘贴,
    按钮_黑名单_复制,
    按钮_黑名单_清空,
    按钮_黑名单_去除冗余规则,
    按钮_黑名单_写到规则文件,
    编辑框_黑名单,
    标签_冗余规则,
    按钮_冗余规则_复制,
    按钮_冗余规则_清空,
    按钮_冗余规则_隐藏,
    编辑框_冗余规则,
    标签_状态,
    按钮_退出,
    按钮_获取规则,
    分组框_规则配置,
    标签_白名单,
    按钮_白名单_粘贴,
    按钮_白名单_复制,
    按钮_白名单_清空,
    按钮_白名单_写到规则文件,
    编辑框_白名单,
    标签_小功能,
    按钮_小功能_屏蔽优酷,
    按钮_小功能_解除屏蔽优酷,
    // inside 分组框_规则配置
    选择框_傲游论坛规则,
    选择框_卡饭论坛规则,
    选择框_ChinaList规则,
    选择框_小说网站广告过滤,
    选择框_电影网站广告过滤,
    选择框_动漫网站广告过滤,
    选择框_不良网站恶意元素过滤,
    选择框_热门小说网站广告过滤,
    选择框_用户原有规则,
    单选框_用户原有规则_全部,
    单选框_用户原有规则_自定义规则,
    按钮_全选,
    按钮_反选,
    ZIP压缩1,  // the ZIP archive component: a member of the window, not a visible control
    kControlCount
};

// Height of the blacklist box once the window has been activated (it then covers the
// redundant-rules area down to y = 287).
constexpr int kBlacklistTallHeight = 266;
// Its laid-out height, which shows the redundant-rules area below it.
constexpr int kBlacklistShortHeight = 162;

// Win32 control ids are the ControlId plus this base.
constexpr int kControlIdBase = 1000;
