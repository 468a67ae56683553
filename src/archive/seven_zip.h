// The 7z library the program carries: loaded from memory at start-up with the in-memory library
// loader, and its one use, unpacking an archive (the Maxthon download's 7z form).
#pragma once

#include <cstdint>
#include <optional>

#include "base/text.h"

// The loaded library: whether the load succeeded and the addresses of its exports List7z and
// unpack7z (0 when not found). List7z is looked up with unpack7z though nothing calls it.
struct SevenZipExports {
    bool loaded = false;
    uintptr_t list7z = 0;
    uintptr_t unpack7z = 0;
};
// The library's exports, from start-up until clean-up.
SevenZipExports& SevenZip();

// Loads the library from `image` and looks up its exports; start-up goes on whatever the outcome.
void LoadSevenZipLibrary(const ByteBuffer& image);
// Stops and releases the library (clean-up).
void ReleaseSevenZipLibrary();

// Unpacks an archive with the loaded 7z library into `destinationDir` (created when missing;
// one trailing backslash is dropped). 1 when unpack7z reported success; 0 for a missing archive,
// an unloaded library, a destination that cannot be prepared, or a failure of unpack7z.
int ExtractWith7z(const Text& archivePath, const Text& destinationDir, std::optional<int> unpackFlag = std::nullopt);

// Creates the missing levels of a drive path ("C:\a\b"): 0 when created, 2 when the whole path
// already existed, 1 on failure (no drive, an empty, "." or ".." level, a level not created).
int EnsureDirectoryPath(const Text& path);
