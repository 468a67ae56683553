// The user's own rules, read back from the browser's rule package so that a fetch keeps them:
// the user buckets UserBlockRules, UserHideRules and UserWhiteRules.
#pragma once

#include "base/text.h"

// Rule file kinds of ReadPackageRuleFile.
constexpr int kRuleFileElement = 1;  // __user__element__
constexpr int kRuleFileCss = 0;      // __user__css__
constexpr int kRuleFileWhite = -1;   // __user__white__

// The source step is FetchUserRules (source_steps.h): when the user source is ticked, it fills the
// three user buckets from the package, keeping only the user's own rules (none beginning with
// "**") in the custom-only mode (单选框_用户原有规则_自定义规则 selected in the window).

// The rules of one rule file of the active user's package, header line dropped, as a RuleList
// (CR LF separated); with `customOnly` the rules beginning with "**" are left out. Empty when
// there is no profile, no package, no such file or no header. Each call extracts the package
// into a work directory of its own and deletes it again.
Text ReadPackageRuleFile(int kind, bool customOnly);
// The same for the package in `profile`; `packageRead` tells whether the package was there and
// could be unpacked.
Text ReadProfileRuleFile(const Text& profile, int kind, bool customOnly, bool& packageRead);
