// Fault injection for the native file functions, for tests. Every hook is process-wide and
// thread-safe; ResetFileHooks forgets them all.
#pragma once

#include <vector>

#include "base/text.h"

namespace platform {
namespace testhooks {

// The WriteWholeFile (or WriteWholeFileFlushed) call that comes after `after` successful ones
// fails and writes nothing.
void FailNextWrite(int after = 0);
// The next `count` WriteWholeFile calls fail and write nothing.
void FailWrites(int count);
// The RenamePath or ReplacePath call that comes after `after` successful ones fails and renames
// nothing.
void FailNextRename(int after = 0);
// The next CreateOneDirectory call fails and creates nothing.
void FailNextDirectoryCreation();

// Marks the existing file at `path` as held open by another process that did not allow delete
// sharing, as a running browser holds its history database: renaming or deleting the file fails
// until ReleaseFile. The file itself is recognised whatever spelling of its path is used later.
// False when there is no file at `path`.
bool HoldFileOpen(const Text& path);
void ReleaseFile(const Text& path);

// From now on records every step that changes the disk, as "kind path" texts: a whole-file
// write is four steps ("open": the file is created or emptied; "write": its first half goes in;
// "write": the rest; "close": it is flushed, when asked, and closed), and every rename or
// replacement ("rename", or "replace" followed by "flush-directory" for the directory),
// deletion, attribute reset and directory creation is one. With `exitAt` > 0 the process ends
// at once with _exit(status) just before step number `exitAt` (counting from 1), as a crash or
// a power cut would end it: nothing of that step or after it happens.
void RecordFileSteps(int exitAt = 0, int status = 0);
// The steps recorded since RecordFileSteps.
std::vector<Text> RecordedFileSteps();

// Forgets every hook and stops recording.
void ResetFileHooks();

}  // namespace testhooks
}  // namespace platform
