// Fault injection for the native file functions, for tests. Every hook is process-wide and
// thread-safe; ResetFileHooks forgets them all.
#pragma once

#include "common/text.h"

namespace platform {
namespace testhooks {

// The WriteWholeFile call that comes after `after` successful ones fails and writes nothing.
void FailNextWrite(int after = 0);
// The next `count` WriteWholeFile calls fail and write nothing.
void FailWrites(int count);
// The RenamePath call that comes after `after` successful ones fails and renames nothing.
void FailNextRename(int after = 0);
// The next CreateOneDirectory call fails and creates nothing.
void FailNextDirectoryCreation();

// Marks the existing file at `path` as held open by another process that did not allow delete
// sharing, as a running browser holds its history database: renaming or deleting the file fails
// until ReleaseFile. The file itself is recognised whatever spelling of its path is used later.
// False when there is no file at `path`.
bool HoldFileOpen(const Text& path);
void ReleaseFile(const Text& path);

void ResetFileHooks();

}  // namespace testhooks
}  // namespace platform
