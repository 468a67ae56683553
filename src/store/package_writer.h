// Writing one of the two rule lists into the browser's rule package ContentListPackage: the
// blacklist becomes __user__element__ and __user__css__, the whitelist __user__white__. Every
// other entry of the previous package is carried over unchanged; the new package is put in
// place so that a write cut off at any moment loses nothing (package_files.h), and the package
// of before is kept as ContentListPackage.Backup.
#pragma once

#include "base/text.h"

// Which list a write puts into the package.
enum class WriteMode { Blacklist, Whitelist };

// The write task, started by a write button with the edit box's text: reports in the status line
// and holds the busy lock while it runs. True when the package was written (nobody reads it; the
// status line tells the user).
bool WriteRulesTask(const Text& rules, WriteMode mode);

// The write itself, for the package in `profile` (the active user's profile directory; empty
// when none was found): `rules` is an edit box's text, `mode` the list it is. The
// status is the message the write ends with. The previous rules come from the package when it
// reads back completely, else from a complete backup (which then stays as it is); when neither
// is complete, what can be read is carried over, the damaged package is kept as the backup and
// the message says so.
struct PackageWriteResult {
    bool written;
    const char* status;
};
PackageWriteResult WriteRulesToProfile(const Text& profile, const Text& rules, WriteMode mode);

// Spaces removed, CR turned into LF, empty lines removed, the ends trimmed (TrimRuleText).
Text NormaliseRuleText(const Text& text);

// The texts of the rule files (before conversion to UTF-8), from a normalised text.
struct BlacklistFiles {
    Text element;  // "[count=N]" LF and the blocking rules separated by LF
    Text css;      // the same for the hiding rules (those containing "##")
};
BlacklistFiles BlacklistRuleFiles(const Text& rules);
Text WhitelistRuleFile(const Text& rules);  // header, LF, the rules, a final LF
