// Writing one of the two rule lists into the browser's rule package ContentListPackage: the
// blacklist becomes __user__element__ and __user__css__, the whitelist __user__white__. Every
// other entry of the previous package is carried over unchanged; the new package is put in
// place so that a write cut off at any moment loses nothing (package_files.h), and the package
// of before is kept as ContentListPackage.Backup.
#pragma once

#include "base/text.h"

// Worker slots of the two write commands.
constexpr int kWriteBlacklistSlot = 10;
constexpr int kWriteWhitelistSlot = 11;

// PendingWriteMode values.
constexpr int kWriteModeBlacklist = 1;
constexpr int kWriteModeWhitelist = -1;

// Click handlers of 按钮_黑名单_写到规则文件 and 按钮_白名单_写到规则文件 (window thread): show
// the status, hand the edit box text and the mode to WriteRulesTask and start it in its slot.
// While a write or a fetch task is still running a click is ignored, so the pending values
// cannot change before the running task has copied them.
void OnWriteBlacklistClicked();
void OnWriteWhitelistClicked();

// The write task: takes its input from PendingWriteText and PendingWriteMode, reports in the
// status line, holds the busy lock while it runs. True when the package was written.
bool WriteRulesTask();

// The write itself, for the package in `profile` (the active user's profile directory; empty
// when none was found): `rules` is an edit box's text, `mode` a PendingWriteMode value. The
// status is the message the write ends with. The previous rules come from the package when it
// reads back completely, else from a complete backup (which then stays as it is); when neither
// is complete, what can be read is carried over, the damaged package is kept as the backup and
// the message says so.
struct PackageWriteResult {
    bool written;
    const char* status;
};
PackageWriteResult WriteRulesToProfile(const Text& profile, const Text& rules, int mode);

// Spaces removed, CR turned into LF, empty lines removed, the ends trimmed (TrimRuleText).
Text NormaliseRuleText(const Text& text);

// The texts of the rule files (before conversion to UTF-8), from a normalised text.
struct BlacklistFiles {
    Text element;  // "[count=N]" LF and the blocking rules separated by LF
    Text css;      // the same for the hiding rules (those containing "##")
};
BlacklistFiles BlacklistRuleFiles(const Text& rules);
Text WhitelistRuleFile(const Text& rules);  // header, LF, the rules, a final LF
