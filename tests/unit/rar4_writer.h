// A small writer of stored (uncompressed) RAR 4 archives for the tests, after the published
// RAR 2.x-4.x block layout: the marker block, the archive header, one file header plus data per
// entry, and the end-of-archive block. Each header starts with the low 16 bits of the CRC-32 of
// its bytes from the type on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crc32.h"

namespace rartest {

struct RarEntry {
    std::string name;  // folders separated by backslashes, as RAR stores them
    std::string data;
    bool directory = false;
};

using testcrc::Crc32;

inline void Put(std::string& s, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s += char(v >> (8 * i));
}

// type, flags and the rest of a header (after HEAD_SIZE): the whole block with its CRC.
inline std::string Block(uint8_t type, uint16_t flags, const std::string& rest) {
    std::string body;
    Put(body, type, 1);
    Put(body, flags, 2);
    Put(body, 7 + rest.size(), 2);
    body += rest;
    const uint32_t crc = Crc32(body);
    std::string block;
    Put(block, crc & 0xFFFF, 2);
    return block + body;
}

inline std::string StoredRar4(const std::vector<RarEntry>& entries) {
    std::string out("Rar!\x1A\x07\x00", 7);
    out += Block(0x73, 0, std::string(6, '\0'));  // archive header: two reserved fields
    for (const RarEntry& e : entries) {
        const uint16_t flags = 0x8000 | (e.directory ? 0x00E0 : 0);  // data follows; folder
        const uint32_t crc = Crc32(e.data);
        std::string rest;
        Put(rest, e.data.size(), 4);   // PACK_SIZE
        Put(rest, e.data.size(), 4);   // UNP_SIZE
        Put(rest, 2, 1);               // HOST_OS: Windows
        Put(rest, crc, 4);             // FILE_CRC
        Put(rest, 0x5A210000, 4);      // FTIME (DOS date and time)
        Put(rest, 20, 1);              // UNP_VER 2.0
        Put(rest, 0x30, 1);            // METHOD: store
        Put(rest, e.name.size(), 2);   // NAME_SIZE
        Put(rest, e.directory ? 0x10 : 0x20, 4);  // ATTR
        rest += e.name;
        out += Block(0x74, flags, rest) + e.data;
    }
    out += Block(0x7B, 0x4000, "");
    return out;
}

}  // namespace rartest
