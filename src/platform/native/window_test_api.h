// Test access to the headless window: what a user would do (click, hover, close) and what a
// user would see (captions, states, geometry). Callable from any thread but the window thread;
// each call is carried out on the window thread, in order with the window's own messages.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/window.h"

namespace platform::test {

bool WaitForWindow(uint32_t ms);       // until a window exists
bool WaitForNoWindow(uint32_t ms);     // until it has been destroyed
// Runs `f` on the window thread and waits for it; false when there is no window.
bool RunOnWindowThread(const std::function<void()>& f);

void Click(int id);      // as a mouse click: ignored when the control is disabled
void MouseMove(int id);
void Activate();
void Deactivate();
void Hide();
void Close();            // the title bar's close box
void ReportIdle(int elapsedMs);  // as the message loop reports idle time

Text Caption(int id);
bool Checked(int id);
bool Enabled(int id);
Rect Geometry(int id);
bool Topmost();
Text Tooltip(int id);    // the text last registered for `id`, empty when none
int Focus();
Text Title();

// A record of the writes made to controls, in order: "enabled <id> 0|1", "text <id> <text>",
// "height <id> <h>", "append <id> <text>", "topmost 0|1". Taking it empties it.
std::vector<std::string> TakeLog();

// Message boxes of tasks: "caption|text" of every box shown (taking empties the record), how
// many are open now, and whether boxes are answered at once instead of waiting for a dismissal
// (DismissTaskMessageBoxes, as the user's OK).
std::vector<Text> TakeMessageBoxes();
int OpenMessageBoxes();
void AnswerMessageBoxesAtOnce(bool atOnce);

// Lets a test wait for a condition that the window thread brings about.
bool WaitUntil(const std::function<bool()>& condition, uint32_t ms);

}  // namespace platform::test
