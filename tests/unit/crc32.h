// CRC-32 (the polynomial of zlib, ZIP and RAR), bitwise: the test fixtures that need it are tiny.
// Kept apart from the program's own zlib so that the fixtures check the program independently.
#pragma once

#include <cstdint>
#include <string>

namespace testcrc {

inline uint32_t Crc32(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

}  // namespace testcrc
