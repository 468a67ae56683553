#include "ui/main_window.h"

#include "common/stop.h"
#include "common/worker_threads.h"
#include "platform/window.h"
#include "ui/commands.h"
#include "ui/controls.h"
#include "ui/hover_help.h"
#include "ui/layout.h"
#include "ui/remove_redundant.h"
#include "ui/task_commands.h"
#include "ui/window_link.h"
#include "web/probes.h"

namespace {

// In slot order 0 to 7: the table of sources lists the probes in that order.
void StartUpdateProbes() {
    for (const RuleSourceRow& row : kRuleSources)
        if (row.probe != UpdateProbe::None) StartTask(row.probeSlot, [source = row.source] { RunUpdateProbe(source); });
}

void OnFirstActivation() {
    SetControlHeightTo(编辑框_黑名单, kBlacklistTallHeight);
    for (const RuleSourceRow& row : kRuleSources)
        if (HasUpdateNote(row)) UpdateDate(row.source).Set("[0000-00-00]");
    for (const RuleSourceRow& row : kRuleSources)
        if (HasUpdateNote(row)) UpdateInfo(row.source).Set("正在获取更新信息...");
    StartUpdateProbes();
}

void OnActivated(bool first) {
    if (first) OnFirstActivation();
}

void PutOnTop() { platform::SetTopmost(true); }

void OnIdle(int elapsedMs) {
    if (elapsedMs == 5000) PutOnTop();
}

FlashCommands flashCommands;

void OnBlockFlashClicked() {
    if (flashCommands.block) flashCommands.block();
}
void OnUnblockFlashClicked() {
    if (flashCommands.unblock) flashCommands.unblock();
}

// Files are read and written whole, so nothing is held open between commands.
void OnExitClicked() { platform::DestroyMainWindow(); }

struct ClickHandler {
    ControlId id;
    void (*handler)();
};

const ClickHandler kClickHandlers[] = {
    {按钮_退出, OnExitClicked},
    {按钮_获取规则, OnFetchRulesClicked},
    {按钮_黑名单_写到规则文件, OnWriteBlacklistClicked},
    {按钮_白名单_写到规则文件, OnWriteWhitelistClicked},
    {按钮_黑名单_粘贴, OnBlacklistPaste},
    {按钮_黑名单_复制, OnBlacklistCopy},
    {按钮_黑名单_清空, OnBlacklistClear},
    {按钮_黑名单_去除冗余规则, OnRemoveRedundant},
    {按钮_白名单_粘贴, OnWhitelistPaste},
    {按钮_白名单_复制, OnWhitelistCopy},
    {按钮_白名单_清空, OnWhitelistClear},
    {按钮_冗余规则_复制, OnRedundantCopy},
    {按钮_冗余规则_清空, OnRedundantClear},
    {按钮_冗余规则_隐藏, OnRedundantHide},
    {按钮_全选, OnSelectAllSources},
    {按钮_反选, OnInvertSources},
    {选择框_用户原有规则, OnUserRulesToggled},
    {按钮_小功能_屏蔽优酷, OnBlockFlashClicked},
    {按钮_小功能_解除屏蔽优酷, OnUnblockFlashClicked},
};

void OnClicked(int id) {
    for (const ClickHandler& h : kClickHandlers) {
        if (h.id == id) h.handler();
    }
}

void OnDestroying() {
    CloseWindowLink();
    StopAllTasks();
}

// Every event handler runs through this guard: no exception (running out of memory included)
// ever leaves a handler into the window system and so into the browser. The event is dropped.
template <auto Handler, typename... Args>
void Guarded(Args... args) noexcept {
    try {
        Handler(args...);
    } catch (...) {
    }
}

}  // namespace

void RunMainWindow(const FlashCommands& flash) {
    flashCommands = flash;
    ClearStop();
    platform::WindowEvents events;
    events.created = Guarded<OpenWindowLink>;
    events.activated = Guarded<OnActivated, bool>;
    events.deactivated = Guarded<PutOnTop>;
    events.hidden = Guarded<PutOnTop>;
    events.idle = Guarded<OnIdle, int>;
    events.clicked = Guarded<OnClicked, int>;
    events.mouseMoved = Guarded<OnHover, int>;
    events.destroying = Guarded<OnDestroying>;
    events.woken = Guarded<DeliverQueuedControlWrites>;
    platform::RunModalWindow(kMainWindowSpec, events);
}
