// Hover help: every mouse move over a control with help takes the window off always-on-top and
// registers the control with the shared balloon tooltip, with the text current at that moment.
#pragma once

#include "base/text.h"

// The mouse moved over control `id` (the group box background included).
void OnHover(int id);

// The fixed tooltip of the ChinaList check box: fourteen lines joined by CR LF.
Text ChinaListHelpText();
