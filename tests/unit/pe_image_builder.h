// Small DLL images for the loader tests: headers, one section at 0x1000 and whatever export,
// import and relocation tables a test writes into that section.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "archive/memory_library.h"
#include "base/text.h"

namespace petest {

constexpr uint32_t kSectionRva = 0x1000;
constexpr uint32_t kSectionRaw = 0x200;
constexpr uint32_t kSectionSize = 0x800;
constexpr uint64_t kPreferredBase = 0x10000000;

struct PeImage {
    ImageFormat format = ImageFormat::Pe32;
    uint16_t characteristics = 0x2102;  // DLL, 32-bit machine, executable
    uint16_t optionalHeaderSize = 0;    // 0: the format's own
    uint32_t entryPoint = kSectionRva;
    uint32_t sectionAlignment = 0x1000;
    uint32_t sizeOfHeaders = 0x200;
    DataDirectory directories[16];
    std::vector<uint8_t> section = std::vector<uint8_t>(kSectionSize, 0);

    bool pe32() const { return format == ImageFormat::Pe32; }
    uint32_t ntSize() const { return 24 + (optionalHeaderSize ? optionalHeaderSize : (pe32() ? 224 : 240)); }

    // Writes into the section by image address.
    void Put(uint32_t rva, uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) section.at(rva - kSectionRva + i) = uint8_t(value >> (8 * i));
    }
    void PutText(uint32_t rva, const std::string& text) {
        for (size_t i = 0; i <= text.size(); ++i) section.at(rva - kSectionRva + i) = i < text.size() ? text[i] : 0;
    }

    ByteBuffer Build() const {
        std::vector<uint8_t> b(kSectionRaw + kSectionSize, 0);
        auto put = [&b](size_t at, uint64_t v, int n) {
            for (int i = 0; i < n; ++i) b[at + i] = uint8_t(v >> (8 * i));
        };
        put(0, 0x5A4D, 2);
        put(60, 64, 4);
        const size_t nt = 64, opt = nt + 24;
        put(nt, 0x4550, 4);
        put(nt + 4, pe32() ? 0x014C : 0x8664, 2);
        put(nt + 6, 1, 2);
        put(nt + 20, ntSize() - 24, 2);
        put(nt + 22, characteristics, 2);
        put(opt, pe32() ? 0x10B : 0x20B, 2);
        put(opt + 16, entryPoint, 4);
        if (pe32()) put(opt + 28, kPreferredBase, 4);
        else put(opt + 24, kPreferredBase, 8);
        put(opt + 32, sectionAlignment, 4);
        put(opt + 36, 0x200, 4);
        put(opt + 56, 0x2000, 4);
        put(opt + 60, sizeOfHeaders, 4);
        const size_t count = opt + (pe32() ? 92 : 108);
        put(count, 16, 4);
        for (int i = 0; i < 16; ++i) {
            put(count + 4 + 8 * i, directories[i].VirtualAddress, 4);
            put(count + 8 + 8 * i, directories[i].Size, 4);
        }
        const size_t s = nt + ntSize();
        if (s + 40 <= b.size()) {
            std::memcpy(&b[s], ".text\0\0\0", 8);
            put(s + 8, kSectionSize, 4);   // VirtualSize
            put(s + 12, kSectionRva, 4);  // VirtualAddress
            put(s + 16, kSectionSize, 4);  // SizeOfRawData
            put(s + 20, kSectionRaw, 4);   // PointerToRawData
        }
        std::copy(section.begin(), section.end(), b.begin() + kSectionRaw);
        return ByteBuffer(b.begin(), b.end());
    }
};

// Offsets of fields in a built image, for corrupting it.
constexpr size_t kLfanewOffset = 60;
constexpr size_t kNtOffset = 64;
constexpr size_t kSectionTableOffset32 = 64 + 248;

}  // namespace petest
