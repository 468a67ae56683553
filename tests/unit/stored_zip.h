// A ZIP archive of stored entries built byte by byte, as another tool would have written the
// browser's package, without the program's own ZIP writer: names are taken as raw bytes (a GBK
// name stays GBK) and marked UTF-8 (flag bit 11) only when asked; a name ending in "/" is a
// folder. Shared by the native and the Wine tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crc32.h"

namespace testzip {

struct StoredEntry {
    std::string name;  // raw bytes
    std::string data;
    bool utf8Flag = false;
};

using testcrc::Crc32;

inline void Put16(std::string& out, uint32_t v) { out += char(v & 0xFF), out += char((v >> 8) & 0xFF); }
inline void Put32(std::string& out, uint32_t v) { Put16(out, v & 0xFFFF), Put16(out, v >> 16); }

inline std::string StoredZip(const std::vector<StoredEntry>& entries) {
    std::string out, central;
    for (const StoredEntry& e : entries) {
        const uint32_t offset = uint32_t(out.size()), crc = Crc32(e.data), size = uint32_t(e.data.size());
        const uint32_t flags = e.utf8Flag ? 0x800 : 0;
        Put32(out, 0x04034b50), Put16(out, 10), Put16(out, flags), Put16(out, 0), Put16(out, 0), Put16(out, 0x21);
        Put32(out, crc), Put32(out, size), Put32(out, size), Put16(out, uint32_t(e.name.size())), Put16(out, 0);
        out += e.name + e.data;
        Put32(central, 0x02014b50), Put16(central, 20), Put16(central, 10), Put16(central, flags), Put16(central, 0);
        Put16(central, 0), Put16(central, 0x21), Put32(central, crc), Put32(central, size), Put32(central, size);
        Put16(central, uint32_t(e.name.size())), Put16(central, 0), Put16(central, 0), Put16(central, 0), Put16(central, 0);
        Put32(central, !e.name.empty() && e.name.back() == '/' ? 0x10 : 0), Put32(central, offset);
        central += e.name;
    }
    const uint32_t centralOffset = uint32_t(out.size());
    out += central;
    Put32(out, 0x06054b50), Put16(out, 0), Put16(out, 0), Put16(out, uint32_t(entries.size()));
    Put16(out, uint32_t(entries.size())), Put32(out, uint32_t(central.size())), Put32(out, centralOffset), Put16(out, 0);
    return out;
}

}  // namespace testzip
