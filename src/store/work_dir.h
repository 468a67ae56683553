// The fresh temporary directories in which a package is unpacked and rebuilt. The name comes
// from a new temporary file name in the "tmp" directory ("<tmp>\<hex>.tmp", where the number
// starts at the tick count plus a process-wide counter and goes up until the name is free)
// with every ".tmp" in the whole path turned into ".tqnx". Nothing is created by the naming.
#pragma once

#include "base/text.h"

// The "tmp" environment directory ending in a backslash; empty when "tmp" is unset.
Text TmpDirectory();
// The next free temporary file name in the "tmp" directory (no directory part when "tmp" is
// unset); empty when no free name was found.
Text NewTempFileName();
// `prefix`, a hexadecimal number drawn as for NewTempFileName, and `suffix`: a path at which
// nothing exists yet. Empty when no free name was found.
Text NewNumberedPath(const Text& prefix, const Text& suffix);
// NewTempFileName with every ".tmp" (any case) replaced by ".tqnx".
Text NewWorkDirName();
// Names a new work directory and creates it with one create-directory call (its parent must
// exist). Empty when it could not be created.
Text CreateWorkDir();
