#include "store/zip_format.h"

#include <zlib.h>

#include <algorithm>
#include <new>

#include "platform/codepage.h"

namespace {

// Record signatures and fixed sizes (application note 4.3).
constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr size_t kLocalSize = 30;
constexpr size_t kCentralSize = 46;
constexpr size_t kEndSize = 22;
constexpr size_t kMaxComment = 0xFFFF;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagStrongEncryption = 0x0040;
constexpr uint16_t kFlagUtf8 = 0x0800;

constexpr uint16_t kDosDate1980 = (0 << 9) | (1 << 5) | 1;  // 1980-01-01
// Made by "Windows NTFS" (host 10), version 2.0: DOS attributes, as from FAT, but Info-ZIP
// does not take the names of an NTFS archive for OEM text, so it honours their UTF-8 flag.
constexpr uint16_t kMadeByNtfs20 = (10 << 8) | 20;
constexpr uint32_t kDosDirectory = 0x10;

// Does [at, at + length) lie inside the buffer? Written so that no sum can overflow.
bool Fits(const ByteBuffer& b, size_t at, size_t length) { return at <= b.size() && length <= b.size() - at; }

uint16_t Get16(const ByteBuffer& b, size_t at) {
    return uint16_t(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

uint32_t Get32(const ByteBuffer& b, size_t at) { return Get16(b, at) | uint32_t(Get16(b, at + 2)) << 16; }

void Put16(ByteBuffer& b, uint32_t v) {
    b += char(v & 0xFF);
    b += char((v >> 8) & 0xFF);
}

void Put32(ByteBuffer& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

bool HasNonAscii(const Text& t) {
    for (char c : t)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

// A stored name as the program's GBK text. A UTF-8 name is converted without cutting at a NUL,
// so that the extraction's name check still sees one.
Text NameFromArchive(const ByteBuffer& raw, uint16_t flags) {
    if (!(flags & kFlagUtf8) || !HasNonAscii(raw)) return raw;
    using namespace platform;
    return WideToMultiByte(kCodePageGbk, MultiByteToWide(kCodePageUtf8, raw));
}

ByteBuffer NameForArchive(const Text& name) {
    using namespace platform;
    return WideToMultiByte(kCodePageUtf8, MultiByteToWide(kCodePageGbk, name));
}

// The end-of-central-directory record, searched from the end over the last 64 KiB: the last
// signature whose comment ends the buffer exactly, else the last whose comment fits in it
// (bytes after the archive). A comment may itself hold the signature bytes.
bool FindEndRecord(const ByteBuffer& b, size_t& at) {
    if (b.size() < kEndSize) return false;
    const size_t last = b.size() - kEndSize;
    const size_t lowest = last > kMaxComment ? last - kMaxComment : 0;
    for (bool exact : {true, false}) {
        for (size_t i = last + 1; i-- > lowest;) {
            if (Get32(b, i) != kEndSignature) continue;
            const size_t comment = Get16(b, i + 20);
            if (exact ? comment == last - i : comment <= last - i) {
                at = i;
                return true;
            }
        }
    }
    return false;
}

// One central-directory record at `at`, with its local header. Advances `at` past the record.
bool ReadCentralRecord(const ByteBuffer& b, size_t directoryEnd, size_t& at, ZipEntry& e) {
    if (!Fits(b, at, kCentralSize) || at + kCentralSize > directoryEnd) return false;
    if (Get32(b, at) != kCentralSignature) return false;
    e.flags = Get16(b, at + 8);
    e.method = Get16(b, at + 10);
    e.crc = Get32(b, at + 16);
    e.compressedSize = Get32(b, at + 20);
    e.size = Get32(b, at + 24);
    const size_t nameLength = Get16(b, at + 28);
    const size_t variable = nameLength + Get16(b, at + 30) + Get16(b, at + 32);
    const size_t localAt = Get32(b, at + 42);
    if (!Fits(b, at + kCentralSize, variable) || at + kCentralSize + variable > directoryEnd) return false;
    e.rawName = b.substr(at + kCentralSize, nameLength);
    e.name = NameFromArchive(e.rawName, e.flags);
    at += kCentralSize + variable;

    // The local header only tells where the data starts; sizes and CRC come from the central
    // record, which holds them also when a data descriptor follows the data.
    if (!Fits(b, localAt, kLocalSize) || Get32(b, localAt) != kLocalSignature) return false;
    const size_t localVariable = size_t(Get16(b, localAt + 26)) + Get16(b, localAt + 28);
    if (!Fits(b, localAt + kLocalSize, localVariable)) return false;
    e.dataOffset = localAt + kLocalSize + localVariable;
    if (!Fits(b, e.dataOffset, e.compressedSize)) return false;

    // A final backslash counts only as a character of its own, not as the trail byte of one.
    e.isFolder = !e.name.empty() && (e.name.back() == '/' || FindLastExact(e.name, "\\") == e.name.size());
    return true;
}

// Inflates into a buffer that grows with the output, never past one byte beyond the declared
// size (a stream that reaches that byte is too long), so a lying size costs no more memory
// than the data really holds.
bool Inflate(const char* in, size_t inLength, size_t size, ByteBuffer& out) {
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
    z.avail_in = uInt(inLength);
    out.clear();
    const size_t limit = size + 1;
    int result = Z_OK;
    while (result == Z_OK && out.size() < limit) {
        const size_t done = out.size();
        const size_t chunk = std::min<size_t>(limit - done, size_t(1) << 16);
        out.resize(done + chunk);
        z.next_out = reinterpret_cast<Bytef*>(&out[done]);
        z.avail_out = uInt(chunk);
        result = inflate(&z, Z_NO_FLUSH);
        out.resize(done + chunk - z.avail_out);
    }
    inflateEnd(&z);
    const bool ok = result == Z_STREAM_END && out.size() == size;
    if (!ok) out.clear();
    return ok;
}

bool Deflate(const ByteBuffer& data, ByteBuffer& out) {
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.assign(deflateBound(&z, uLong(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = uInt(out.size());
    const bool ok = deflate(&z, Z_FINISH) == Z_STREAM_END;
    out.resize(ok ? z.total_out : 0);
    deflateEnd(&z);
    return ok;
}

uint32_t Crc(const ByteBuffer& data) {
    return uint32_t(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
}

}  // namespace

bool ReadZipDirectory(const ByteBuffer& archive, std::vector<ZipEntry>& entries) {
    entries.clear();
    size_t end = 0;
    if (!FindEndRecord(archive, end)) return false;
    const uint16_t disk = Get16(archive, end + 4), directoryDisk = Get16(archive, end + 6);
    const size_t onDisk = Get16(archive, end + 8), count = Get16(archive, end + 10);
    const size_t directorySize = Get32(archive, end + 12), directoryAt = Get32(archive, end + 16);
    // A split archive, or the ZIP64 markers (0xFFFF entries) that this reader does not follow.
    if (disk != 0 || directoryDisk != 0 || onDisk != count || count >= kZipMaxEntries) return false;
    if (directoryAt > end || directorySize > end - directoryAt) return false;

    uint64_t total = 0;
    size_t at = directoryAt;
    try {
        entries.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            ZipEntry e;
            if (!ReadCentralRecord(archive, directoryAt + directorySize, at, e)) break;
            total += e.size;
            if (e.size > kZipMaxEntrySize || total > kZipMaxTotalSize) break;
            entries.push_back(std::move(e));
        }
    } catch (const std::bad_alloc&) {
    }
    if (entries.size() == count) return true;
    entries.clear();
    return false;
}

bool ReadZipEntryData(const ByteBuffer& archive, const ZipEntry& e, ByteBuffer& data) {
    data.clear();
    if (e.flags & (kFlagEncrypted | kFlagStrongEncryption)) return false;
    if (e.size > kZipMaxEntrySize || !Fits(archive, e.dataOffset, e.compressedSize)) return false;
    bool ok = false;
    try {
        if (e.method == kZipStored) {
            ok = e.compressedSize == e.size;
            if (ok) data = archive.substr(e.dataOffset, e.size);
        } else if (e.method == kZipDeflated) {
            ok = Inflate(archive.data() + e.dataOffset, e.compressedSize, e.size, data);
        }
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    ok = ok && Crc(data) == e.crc;
    if (!ok) data.clear();
    return ok;
}

bool ZipWriter::AddFile(const Text& name, const ByteBuffer& data, bool store) {
    const ByteBuffer rawName = NameForArchive(name);
    return AddData(rawName, HasNonAscii(rawName) ? kFlagUtf8 : 0, data, store);
}

bool ZipWriter::AddFolder(const Text& name) {
    const ByteBuffer rawName = NameForArchive(name);
    return Add(rawName, HasNonAscii(rawName) ? kFlagUtf8 : 0, "", kZipStored, 0, 0, kDosDirectory);
}

bool ZipWriter::AddCopy(const ZipEntry& from, const ByteBuffer& data, bool store) {
    const uint16_t flags = from.flags & kFlagUtf8;
    if (from.isFolder) return Add(from.rawName, flags, "", kZipStored, 0, 0, kDosDirectory);
    return AddData(from.rawName, flags, data, store);
}

bool ZipWriter::AddData(const ByteBuffer& rawName, uint16_t flags, const ByteBuffer& data, bool store) {
    if (data.size() > 0xFFFFFFFFu) return false;
    ByteBuffer packed;
    if (!store && !Deflate(data, packed)) return false;
    return Add(rawName, flags, store ? data : packed, store ? kZipStored : kZipDeflated, Crc(data),
               uint32_t(data.size()), 0);
}

bool ZipWriter::Add(const ByteBuffer& rawName, uint16_t flags, const ByteBuffer& stored, uint16_t method,
                    uint32_t crc, uint32_t size, uint32_t externalAttributes) {
    const uint16_t needed = method == kZipDeflated || externalAttributes == kDosDirectory ? 20 : 10;
    const uint64_t offset = body_.size();
    // Everything must stay addressable by the 32-bit fields of the format.
    if (rawName.size() > 0xFFFF || count_ + 1 >= kZipMaxEntries ||
        offset + kLocalSize + rawName.size() + stored.size() + directory_.size() + kCentralSize +
                rawName.size() + kEndSize > 0xFFFFFFFFu)
        return false;

    // Fields shared by the local header (from "version needed") and the central record.
    ByteBuffer common;
    Put16(common, needed);
    Put16(common, flags);
    Put16(common, method);
    Put16(common, 0);  // time 00:00:00
    Put16(common, kDosDate1980);
    Put32(common, crc);
    Put32(common, uint32_t(stored.size()));
    Put32(common, size);
    Put16(common, uint32_t(rawName.size()));
    Put16(common, 0);  // no extra field

    Put32(body_, kLocalSignature);
    body_ += common;
    body_ += rawName;
    body_ += stored;

    Put32(directory_, kCentralSignature);
    Put16(directory_, kMadeByNtfs20);
    directory_ += common;
    Put16(directory_, 0);  // no comment
    Put16(directory_, 0);  // disk 0
    Put16(directory_, 0);  // internal attributes
    Put32(directory_, externalAttributes);
    Put32(directory_, uint32_t(offset));
    directory_ += rawName;
    ++count_;
    return true;
}

ByteBuffer ZipWriter::Finish() const {
    ByteBuffer out = body_ + directory_;
    Put32(out, kEndSignature);
    Put16(out, 0);  // this disk
    Put16(out, 0);  // disk of the central directory
    Put16(out, uint32_t(count_));
    Put16(out, uint32_t(count_));
    Put32(out, uint32_t(directory_.size()));
    Put32(out, uint32_t(body_.size()));
    Put16(out, 0);  // no comment
    return out;
}
