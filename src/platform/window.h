// The window toolkit: one top-level window, shown modally on the calling thread, with its child
// controls. Controls are named by integer ids. Every function below except WakeWindowThread runs
// on the window's thread only; other threads talk to the window through ui/window_link.h.
#pragma once

#include "base/text.h"

namespace platform {

enum class ControlKind { Label, Button, CheckBox, RadioButton, GroupBox, EditBox, Component };

struct ControlSpec {
    int id;
    ControlKind kind;
    int parentId;  // -1: the window itself; otherwise a group box, positions relative to it
    int x, y, width, height;
    const char* caption;  // GBK
    bool initiallyOn;     // ticked check box, selected radio button
    bool startsGroup;     // first radio button of a group
    // Later controls lie over earlier ones, except a raised control, which lies over all its
    // siblings (the blacklist box, once tall, covers the redundant-rules area).
    bool raised = false;
    // The program's own number for the control (the window's layout names the rule source of
    // each source check box with it); the toolkit does not look at it.
    int tag = -1;
};

struct WindowEvents {
    void (*created)() = nullptr;  // the controls exist; the window is not shown yet
    void (*activated)(bool first) = nullptr;
    void (*deactivated)() = nullptr;
    void (*hidden)() = nullptr;
    // Milliseconds since the window's message queue became empty; reported at 0 and 5000.
    void (*idle)(int elapsedMs) = nullptr;
    void (*clicked)(int id) = nullptr;      // after a check box or radio button has toggled
    void (*mouseMoved)(int id) = nullptr;   // over a control (or a group box's background)
    void (*destroying)() = nullptr;         // the window is about to be destroyed
    void (*woken)() = nullptr;              // WakeWindowThread was called
};

struct WindowSpec {
    // Outer position; the size is that of the client area, which the controls need whole (the
    // frame and caption around it take what the system's metrics give them).
    int x, y, clientWidth, clientHeight;
    Text title;
    const ControlSpec* controls;
    int controlCount;
    // Win32 control ids are the control ids plus this number (the toolkit's own ids are the
    // controls' ids as given).
    int controlIdBase;
};

// Prepares the window run time (common controls); called once at start-up.
void InitWindowRunTime();

// Creates the window and its controls, shows it and runs its message loop on the calling
// thread until the window has been destroyed.
void RunModalWindow(const WindowSpec& spec, const WindowEvents& events);

bool WindowExists();
bool OnWindowThread();
// Any thread: makes the window thread call events.woken soon. Never blocks.
void WakeWindowThread();
void DestroyMainWindow();

Text GetControlText(int id);
void SetControlText(int id, const Text& text);
// Places `text` after the last character of an edit box and scrolls to the end.
void AppendEditText(int id, const Text& text);
bool IsControlChecked(int id);
void SetControlChecked(int id, bool on);
bool IsControlEnabled(int id);
void SetControlEnabled(int id, bool enabled);
void SetControlHeight(int id, int height);

struct Rect { int x, y, width, height; };
// Position relative to the control's parent (the window's client area or the group box).
Rect GetControlRect(int id);

// Edit boxes: start and length in bytes of the text; length -1 selects everything to the end.
void SetEditSelection(int id, int start, int length);
void FocusControl(int id);
int FocusedControl();  // -1 when no control of the window has the focus

void SetTopmost(bool on);
bool IsTopmost();

// Registers `id` with the window's shared balloon tooltip, showing `text` (lines broken at CR LF).
void SetHoverTooltip(int id, const Text& text);

// Any thread but the window's: shows a message box with `text`, `caption` and one OK button,
// modal for the calling thread, and returns once it has been dismissed: by the user, or by
// DismissTaskMessageBoxes when the window goes away.
void ShowTaskMessageBox(const Text& text, const Text& caption);
// Any thread: closes every message box that ShowTaskMessageBox is showing now.
void DismissTaskMessageBoxes();

}  // namespace platform
