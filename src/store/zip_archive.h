// The window's ZIP archive component (ZIP压缩1): unpacking an archive into a directory and
// packing a directory into an archive. Paths are the program's GBK paths with backslashes.
#pragma once

#include <vector>

#include "base/text.h"
#include "store/zip_format.h"

// Results of ExtractArchive.
constexpr int kExtractDone = 1;           // every entry extracted
constexpr int kExtractRefused = 0;        // the archive could not be read, or was refused as a
                                          // whole before anything was written
constexpr int kExtractEntryFailed = -1;   // an entry failed; extraction stopped there

// Unpacks every entry of the archive into `directory` (created with any missing parents), in
// archive order; a file replaces an existing one. An archive is refused as a whole when any
// entry name would leave the directory (absolute, with a drive or stream colon, or with a ".."
// level), holds a control character, or when it declares more than the size bounds of
// zip_format.h. A damaged entry (CRC, size, method, encryption) fails and stops the extraction.
int ExtractArchive(const Text& archivePath, const Text& directory);

// One entry of an archive with its unpacked bytes (none for a folder).
struct ArchiveEntry {
    ZipEntry entry;
    ByteBuffer data;
};

// What ReadArchive found, as ExtractArchive would have: every entry readable (kExtractDone), the
// archive refused as a whole (kExtractRefused), or an entry damaged (kExtractEntryFailed).
enum class ArchiveRead { Complete, Refused, EntryDamaged };

// Reads an archive held in memory entry by entry as ExtractArchive would extract it, writing
// nothing. `entries` gets, in archive order, every entry whose name is safe and whose data is
// intact: all of them for a complete archive, what can be saved for a damaged one.
ArchiveRead ReadArchive(const ByteBuffer& archive, std::vector<ArchiveEntry>& entries);

// Adds an entry read by ReadArchive to `zip` unchanged: its name bytes as stored, its data
// packed as CompressDirectory packs a file of that name.
bool CopyArchiveEntry(ZipWriter& zip, const ArchiveEntry& e);

// Results of CompressDirectory.
constexpr int kCompressDone = 1;
constexpr int kCompressFailed = 0;       // nothing written: an existing archive stays as it was
constexpr int kCompressNoDirectory = -1;

// Packs `directory` into a new archive at `archivePath`: the files directly in it in listing
// order, then each subdirectory as a folder entry ("name/") followed by its own contents, with
// names relative to `directory`. Files ending in .Z .zip .zoo .arc .lzh .arj .gz .tgz (any case)
// are stored, all others deflated. The archive is written in one piece once every entry is in.
int CompressDirectory(const Text& directory, const Text& archivePath);
