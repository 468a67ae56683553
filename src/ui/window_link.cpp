#include "ui/window_link.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "common/task_report.h"
#include "platform/window.h"
#include "ui/layout.h"

namespace {

enum class WriteKind { Caption, AppendCaption, AppendEdit, Enabled, Height, Topmost, Work };

struct ControlWrite {
    WriteKind kind;
    ControlId id;
    Text text;
    int value;
    std::function<void()> work = nullptr;
};

std::mutex queueMutex;
std::vector<ControlWrite> queue;
std::atomic<bool> linkOpen{false};

void Apply(const ControlWrite& w) {
    switch (w.kind) {
    case WriteKind::Caption: platform::SetControlText(w.id, w.text); break;
    case WriteKind::AppendCaption:
        platform::SetControlText(w.id, platform::GetControlText(w.id) + w.text);
        break;
    case WriteKind::AppendEdit: platform::AppendEditText(w.id, w.text); break;
    case WriteKind::Enabled: platform::SetControlEnabled(w.id, w.value != 0); break;
    case WriteKind::Height: platform::SetControlHeight(w.id, w.value); break;
    case WriteKind::Topmost: platform::SetTopmost(w.value != 0); break;
    case WriteKind::Work: w.work(); break;
    }
}

void Submit(ControlWrite write) {
    if (!linkOpen.load()) return;
    if (platform::OnWindowThread()) {
        DeliverQueuedControlWrites();  // keep the order of writes made from other threads
        Apply(write);
        return;
    }
    bool wasEmpty;
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        wasEmpty = queue.empty();
        queue.push_back(std::move(write));
    }
    if (wasEmpty) platform::WakeWindowThread();
}

}  // namespace

void SetControlCaption(ControlId id, const Text& text) { Submit({WriteKind::Caption, id, text, 0}); }
void AppendControlCaption(ControlId id, const Text& text) { Submit({WriteKind::AppendCaption, id, text, 0}); }
void AppendToEditBox(ControlId id, const Text& text) { Submit({WriteKind::AppendEdit, id, text, 0}); }
void SetControlEnabledState(ControlId id, bool enabled) { Submit({WriteKind::Enabled, id, Text(), enabled ? 1 : 0}); }
void SetControlHeightTo(ControlId id, int height) { Submit({WriteKind::Height, id, Text(), height}); }
// The window itself, not a control: the id is not used.
void SetWindowTopmostState(bool on) { Submit({WriteKind::Topmost, 标签_状态, Text(), on ? 1 : 0}); }

void ApplyOnWindowThread(std::function<void()> work) {
    Submit({WriteKind::Work, 标签_状态, Text(), 0, std::move(work)});
}

namespace {

// What the tasks report, as the window shows it.
class WindowReport : public TaskReport {
public:
    void Status(const Text& text) override { SetControlCaption(标签_状态, text); }
    // The busy lock: the four long-running commands' buttons, in this order; nothing else.
    void CommandsEnabled(bool enabled) override {
        static const ControlId kCommands[] = {按钮_黑名单_写到规则文件, 按钮_白名单_写到规则文件,
                                              按钮_黑名单_去除冗余规则, 按钮_获取规则};
        for (ControlId id : kCommands) SetControlEnabledState(id, enabled);
    }
    void SourceCaption(RuleSource source, const Text& text, bool append) override {
        if (append) AppendControlCaption(SourceBox(source), text);
        else SetControlCaption(SourceBox(source), text);
    }
    void AppendToList(RuleListBox box, const Text& rules) override {
        AppendToEditBox(box == RuleListBox::Blacklist ? 编辑框_黑名单 : 编辑框_白名单, rules);
    }
    void BlacklistTall() override { SetControlHeightTo(编辑框_黑名单, kBlacklistTallHeight); }
    void RaiseWindow() override {
        SetWindowTopmostState(false);
        SetWindowTopmostState(true);
    }
    // Shown from the task's own thread, modal for it; the window goes on meanwhile.
    void Message(const Text& text, const Text& caption) override { platform::ShowTaskMessageBox(text, caption); }
};

WindowReport windowReport;

}  // namespace

void OpenWindowLink() {
    InstallTaskReport(&windowReport);
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        queue.clear();
    }
    linkOpen.store(true);
}

void CloseWindowLink() {
    linkOpen.store(false);
    std::lock_guard<std::mutex> lock(queueMutex);
    queue.clear();
}

void DeliverQueuedControlWrites() {
    std::vector<ControlWrite> pending;
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        pending.swap(queue);
    }
    if (!platform::WindowExists()) return;
    for (const ControlWrite& w : pending) Apply(w);
}
