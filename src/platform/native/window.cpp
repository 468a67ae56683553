// The headless window toolkit: the same window and controls as on Windows, held in memory, with
// a message queue run by the thread that called RunModalWindow. Tests drive it through
// window_test_api.h.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/native/window_queue.h"
#include "platform/native/window_test_api.h"
#include "platform/threads.h"
#include "platform/window.h"

namespace platform {

namespace {

struct Control {
    ControlSpec spec;
    Text text;
    bool checked = false;
    bool enabled = true;
    Rect rect;
    Text tooltip;
    int selStart = 0, selLength = 0;
};

struct Window {
    WindowEvents events;
    Text title;
    std::map<int, Control> controls;
    bool topmost = false;
    int focus = -1;
};

std::mutex queueMutex;
std::condition_variable queueChanged;
std::deque<std::function<void()>> queue;
bool windowExists = false;          // guarded by queueMutex
std::thread::id windowThread;        // valid while windowExists

Window* window = nullptr;            // touched on the window thread only

std::mutex logMutex;
std::vector<std::string> writeLog;

void Log(std::string entry) {
    std::lock_guard<std::mutex> lock(logMutex);
    writeLog.push_back(std::move(entry));
}

Control* Find(int id) {
    if (!window) return nullptr;
    auto it = window->controls.find(id);
    return it == window->controls.end() ? nullptr : &it->second;
}

bool IsCheckable(const Control& c) {
    return c.spec.kind == ControlKind::CheckBox || c.spec.kind == ControlKind::RadioButton;
}

// Radio buttons form a group from one that starts a group up to the next one that does.
void SelectRadio(int id) {
    int groupStart = id;
    while (Find(groupStart) && !Find(groupStart)->spec.startsGroup &&
           Find(groupStart - 1) && Find(groupStart - 1)->spec.kind == ControlKind::RadioButton)
        --groupStart;
    for (int i = groupStart; Find(i) && Find(i)->spec.kind == ControlKind::RadioButton; ++i) {
        if (i != groupStart && Find(i)->spec.startsGroup) break;
        Find(i)->checked = (i == id);
    }
}

bool OnThread() {
    std::lock_guard<std::mutex> lock(queueMutex);
    return windowExists && std::this_thread::get_id() == windowThread;
}

bool PopMessage(std::function<void()>& out) {
    std::lock_guard<std::mutex> lock(queueMutex);
    if (queue.empty()) return false;
    out = std::move(queue.front());
    queue.pop_front();
    return true;
}

}  // namespace

namespace native {

bool PostWindowMessage(std::function<void()> message) {
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        if (!windowExists) return false;
        queue.push_back(std::move(message));
    }
    queueChanged.notify_all();
    return true;
}

bool DispatchWindowMessages() {
    if (!OnThread()) return false;
    bool any = false;
    std::function<void()> message;
    while (window && PopMessage(message)) {
        message();
        any = true;
    }
    return any;
}

void WaitForWindowMessage(uint32_t ms) {
    std::unique_lock<std::mutex> lock(queueMutex);
    if (windowExists && std::this_thread::get_id() == windowThread) {
        queueChanged.wait_for(lock, std::chrono::milliseconds(ms), [] { return !queue.empty(); });
    } else {
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

void NotifyWaiters() { queueChanged.notify_all(); }

}  // namespace native

void RunModalWindow(const WindowSpec& spec, const WindowEvents& events) {
    Window w;
    w.events = events;
    w.title = spec.title;
    for (int i = 0; i < spec.controlCount; ++i) {
        const ControlSpec& s = spec.controls[i];
        if (s.kind == ControlKind::Component) continue;
        Control c;
        c.spec = s;
        c.text = s.caption ? s.caption : "";
        c.checked = s.initiallyOn;
        c.rect = {s.x, s.y, s.width, s.height};
        w.controls[s.id] = c;
    }
    window = &w;
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        queue.clear();
        windowExists = true;
        windowThread = std::this_thread::get_id();
    }
    if (events.created) events.created();
    // Showing a window activates it.
    if (events.activated) events.activated(true);

    while (window) {
        native::DispatchWindowMessages();
        if (!window) break;
        if (events.idle) events.idle(0);
        std::unique_lock<std::mutex> lock(queueMutex);
        if (!queueChanged.wait_for(lock, std::chrono::milliseconds(5000), [] { return !queue.empty(); })) {
            lock.unlock();
            if (events.idle) events.idle(5000);
            lock.lock();
            queueChanged.wait(lock, [] { return !queue.empty(); });
        }
    }
}

bool WindowExists() { return window != nullptr; }
bool OnWindowThread() { return OnThread(); }

void WakeWindowThread() {
    native::PostWindowMessage([] {
        if (window && window->events.woken) window->events.woken();
    });
}

void DestroyMainWindow() {
    if (!window) return;
    if (window->events.destroying) window->events.destroying();
    std::lock_guard<std::mutex> lock(queueMutex);
    window = nullptr;
    windowExists = false;
    queue.clear();
}

Text GetControlText(int id) {
    Control* c = Find(id);
    return c ? c->text : Text();
}

void SetControlText(int id, const Text& text) {
    if (Control* c = Find(id)) {
        c->text = text;
        Log("text " + std::to_string(id) + " " + text);
    }
}

void AppendEditText(int id, const Text& text) {
    if (Control* c = Find(id)) {
        c->text += text;
        c->selStart = int(c->text.size());
        c->selLength = 0;
        Log("append " + std::to_string(id) + " " + text);
    }
}

bool IsControlChecked(int id) {
    Control* c = Find(id);
    return c && IsCheckable(*c) && c->checked;
}

void SetControlChecked(int id, bool on) {
    Control* c = Find(id);
    if (!c || !IsCheckable(*c)) return;
    if (c->spec.kind == ControlKind::RadioButton && on)
        SelectRadio(id);
    else
        c->checked = on;
}

bool IsControlEnabled(int id) {
    Control* c = Find(id);
    return c && c->enabled;
}

void SetControlEnabled(int id, bool enabled) {
    if (Control* c = Find(id)) {
        c->enabled = enabled;
        Log("enabled " + std::to_string(id) + (enabled ? " 1" : " 0"));
    }
}

void SetControlHeight(int id, int height) {
    if (Control* c = Find(id)) {
        c->rect.height = height;
        Log("height " + std::to_string(id) + " " + std::to_string(height));
    }
}

Rect GetControlRect(int id) {
    Control* c = Find(id);
    return c ? c->rect : Rect{0, 0, 0, 0};
}

void SetEditSelection(int id, int start, int length) {
    if (Control* c = Find(id)) {
        const int size = int(c->text.size());
        c->selStart = start < 0 ? 0 : (start > size ? size : start);
        c->selLength = length < 0 ? size - c->selStart : length;
    }
}

void FocusControl(int id) {
    if (window && Find(id)) window->focus = id;
}

int FocusedControl() { return window ? window->focus : -1; }

void SetTopmost(bool on) {
    if (!window) return;
    window->topmost = on;
    Log(on ? "topmost 1" : "topmost 0");
}

bool IsTopmost() { return window && window->topmost; }

void SetHoverTooltip(int id, const Text& text) {
    if (Control* c = Find(id)) c->tooltip = text;
}

// ---- test access ----

namespace test {

namespace {

template <typename T>
T Read(const std::function<T()>& f, T fallback) {
    T value = fallback;
    RunOnWindowThread([&] { value = f(); });
    return value;
}

void Post(std::function<void()> f) { native::PostWindowMessage(std::move(f)); }

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, uint32_t ms) {
    const uint64_t until = MonotonicMs() + ms;
    while (!condition()) {
        if (MonotonicMs() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool WaitForWindow(uint32_t ms) {
    return WaitUntil([] {
        std::lock_guard<std::mutex> lock(queueMutex);
        return windowExists;
    }, ms);
}

bool WaitForNoWindow(uint32_t ms) {
    return WaitUntil([] {
        std::lock_guard<std::mutex> lock(queueMutex);
        return !windowExists;
    }, ms);
}

bool RunOnWindowThread(const std::function<void()>& f) {
    std::mutex doneMutex;
    std::condition_variable doneChanged;
    bool done = false;
    const bool posted = native::PostWindowMessage([&] {
        f();
        std::lock_guard<std::mutex> lock(doneMutex);
        done = true;
        doneChanged.notify_all();
    });
    if (!posted) return false;
    std::unique_lock<std::mutex> lock(doneMutex);
    // A window destroyed before the message ran drops it; don't wait forever for that.
    while (!done) {
        if (doneChanged.wait_for(lock, std::chrono::milliseconds(20), [&] { return done; })) break;
        std::lock_guard<std::mutex> q(queueMutex);
        if (!windowExists) return false;
    }
    return true;
}

void Click(int id) {
    Post([id] {
        Control* c = Find(id);
        if (!c || !c->enabled) return;
        if (c->spec.kind == ControlKind::CheckBox) c->checked = !c->checked;
        if (c->spec.kind == ControlKind::RadioButton) SelectRadio(id);
        if (window->events.clicked) window->events.clicked(id);
    });
}

void MouseMove(int id) {
    Post([id] {
        Control* c = Find(id);
        if (c && c->enabled && window->events.mouseMoved) window->events.mouseMoved(id);
    });
}

void Activate() { Post([] { if (window->events.activated) window->events.activated(false); }); }
void Deactivate() { Post([] { if (window->events.deactivated) window->events.deactivated(); }); }
void Hide() { Post([] { if (window->events.hidden) window->events.hidden(); }); }
void Close() { Post([] { DestroyMainWindow(); }); }
void ReportIdle(int elapsedMs) {
    Post([elapsedMs] { if (window->events.idle) window->events.idle(elapsedMs); });
}

Text Caption(int id) { return Read<Text>([id] { return GetControlText(id); }, Text()); }
bool Checked(int id) { return Read<bool>([id] { return IsControlChecked(id); }, false); }
bool Enabled(int id) { return Read<bool>([id] { return IsControlEnabled(id); }, false); }
Rect Geometry(int id) { return Read<Rect>([id] { return GetControlRect(id); }, Rect{0, 0, 0, 0}); }
bool Topmost() { return Read<bool>([] { return IsTopmost(); }, false); }
Text Tooltip(int id) {
    return Read<Text>([id] { Control* c = Find(id); return c ? c->tooltip : Text(); }, Text());
}
int Focus() { return Read<int>([] { return FocusedControl(); }, -1); }
Text Title() { return Read<Text>([] { return window ? window->title : Text(); }, Text()); }

std::vector<std::string> TakeLog() {
    std::lock_guard<std::mutex> lock(logMutex);
    std::vector<std::string> out;
    out.swap(writeLog);
    return out;
}

}  // namespace test

}  // namespace platform

namespace platform {
void InitWindowRunTime() {}
}  // namespace platform

// ---- message boxes of tasks ----

namespace platform {

namespace {
std::mutex boxMutex;
std::condition_variable boxChanged;
std::vector<Text> boxTexts;   // every box shown, in order
int openBoxes = 0;
unsigned dismissals = 0;      // bumped by every dismissal
bool answerAtOnce = false;
}  // namespace

void ShowTaskMessageBox(const Text& text, const Text& caption) {
    std::unique_lock<std::mutex> lock(boxMutex);
    boxTexts.push_back(caption + "|" + text);
    boxChanged.notify_all();
    if (answerAtOnce) return;
    ++openBoxes;
    const unsigned seen = dismissals;
    boxChanged.wait(lock, [seen] { return dismissals != seen; });
    --openBoxes;
}

void DismissTaskMessageBoxes() {
    std::lock_guard<std::mutex> lock(boxMutex);
    if (openBoxes == 0) return;
    ++dismissals;
    boxChanged.notify_all();
}

namespace test {

void AnswerMessageBoxesAtOnce(bool atOnce) {
    std::lock_guard<std::mutex> lock(boxMutex);
    answerAtOnce = atOnce;
}

std::vector<Text> TakeMessageBoxes() {
    std::lock_guard<std::mutex> lock(boxMutex);
    std::vector<Text> out;
    out.swap(boxTexts);
    return out;
}

int OpenMessageBoxes() {
    std::lock_guard<std::mutex> lock(boxMutex);
    return openBoxes;
}

}  // namespace test

}  // namespace platform
