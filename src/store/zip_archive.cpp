#include "store/zip_archive.h"

#include <cstdint>
#include <vector>

#include "platform/codepage.h"
#include "platform/files.h"
#include "store/zip_format.h"

namespace {

// ---- extraction -----------------------------------------------------------------------------

bool IsSeparatorUnit(uint16_t u) { return u == '\\' || u == '/'; }

// Is an entry name safe to write below the target directory? The check runs on the UTF-16 form
// the file system will see, so that a byte the text engine takes for the trail of a double-byte
// character cannot hide a separator from it. Refused: control characters (a NUL would cut the
// path short), any ":" (a drive, or an NTFS stream), a leading separator (an absolute or UNC
// path), and any level made only of dots and spaces other than "." (Windows strips trailing
// dots and spaces, so "..", "... " and ". ." all climb out).
bool IsSafeEntryName(const Text& name) {
    const ByteBuffer wide = platform::MultiByteToWide(platform::kCodePageGbk, name);
    if (wide.size() < 2) return false;
    std::vector<uint16_t> level;
    auto levelIsSafe = [&level] {
        bool onlyDotsAndSpaces = true;
        for (uint16_t u : level) onlyDotsAndSpaces = onlyDotsAndSpaces && (u == '.' || u == ' ');
        return level.empty() || !onlyDotsAndSpaces || (level.size() == 1 && level[0] == '.');
    };
    for (size_t i = 0; i + 1 < wide.size(); i += 2) {
        const uint16_t u = uint16_t(static_cast<unsigned char>(wide[i]) | static_cast<unsigned char>(wide[i + 1]) << 8);
        if (u < 0x20 || u == ':') return false;
        if (IsSeparatorUnit(u)) {
            if (i == 0 || !levelIsSafe()) return false;
            level.clear();
        } else {
            level.push_back(u);
        }
    }
    return levelIsSafe();
}

// The target of an entry: the directory, a backslash and the name with "/" made "\".
Text TargetPath(const Text& directory, const ZipEntry& e) {
    Text target = directory + "\\" + ReplaceAllExact(e.name, "/", "\\");
    while (!target.empty() && target.back() == '\\') target.pop_back();
    return target;
}

// The directory part of a target path (an archive need not list the folders of its files).
Text ParentOf(const Text& target) { return Left(target, long(FindLastExact(target, "\\")) - 1); }

bool ExtractEntry(const ByteBuffer& archive, const ZipEntry& e, const Text& directory) {
    const Text target = TargetPath(directory, e);
    if (e.isFolder) return platform::CreateDirectoryPath(target);
    ByteBuffer data;
    if (!ReadZipEntryData(archive, e, data)) return false;
    if (!platform::DirectoryExists(ParentOf(target)) && !platform::CreateDirectoryPath(ParentOf(target)))
        return false;
    platform::ResetFileAttributes(target);
    if (!platform::WriteWholeFile(target, data)) return false;
    platform::ResetFileAttributes(target);
    return true;
}

// ---- packing --------------------------------------------------------------------------------

// Archives and compressed files gain nothing from deflate: they are stored.
constexpr const char* kStoredExtensions[] = {".Z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz"};

bool IsStoredName(const Text& fileName) {
    for (const char* ext : kStoredExtensions) {
        const size_t at = FindLast(fileName, ext);
        if (at != 0 && at - 1 + Text(ext).size() == fileName.size()) return true;
    }
    return false;
}

// Deeper than this is a loop (a junction pointing up the tree), not a rule package.
constexpr int kMaxDepth = 64;

bool AddDirectory(ZipWriter& zip, const Text& path, const Text& prefix, int depth) {
    if (depth > kMaxDepth) return false;
    std::vector<platform::DirectoryEntry> entries;
    if (!platform::ListDirectory(path, entries)) return false;
    for (const platform::DirectoryEntry& e : entries) {
        if (e.isDirectory) continue;
        ByteBuffer data;
        if (!platform::ReadWholeFile(path + "\\" + e.name, data)) return false;
        if (!zip.AddFile(prefix + e.name, data, IsStoredName(e.name))) return false;
    }
    for (const platform::DirectoryEntry& e : entries) {
        if (!e.isDirectory) continue;
        const Text folder = prefix + e.name + "/";
        if (!zip.AddFolder(folder) || !AddDirectory(zip, path + "\\" + e.name, folder, depth + 1))
            return false;
    }
    return true;
}

}  // namespace

int ExtractArchive(const Text& archivePath, const Text& directory) {
    if (!platform::DirectoryExists(directory) && !platform::CreateDirectoryPath(directory))
        return kExtractRefused;
    ByteBuffer archive;
    std::vector<ZipEntry> entries;
    if (!platform::ReadWholeFile(archivePath, archive) || !ReadZipDirectory(archive, entries))
        return kExtractRefused;
    // Every name is checked before anything is written: a hostile archive leaves no trace.
    for (const ZipEntry& e : entries)
        if (!IsSafeEntryName(e.name)) return kExtractRefused;
    for (const ZipEntry& e : entries)
        if (!ExtractEntry(archive, e, directory)) return kExtractEntryFailed;
    return kExtractDone;
}

ArchiveRead ReadArchive(const ByteBuffer& archive, std::vector<ArchiveEntry>& entries) {
    entries.clear();
    std::vector<ZipEntry> directory;
    if (!ReadZipDirectory(archive, directory)) return ArchiveRead::Refused;
    ArchiveRead result = ArchiveRead::Complete;
    for (ZipEntry& e : directory) {
        ArchiveEntry read;
        if (!IsSafeEntryName(e.name)) {
            result = ArchiveRead::Refused;
        } else if (!e.isFolder && !ReadZipEntryData(archive, e, read.data)) {
            if (result == ArchiveRead::Complete) result = ArchiveRead::EntryDamaged;
        } else {
            read.entry = std::move(e);
            entries.push_back(std::move(read));
        }
    }
    return result;
}

bool CopyArchiveEntry(ZipWriter& zip, const ArchiveEntry& e) {
    return zip.AddCopy(e.entry, e.data, IsStoredName(e.entry.name));
}

int CompressDirectory(const Text& directory, const Text& archivePath) {
    if (!platform::DirectoryExists(directory)) return kCompressNoDirectory;
    // The archive is built in memory and written once, so a failure part-way leaves no partial
    // archive behind (and an existing one untouched) for the caller to trip over.
    ZipWriter zip;
    if (!AddDirectory(zip, directory, "", 0)) return kCompressFailed;
    return platform::WriteWholeFile(archivePath, zip.Finish()) ? kCompressDone : kCompressFailed;
}
