// Files, directories and environment, shaped like the Windows calls the program makes.
// Paths are GBK Texts written the Windows way, with backslashes. On Windows they go through the
// W API (GBK <-> UTF-16); natively backslashes become slashes and names are stored as UTF-8.
#pragma once

#include <vector>

#include "base/text.h"

namespace platform {

// The system temporary directory (GetTempPath into a 260-byte buffer), normally ending in "\";
// empty when the call fails.
Text GetTempDirectory();
// An environment variable's value; empty when it is not set.
Text GetEnvironmentText(const Text& name);
Text GetCurrentDirectoryText();
// A new, unique temporary file in `directory` (GetTempFileName with prefix ""); the file is
// created empty. Empty on failure.
Text MakeTempFileName(const Text& directory);

bool FileExists(const Text& path);       // a file (not a directory) exists at path
bool DirectoryExists(const Text& path);
bool RenamePath(const Text& from, const Text& to);  // fails when `to` exists
// Renames `from` to `to`, replacing a file at `to` in one step, so that `to` names either its
// old file or the new one at every moment, also across a crash or a power cut (MoveFileEx with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH; natively rename and a flush of the
// directory). Fails, as on Windows, when `to` is read-only: ResetFileAttributes it first.
bool ReplacePath(const Text& from, const Text& to);
bool DeleteFileAt(const Text& path);
// SetFileAttributes(path, FILE_ATTRIBUTE_NORMAL): clears read-only (and hidden, system) so the
// file can be replaced or deleted. False when nothing exists at path.
bool ResetFileAttributes(const Text& path);
bool DeleteDirectoryTree(const Text& path);  // the directory and everything in it
bool CreateOneDirectory(const Text& path);   // the parent must exist
bool CreateDirectoryPath(const Text& path);  // every missing level

// Whole-file reads and writes, in one operation each. A write replaces an existing file; a write
// that fails after the file was created or emptied removes it again, so a failed write never
// leaves a partial file behind (an existing file the write could not open stays as it was).
bool ReadWholeFile(const Text& path, ByteBuffer& out);
bool WriteWholeFile(const Text& path, const ByteBuffer& bytes);
// The same, with the data flushed to the disk before the file is closed (FlushFileBuffers; fsync
// natively): once it returns true, a crash or a power cut no longer loses the file's content.
bool WriteWholeFileFlushed(const Text& path, const ByteBuffer& bytes);

struct DirectoryEntry {
    Text name;  // without the directory
    bool isDirectory;
};
// The entries of a directory ("." and ".." left out), in the file system's order.
bool ListDirectory(const Text& path, std::vector<DirectoryEntry>& out);

}  // namespace platform
