// The in-memory library loader: maps a DLL image held in a byte buffer into memory of its own,
// relocates it, links its imports, calls its entry point, and finds its exports by name. Every
// read of the image is bounds-checked against the buffer (while parsing) or the mapped image
// (afterwards): a malformed image fails the load and nothing outside either is read or written.
//
// One loader reads one image format: 32-bit images (PE32, i386, high-low relocations) or
// 64-bit ones (PE32+, x86_64, 64-bit relocations). By default it reads the format of the code
// this program is built as (native builds: the product's 32-bit format).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/text.h"
#include "platform/memory.h"

enum class ImageFormat { Pe32, Pe32Plus };

#if defined(_WIN32) && defined(__x86_64__)
constexpr ImageFormat kOwnImageFormat = ImageFormat::Pe32Plus;
#else
constexpr ImageFormat kOwnImageFormat = ImageFormat::Pe32;
#endif

struct DosHeader {
    uint16_t e_magic = 0;
    uint32_t e_lfanew = 0;
};

struct DataDirectory {
    uint32_t VirtualAddress = 0;
    uint32_t Size = 0;
};

// The fields of the NT headers (signature, file header, optional header) the loader uses.
struct NtHeaders {
    uint32_t Signature = 0;
    uint16_t Machine = 0;
    uint16_t NumberOfSections = 0;
    uint16_t SizeOfOptionalHeader = 0;
    uint16_t Characteristics = 0;
    uint16_t Magic = 0;
    uint32_t AddressOfEntryPoint = 0;
    uint64_t ImageBase = 0;
    uint32_t SectionAlignment = 0;
    uint32_t SizeOfHeaders = 0;
    uint32_t NumberOfRvaAndSizes = 0;
    DataDirectory DataDirectories[16];
};

struct SectionHeader {
    uint32_t VirtualSize = 0;
    uint32_t VirtualAddress = 0;
    uint32_t SizeOfRawData = 0;
    uint32_t PointerToRawData = 0;
};

constexpr int kExportDirectory = 0;
constexpr int kImportDirectory = 1;
constexpr int kRelocationDirectory = 5;

class MemoryLibrary {
public:
    explicit MemoryLibrary(ImageFormat format = kOwnImageFormat);
    ~MemoryLibrary();
    MemoryLibrary(const MemoryLibrary&) = delete;
    MemoryLibrary& operator=(const MemoryLibrary&) = delete;

    // Maps, relocates, links and starts the image; false (with everything released) when the
    // image is refused, memory cannot be had, an import is missing or the entry point does not
    // return 1.
    bool LoadFromMemory(const ByteBuffer& buffer);
    // The address of the export of exactly this name; 0 when not loaded, not found, or forwarded.
    uintptr_t GetExport(const Text& name) const;
    // Adjusts the absolute addresses for the image's actual base; false for a malformed
    // relocation table.
    bool ApplyRelocations(uintptr_t newBase);
    bool ResolveImports(uintptr_t base);
    // Reads and checks the headers of an image of `length` bytes at `data`.
    bool ParseHeaders(const unsigned char* data, size_t length);
    static uint64_t AlignUp(uint64_t value, uint64_t alignment);
    // Memory the mapped image needs; 0 when it would be absurdly large.
    uint64_t ComputeImageSize() const;
    void MapImage(uintptr_t base, const unsigned char* data, size_t length);
    void Free();
    int FreeImportedLibraries();
    void Reset();

    bool loaded() const { return loaded_; }
    uintptr_t imageBase() const { return imageBase_; }
    uintptr_t entryPoint() const { return entryPoint_; }
    const DosHeader& dosHeader() const { return dosHeader_; }
    const NtHeaders& ntHeaders() const { return ntHeaders_; }
    const std::vector<SectionHeader>& sections() const { return sections_; }
    const std::vector<platform::ModuleHandle>& importedModules() const { return importedModules_; }

    // The largest image the loader maps.
    static constexpr uint64_t kMaxImageSize = 64u << 20;

private:
    bool InImage(uint64_t rva, uint64_t length) const { return rva <= mappedSize_ && length <= mappedSize_ - rva; }
    bool Read32(uint64_t rva, uint32_t& out) const;
    bool Read64(uint64_t rva, uint64_t& out) const;
    bool ReadName(uint64_t rva, Text& out) const;
    DataDirectory Directory(int index) const;
    void ReleaseImage();

    ImageFormat format_;
    bool loaded_ = false;
    uintptr_t imageBase_ = 0;
    uintptr_t entryPoint_ = 0;
    DosHeader dosHeader_;
    NtHeaders ntHeaders_;
    std::vector<SectionHeader> sections_;
    std::vector<platform::ModuleHandle> importedModules_;
    unsigned char* mapped_ = nullptr;  // the image memory while a load is under way or done
    uint64_t mappedSize_ = 0;
};
