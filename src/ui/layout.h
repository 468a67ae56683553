// The main window's layout: its place, size, title and every control.
#pragma once

#include "platform/window.h"

extern const platform::WindowSpec kMainWindowSpec;

// The control table, in ControlId order.
extern const platform::ControlSpec kMainWindowControls[];
extern const int kMainWindowControlCount;
