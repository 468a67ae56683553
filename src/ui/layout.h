// The main window's layout: its place, size, title and every control.
#pragma once

#include <optional>

#include "common/rule_sources.h"
#include "platform/window.h"
#include "ui/controls.h"

extern const platform::WindowSpec kMainWindowSpec;

// The control table, in ControlId order.
extern const platform::ControlSpec kMainWindowControls[];
extern const int kMainWindowControlCount;

// The check box of a rule source, and the rule source of a control (none but for those boxes),
// as the layout's tags give them.
ControlId SourceBox(RuleSource source);
std::optional<RuleSource> SourceOfControl(int id);
