#include "store/package_files.h"

#include <utility>

#include "platform/files.h"
#include "store/work_dir.h"

namespace {

const char kPackageName[] = "\\ContentListPackage";
const char kBackupName[] = "\\ContentListPackage.Backup";
// Temporary packages: "ContentListPackage.~<hex>.tmp" beside the package.
const char kTemporaryPrefix[] = "ContentListPackage.~";
const char kTemporarySuffix[] = ".tmp";

struct PackageFile {
    bool exists = false;
    bool complete = false;
    std::vector<ArchiveEntry> entries;
};

PackageFile ReadPackageFile(const Text& path) {
    PackageFile file;
    file.exists = platform::FileExists(path);
    ByteBuffer bytes;
    if (file.exists && platform::ReadWholeFile(path, bytes))
        file.complete = ReadArchive(bytes, file.entries) == ArchiveRead::Complete;
    return file;
}

StoredPackages From(PreviousPackage from, PackageFile&& file) {
    StoredPackages stored;
    stored.from = from;
    stored.complete = file.complete;
    stored.entries = std::move(file.entries);
    return stored;
}

bool IsTemporaryPackageName(const Text& name) {
    return StartsWith(name, kTemporaryPrefix) && ToLowerAscii(Right(name, 4)) == kTemporarySuffix;
}

// Moves `from` onto `to`, replacing what is there even when it is read-only.
bool ReplaceOnto(const Text& from, const Text& to) {
    if (platform::FileExists(to)) platform::ResetFileAttributes(to);
    return platform::ReplacePath(from, to);
}

}  // namespace

StoredPackages ReadStoredPackages(const Text& profile) {
    PackageFile package = ReadPackageFile(profile + kPackageName);
    if (package.complete) return From(PreviousPackage::Package, std::move(package));
    PackageFile backup = ReadPackageFile(profile + kBackupName);
    if (backup.complete) return From(PreviousPackage::Backup, std::move(backup));
    if (package.exists) return From(PreviousPackage::Package, std::move(package));
    if (backup.exists) return From(PreviousPackage::Backup, std::move(backup));
    return StoredPackages();
}

void RemoveLeftoverPackages(const Text& profile) {
    std::vector<platform::DirectoryEntry> entries;
    if (!platform::ListDirectory(profile, entries)) return;
    for (const platform::DirectoryEntry& e : entries) {
        if (e.isDirectory || !IsTemporaryPackageName(e.name)) continue;
        const Text path = profile + "\\" + e.name;
        platform::ResetFileAttributes(path);
        platform::DeleteFileAt(path);
    }
}

Text WriteTemporaryPackage(const Text& profile, const ByteBuffer& archive) {
    const Text temporary = NewNumberedPath(profile + "\\" + kTemporaryPrefix, kTemporarySuffix);
    if (temporary.empty() || !platform::WriteWholeFileFlushed(temporary, archive)) return Text();
    ByteBuffer back;
    std::vector<ArchiveEntry> entries;
    if (platform::ReadWholeFile(temporary, back) && back == archive && ReadArchive(back, entries) == ArchiveRead::Complete)
        return temporary;
    platform::DeleteFileAt(temporary);
    return Text();
}

bool InstallPackage(const Text& profile, const Text& temporary, bool packageToBackup) {
    const Text package = profile + kPackageName, backup = profile + kBackupName;
    if (packageToBackup && !ReplaceOnto(package, backup)) {
        platform::DeleteFileAt(temporary);
        return false;
    }
    if (ReplaceOnto(temporary, package)) return true;
    // The package of before goes back under its name; the older backup it replaced is gone.
    if (packageToBackup) platform::ReplacePath(backup, package);
    platform::DeleteFileAt(temporary);
    return false;
}
