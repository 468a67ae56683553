// The Windows window toolkit: a top-level window with real Win32 controls, its own modal
// message loop with idle reports, and one shared balloon tooltip. Texts go through the W API.
#include "platform/window.h"

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/activation_context.h"
#include "platform/win32/main_window_handle.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

constexpr UINT kWakeMessage = WM_APP + 1;
const wchar_t kWindowClass[] = L"QuorlexMainWindow";

struct Control {
    HWND hwnd = nullptr;
    ControlKind kind = ControlKind::Label;
    WNDPROC original = nullptr;
};

std::atomic<HWND> mainWindow{nullptr};
DWORD windowThreadId = 0;
WindowEvents events;
std::vector<Control> controls;  // by control id
HWND tooltip = nullptr;
std::vector<std::wstring> tooltipTexts;  // by control id: the text last registered
HFONT font = nullptr;
bool activatedBefore = false;
// The DLL's own manifest, active whenever the window, a control or the tooltip is created.
HANDLE ownControls = INVALID_HANDLE_VALUE;

Control* Find(int id) {
    if (id < 0 || id >= int(controls.size()) || !controls[id].hwnd) return nullptr;
    return &controls[id];
}

int IdOf(HWND hwnd) {
    for (size_t i = 0; i < controls.size(); ++i) {
        if (controls[i].hwnd == hwnd) return int(i);
    }
    return -1;
}

// The group box of the window's client area that lies under `lp` (client coordinates of a
// mouse message), or -1.
int GroupBoxAt(HWND window, LPARAM lp) {
    POINT p = {LONG(short(LOWORD(lp))), LONG(short(HIWORD(lp)))};
    const int id = IdOf(ChildWindowFromPointEx(window, p, CWP_SKIPINVISIBLE));
    return id >= 0 && controls[size_t(id)].kind == ControlKind::GroupBox ? id : -1;
}

bool IsCheckable(const Control& c) {
    return c.kind == ControlKind::CheckBox || c.kind == ControlKind::RadioButton;
}

LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    const int id = IdOf(hwnd);
    if (id < 0) return DefWindowProcW(hwnd, msg, wp, lp);
    WNDPROC original = controls[id].original;
    switch (msg) {
    case WM_MOUSEMOVE:
        if (events.mouseMoved) events.mouseMoved(id);
        break;
    case WM_COMMAND:
        // The group box is the parent of the source controls: their clicks belong to the window.
        if (controls[id].kind == ControlKind::GroupBox) {
            return SendMessageW(mainWindow.load(), msg, wp, lp);
        }
        break;
    }
    return CallWindowProcW(original, hwnd, msg, wp, lp);
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED && lp != 0) {
            const int id = IdOf(reinterpret_cast<HWND>(lp));
            if (id >= 0 && events.clicked) events.clicked(id);
            return 0;
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wp) == WA_INACTIVE) {
            if (events.deactivated) events.deactivated();
        } else {
            const bool first = !activatedBefore;
            activatedBefore = true;
            if (events.activated) events.activated(first);
        }
        break;
    case WM_SHOWWINDOW:
        if (!wp && events.hidden) events.hidden();
        break;
    case WM_MOUSEMOVE: {
        // A group box is transparent to hit-testing, so the pointer's moves over its caption row
        // and margins come here, not to the group box: they are moves over the group box.
        const int id = GroupBoxAt(hwnd, lp);
        if (id >= 0 && events.mouseMoved) events.mouseMoved(id);
        break;
    }
    case kWakeMessage:
        if (events.woken) events.woken();
        return 0;
    case WM_DESTROY:
        if (events.destroying) events.destroying();
        return 0;
    case WM_NCDESTROY:
        mainWindow.store(nullptr);
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

const wchar_t* ClassOf(ControlKind kind) {
    switch (kind) {
    case ControlKind::Label: return L"STATIC";
    case ControlKind::EditBox: return L"EDIT";
    default: return L"BUTTON";
    }
}

DWORD StyleOf(const ControlSpec& s) {
    const DWORD base = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    switch (s.kind) {
    case ControlKind::Label: return base | SS_LEFT | SS_NOTIFY;
    case ControlKind::Button: return base | WS_TABSTOP | BS_PUSHBUTTON;
    case ControlKind::CheckBox: return base | WS_TABSTOP | BS_AUTOCHECKBOX;
    case ControlKind::RadioButton: return base | BS_AUTORADIOBUTTON | (s.startsGroup ? WS_GROUP | WS_TABSTOP : 0);
    // The group box is the parent of the source controls; it must not paint over them.
    case ControlKind::GroupBox: return base | WS_CLIPCHILDREN | BS_GROUPBOX;
    case ControlKind::EditBox:
        return base | WS_TABSTOP | WS_BORDER | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE |
               ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_WANTRETURN | ES_NOHIDESEL;
    case ControlKind::Component: break;
    }
    return base;
}

void CreateControls(const WindowSpec& spec, HINSTANCE instance) {
    controls.assign(size_t(spec.controlCount), Control());
    for (int i = 0; i < spec.controlCount; ++i) {
        const ControlSpec& s = spec.controls[i];
        if (s.kind == ControlKind::Component || s.id < 0 || s.id >= spec.controlCount) continue;
        HWND parent = s.parentId < 0 ? mainWindow.load() : controls[s.parentId].hwnd;
        HWND hwnd = CreateWindowExW(0, ClassOf(s.kind), win32::ToWide(s.caption ? s.caption : "").c_str(),
                                    StyleOf(s), s.x, s.y, s.width, s.height, parent,
                                    reinterpret_cast<HMENU>(INT_PTR(spec.controlIdBase + s.id)), instance, nullptr);
        if (!hwnd) continue;
        SendMessageW(hwnd, WM_SETFONT, WPARAM(font), FALSE);
        if (s.kind == ControlKind::EditBox) SendMessageW(hwnd, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
        if (s.initiallyOn) SendMessageW(hwnd, BM_SETCHECK, BST_CHECKED, 0);
        controls[s.id] = Control{hwnd, s.kind, nullptr};
        controls[s.id].original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc)));
    }
    // Later controls lie over earlier ones (the radio buttons over the user-rules check box);
    // raised ones over all their siblings.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < spec.controlCount; ++i) {
            const ControlSpec& s = spec.controls[i];
            HWND hwnd = s.id >= 0 && s.id < spec.controlCount ? controls[s.id].hwnd : nullptr;
            if (hwnd && s.raised == (pass == 1))
                SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
}

// Runs every pending message; false once a WM_QUIT has been taken (it is put back later).
bool DispatchAll(int& quitCode, bool& quit) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = true;
            quitCode = int(msg.wParam);
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

void RegisterCommonControlClasses() {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
}

// The outer size of a window of `style` whose client area is `width` x `height` under the
// system's current frame and caption metrics.
SIZE OuterSize(DWORD style, int width, int height) {
    RECT r = {0, 0, width, height};
    if (!AdjustWindowRectEx(&r, style, FALSE, 0)) return SIZE{width, height};
    return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace

namespace win32 {
HWND MainWindowHandle() { return mainWindow.load(); }
}  // namespace win32

void InitWindowRunTime() { RegisterCommonControlClasses(); }

void RunModalWindow(const WindowSpec& spec, const WindowEvents& windowEvents) {
    if (mainWindow.load()) return;  // one window at a time
    HINSTANCE instance = win32::ThisModule();
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = MainProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);  // fails harmlessly when already registered

    if (!font) {
        font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, L"SimSun");
    }
    events = windowEvents;
    activatedBefore = false;
    windowThreadId = GetCurrentThreadId();
    ownControls = win32::CreateOwnManifestContext();
    {
        win32::ActivationScope scope(ownControls);
        RegisterCommonControlClasses();
        // The layout needs its client area whole: the outer size follows the system's metrics
        // (padded borders and taller captions on current systems).
        const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
        const SIZE outer = OuterSize(style, spec.clientWidth, spec.clientHeight);
        HWND hwnd = CreateWindowExW(0, kWindowClass, win32::ToWide(spec.title).c_str(), style, spec.x, spec.y,
                                    outer.cx, outer.cy, nullptr, nullptr, instance, nullptr);
        if (hwnd) {
            mainWindow.store(hwnd);
            SendMessageW(hwnd, WM_SETFONT, WPARAM(font), FALSE);
            CreateControls(spec, instance);
        }
    }
    HWND hwnd = mainWindow.load();
    if (!hwnd) {
        win32::ReleaseOwnManifestContext(ownControls);
        ownControls = INVALID_HANDLE_VALUE;
        return;
    }
    if (events.created) events.created();
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);

    int quitCode = 0;
    bool quit = false;
    while (mainWindow.load()) {
        if (!DispatchAll(quitCode, quit)) {
            if (mainWindow.load()) DestroyWindow(mainWindow.load());
            break;
        }
        if (!mainWindow.load()) break;
        if (events.idle) events.idle(0);
        DWORD r = MsgWaitForMultipleObjectsEx(0, nullptr, 5000, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (r == WAIT_TIMEOUT) {
            if (events.idle) events.idle(5000);
            MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        }
    }
    controls.clear();
    tooltip = nullptr;  // destroyed with its owner
    win32::ReleaseOwnManifestContext(ownControls);
    ownControls = INVALID_HANDLE_VALUE;
    if (quit) PostQuitMessage(quitCode);
}

bool WindowExists() { return mainWindow.load() != nullptr; }
bool OnWindowThread() { return WindowExists() && GetCurrentThreadId() == windowThreadId; }

void WakeWindowThread() {
    HWND hwnd = mainWindow.load();
    if (hwnd) PostMessageW(hwnd, kWakeMessage, 0, 0);
}

void DestroyMainWindow() {
    HWND hwnd = mainWindow.load();
    if (hwnd) DestroyWindow(hwnd);
}

Text GetControlText(int id) {
    Control* c = Find(id);
    if (!c) return Text();
    const int length = GetWindowTextLengthW(c->hwnd);
    std::wstring text(size_t(length) + 1, L'\0');
    const int got = GetWindowTextW(c->hwnd, &text[0], length + 1);
    return win32::FromWide(text.data(), size_t(got > 0 ? got : 0));
}

void SetControlText(int id, const Text& text) {
    if (Control* c = Find(id)) SetWindowTextW(c->hwnd, win32::ToWide(text).c_str());
}

void AppendEditText(int id, const Text& text) {
    Control* c = Find(id);
    if (!c) return;
    // One replacement of the whole text: Wine's edit control is slow with many small appends.
    const int end = GetWindowTextLengthW(c->hwnd);
    SendMessageW(c->hwnd, EM_SETSEL, WPARAM(end), LPARAM(end));
    SendMessageW(c->hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(win32::ToWide(text).c_str()));
    SendMessageW(c->hwnd, EM_SCROLLCARET, 0, 0);
}

bool IsControlChecked(int id) {
    Control* c = Find(id);
    return c && IsCheckable(*c) && SendMessageW(c->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetControlChecked(int id, bool on) {
    Control* c = Find(id);
    if (!c || !IsCheckable(*c)) return;
    if (c->kind == ControlKind::RadioButton && on) {
        // BM_SETCHECK does not clear the other radio buttons beside this one: do it here.
        HWND parent = GetParent(c->hwnd);
        for (size_t i = 0; i < controls.size(); ++i) {
            if (int(i) != id && controls[i].kind == ControlKind::RadioButton && controls[i].hwnd &&
                GetParent(controls[i].hwnd) == parent)
                SendMessageW(controls[i].hwnd, BM_SETCHECK, BST_UNCHECKED, 0);
        }
    }
    SendMessageW(c->hwnd, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool IsControlEnabled(int id) {
    Control* c = Find(id);
    return c && IsWindowEnabled(c->hwnd);
}

void SetControlEnabled(int id, bool enabled) {
    if (Control* c = Find(id)) EnableWindow(c->hwnd, enabled);
}

Rect GetControlRect(int id) {
    Control* c = Find(id);
    if (!c) return Rect{0, 0, 0, 0};
    RECT r;
    GetWindowRect(c->hwnd, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(c->hwnd), reinterpret_cast<POINT*>(&r), 2);
    return Rect{int(r.left), int(r.top), int(r.right - r.left), int(r.bottom - r.top)};
}

void SetControlHeight(int id, int height) {
    Control* c = Find(id);
    if (!c) return;
    const Rect r = GetControlRect(id);
    SetWindowPos(c->hwnd, nullptr, 0, 0, r.width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetEditSelection(int id, int start, int length) {
    if (Control* c = Find(id))
        SendMessageW(c->hwnd, EM_SETSEL, WPARAM(start), LPARAM(length < 0 ? -1 : start + length));
}

void FocusControl(int id) {
    if (Control* c = Find(id)) SetFocus(c->hwnd);
}

int FocusedControl() { return IdOf(GetFocus()); }

void SetTopmost(bool on) {
    HWND hwnd = mainWindow.load();
    // While the shared tooltip (itself always on top) exists, Wine refuses to put its owner on
    // top again. The window goes on top only when the mouse has left every control with help, or
    // the window is inactive, so the tooltip has nothing to show then: let it go; the next hover
    // makes a new one.
    if (on && tooltip) {
        DestroyWindow(tooltip);
        tooltip = nullptr;
    }
    if (hwnd)
        SetWindowPos(hwnd, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

bool IsTopmost() {
    HWND hwnd = mainWindow.load();
    return hwnd && (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

void SetHoverTooltip(int id, const Text& text) {
    Control* c = Find(id);
    HWND owner = mainWindow.load();
    if (!c || !owner) return;
    if (!tooltip) {
        win32::ActivationScope scope(ownControls);
        tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                  WS_POPUP | TTS_BALLOON | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  owner, nullptr, win32::ThisModule(), nullptr);
        if (!tooltip) return;
        tooltipTexts.assign(controls.size(), std::wstring());
    }
    std::wstring wide = win32::ToWide(text);
    TOOLINFOW ti = {};
    // The size without the last member that version 6 added: version 5 refuses larger records,
    // version 6 takes this one too.
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = owner;
    ti.uId = reinterpret_cast<UINT_PTR>(c->hwnd);
    // A control registers once; later registrations only bring its text up to date, so the
    // tooltip's hover timing is not restarted on every mouse move.
    TOOLINFOW existing = ti;
    existing.lpszText = nullptr;
    const bool known = SendMessageW(tooltip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&existing)) != 0;
    ti.lpszText = &wide[0];
    if (!known) {
        SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    } else if (tooltipTexts[size_t(id)] != wide) {
        SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    }
    tooltipTexts[size_t(id)] = wide;
    // Wide enough that lines break only at CR LF.
    SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, 4000);
}

namespace {

// The message boxes shown by task threads, by thread, so the window can dismiss them when it
// goes away. A CBT hook on the showing thread learns the box's handle when it activates.
std::mutex boxesMutex;
std::map<DWORD, HWND> taskBoxes;

LRESULT CALLBACK BoxHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE) {
        std::lock_guard<std::mutex> lock(boxesMutex);
        taskBoxes[GetCurrentThreadId()] = reinterpret_cast<HWND>(wp);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

void ShowTaskMessageBox(const Text& text, const Text& caption) {
    HHOOK hook = SetWindowsHookExW(WH_CBT, BoxHook, nullptr, GetCurrentThreadId());
    MessageBoxW(nullptr, win32::ToWide(text).c_str(), win32::ToWide(caption).c_str(),
                MB_OK | MB_ICONINFORMATION | MB_TASKMODAL | MB_SETFOREGROUND);
    if (hook) UnhookWindowsHookEx(hook);
    std::lock_guard<std::mutex> lock(boxesMutex);
    taskBoxes.erase(GetCurrentThreadId());
}

void DismissTaskMessageBoxes() {
    std::lock_guard<std::mutex> lock(boxesMutex);
    for (const auto& box : taskBoxes) PostMessageW(box.second, WM_COMMAND, IDOK, 0);
}

}  // namespace platform
