// The rule package ContentListPackage and its backup ContentListPackage.Backup on disk, kept so
// that a write cut off at any moment (the browser crashes, the power goes) never loses the
// user's rules: at every instant one of the two names holds a complete package with the last
// rules that were written completely. A new package is written under a temporary name in the
// profile directory, flushed and read back, and only then renamed into place; a package that
// does not read back completely is never taken for the previous rules, and is never moved over
// the only complete copy.
#pragma once

#include <vector>

#include "base/text.h"
#include "store/zip_archive.h"

// Where the rules a write carries over come from.
enum class PreviousPackage { None, Package, Backup };

struct StoredPackages {
    PreviousPackage from = PreviousPackage::None;
    bool complete = false;              // that package reads back completely
    std::vector<ArchiveEntry> entries;  // its entries; of a damaged one, those that can be read
};

// The previous rules in `profile`: the package when it reads completely; else the backup when
// it does (a damaged package, or a write cut off between its two renames); else what can be
// read of the package, or of the backup when there is no package.
StoredPackages ReadStoredPackages(const Text& profile);

// Deletes the temporary packages that interrupted writes left in `profile`.
void RemoveLeftoverPackages(const Text& profile);

// Writes `archive` under a new temporary name in `profile`, flushed to disk, and reads it back.
// The temporary name when the file holds exactly `archive` and reads completely; otherwise
// empty, with nothing left behind.
Text WriteTemporaryPackage(const Text& profile, const ByteBuffer& archive);

// Renames the temporary package into place as ContentListPackage. With `packageToBackup` the
// current package first becomes ContentListPackage.Backup; otherwise the backup stays as it is
// and the current package, if any, is replaced. Each step is one rename that replaces its
// target (a read-only target is made writable first). False when the new package could not be
// put in place: the temporary package is deleted and the package of before is back under its
// name.
bool InstallPackage(const Text& profile, const Text& temporary, bool packageToBackup);
