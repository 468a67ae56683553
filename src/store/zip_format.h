// The ZIP format (PKWARE's application note), read and written in memory: stored and deflate
// entries, folder entries, data descriptors on reading. No encryption, no ZIP64, no split
// archives. Archives are untrusted input: every offset and length is checked against the
// buffer, and what an archive may unpack to is bounded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/text.h"

// Bounds on what one archive may unpack to; an archive declaring more is refused as a whole.
// The largest rule list is a few megabytes, so these leave a wide margin while keeping a
// "ZIP bomb" from filling the disk or the address space of a 32-bit browser process.
constexpr uint32_t kZipMaxEntrySize = 64u << 20;   // 64 MiB for one entry
constexpr uint64_t kZipMaxTotalSize = 256u << 20;  // 256 MiB for all entries together
constexpr size_t kZipMaxEntries = 65535;

constexpr uint16_t kZipStored = 0;
constexpr uint16_t kZipDeflated = 8;

struct ZipEntry {
    Text name;        // as stored, "/" between levels; a UTF-8 name (flag bit 11) in GBK
    ByteBuffer rawName;  // the name's bytes exactly as stored
    bool isFolder;    // the name ends with "/" (or "\")
    uint16_t flags;   // general purpose bits
    uint16_t method;
    uint32_t crc;
    uint32_t compressedSize;
    uint32_t size;
    size_t dataOffset;  // where the entry's (compressed) bytes start in the archive
};

// The entries of `archive` in central-directory order. False when it is no readable ZIP: no
// end record, a record or an entry's data outside the buffer, a split or ZIP64 archive, or more
// entries or unpacked bytes than the bounds above.
bool ReadZipDirectory(const ByteBuffer& archive, std::vector<ZipEntry>& entries);

// The unpacked bytes of one entry, checked against its size and CRC. False for an encrypted
// entry, a method other than stored or deflate, damaged data, or a size or CRC that does not
// match; inflating stops as soon as the output would pass the entry's size.
bool ReadZipEntryData(const ByteBuffer& archive, const ZipEntry& entry, ByteBuffer& data);

// Builds an archive entry by entry. Names are GBK with "/" between levels; a name with
// non-ASCII characters is stored as UTF-8 with flag bit 11 set, as readers expect. Every entry
// carries the time 1980-01-01 00:00, so the same files always make the same archive.
class ZipWriter {
public:
    // Adds a file entry, deflated unless `store`. False when the archive would grow past what
    // the format holds without ZIP64.
    bool AddFile(const Text& name, const ByteBuffer& data, bool store);
    // Adds a folder entry; `name` ends with "/".
    bool AddFolder(const Text& name);
    // Adds an entry read from another archive under its name bytes as stored there, keeping
    // their UTF-8 flag (a GBK name stays GBK): a folder, or a file with `data` (its unpacked
    // bytes), deflated unless `store`.
    bool AddCopy(const ZipEntry& from, const ByteBuffer& data, bool store);
    // The archive: the entries, their central directory and the end record.
    ByteBuffer Finish() const;

private:
    bool AddData(const ByteBuffer& rawName, uint16_t flags, const ByteBuffer& data, bool store);
    bool Add(const ByteBuffer& rawName, uint16_t flags, const ByteBuffer& stored, uint16_t method,
             uint32_t crc, uint32_t size, uint32_t externalAttributes);

    ByteBuffer body_;       // local headers and data
    ByteBuffer directory_;  // central directory records
    size_t count_ = 0;
};
