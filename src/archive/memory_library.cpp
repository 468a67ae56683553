#include "archive/memory_library.h"

#include <algorithm>
#include <cstring>


namespace {

constexpr uint16_t kDosSignature = 0x5A4D;      // "MZ"
constexpr uint32_t kNtSignature = 0x4550;       // "PE\0\0"
constexpr uint16_t kImageDll = 0x2000;
constexpr uint16_t kExecutableImage = 0x0002;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kImportDescriptorSize = 20;
constexpr uint32_t kExportDirectorySize = 40;
constexpr size_t kMaxNameLength = 4096;

// What differs between the two formats.
struct FormatTraits {
    uint16_t machine;
    uint16_t magic;
    uint16_t optionalHeaderSize;  // with its 16 data directories
    uint32_t imageBaseOffset;     // within the optional header
    uint32_t imageBaseSize;
    uint32_t rvaCountOffset;
    uint32_t thunkSize;
    uint64_t ordinalFlag;
};

constexpr FormatTraits kTraits[] = {
    {0x014C, 0x010B, 224, 28, 4, 92, 4, 0x80000000ull},          // PE32
    {0x8664, 0x020B, 240, 24, 8, 108, 8, 0x8000000000000000ull},  // PE32+
};

const FormatTraits& Traits(ImageFormat f) { return kTraits[f == ImageFormat::Pe32 ? 0 : 1]; }

uint16_t Get16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Get32(const unsigned char* p) { return uint32_t(Get16(p)) | uint32_t(Get16(p + 2)) << 16; }
uint64_t Get64(const unsigned char* p) { return uint64_t(Get32(p)) | uint64_t(Get32(p + 4)) << 32; }

void Put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void Put64(unsigned char* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}

// Relocation types.
constexpr int kRelocAbsolute = 0;
constexpr int kRelocHighLow = 3;
constexpr int kRelocDir64 = 10;

}  // namespace

MemoryLibrary::MemoryLibrary(ImageFormat format) : format_(format) { Reset(); }

MemoryLibrary::~MemoryLibrary() { Free(); }

void MemoryLibrary::Reset() {
    loaded_ = false;
    imageBase_ = 0;
    entryPoint_ = 0;
    importedModules_.clear();
}

uint64_t MemoryLibrary::AlignUp(uint64_t value, uint64_t alignment) {
    if (alignment == 0) return value;
    return (value + alignment - 1) / alignment * alignment;
}

bool MemoryLibrary::ParseHeaders(const unsigned char* data, size_t length) {
    const FormatTraits& t = Traits(format_);
    if (!data || length < 64) return false;
    dosHeader_.e_magic = Get16(data);
    dosHeader_.e_lfanew = Get32(data + 60);
    if (dosHeader_.e_magic != kDosSignature) return false;

    const uint64_t nt = dosHeader_.e_lfanew;
    const uint64_t ntSize = 24 + uint64_t(t.optionalHeaderSize);
    if (nt + ntSize > length) return false;
    const unsigned char* p = data + nt;
    const unsigned char* opt = p + 24;
    NtHeaders h;
    h.Signature = Get32(p);
    h.Machine = Get16(p + 4);
    h.NumberOfSections = Get16(p + 6);
    h.SizeOfOptionalHeader = Get16(p + 20);
    h.Characteristics = Get16(p + 22);
    h.Magic = Get16(opt);
    h.AddressOfEntryPoint = Get32(opt + 16);
    h.ImageBase = t.imageBaseSize == 4 ? Get32(opt + t.imageBaseOffset) : Get64(opt + t.imageBaseOffset);
    h.SectionAlignment = Get32(opt + 32);
    h.SizeOfHeaders = Get32(opt + 60);
    h.NumberOfRvaAndSizes = Get32(opt + t.rvaCountOffset);
    for (uint32_t i = 0; i < 16; ++i) {
        // Directories past the declared count do not exist.
        if (i >= h.NumberOfRvaAndSizes) break;
        h.DataDirectories[i].VirtualAddress = Get32(opt + t.rvaCountOffset + 4 + 8 * i);
        h.DataDirectories[i].Size = Get32(opt + t.rvaCountOffset + 8 + 8 * i);
    }
    if (h.Signature != kNtSignature) return false;
    if ((h.Characteristics & (kImageDll | kExecutableImage)) != (kImageDll | kExecutableImage)) return false;
    if (h.SizeOfOptionalHeader != t.optionalHeaderSize) return false;
    // Code of another machine, or a layout this loader does not read, cannot be run.
    if (h.Machine != t.machine || h.Magic != t.magic) return false;
    if (h.SectionAlignment == 0) return false;

    const uint64_t table = nt + ntSize;
    const uint64_t tableEnd = table + uint64_t(h.NumberOfSections) * kSectionHeaderSize;
    if (tableEnd > length) return false;
    // The header area holds the section table and lies inside the buffer, so the mapped
    // headers are exactly the ones checked here.
    if (h.SizeOfHeaders < tableEnd || h.SizeOfHeaders > length) return false;
    std::vector<SectionHeader> sections(h.NumberOfSections);
    for (uint32_t i = 0; i < h.NumberOfSections; ++i) {
        const unsigned char* s = data + table + i * kSectionHeaderSize;
        SectionHeader& sh = sections[i];
        sh.VirtualSize = Get32(s + 8);
        sh.VirtualAddress = Get32(s + 12);
        sh.SizeOfRawData = Get32(s + 16);
        sh.PointerToRawData = Get32(s + 20);
        if (uint64_t(sh.PointerToRawData) + sh.SizeOfRawData > length) return false;
        // A section with data never overwrites the headers.
        if (sh.VirtualAddress != 0 && sh.SizeOfRawData != 0 && sh.VirtualAddress < h.SizeOfHeaders) return false;
    }
    ntHeaders_ = h;
    sections_ = std::move(sections);
    return true;
}

uint64_t MemoryLibrary::ComputeImageSize() const {
    const uint64_t alignment = ntHeaders_.SectionAlignment;
    uint64_t size = AlignUp(ntHeaders_.SizeOfHeaders, alignment);
    for (const SectionHeader& s : sections_) {
        const uint64_t extent = std::max(s.VirtualSize, s.SizeOfRawData);
        size = std::max(size, AlignUp(uint64_t(s.VirtualAddress) + extent, alignment));
    }
    return size > kMaxImageSize ? 0 : size;
}

void MemoryLibrary::MapImage(uintptr_t base, const unsigned char* data, size_t length) {
    unsigned char* image = reinterpret_cast<unsigned char*>(base);
    // ParseHeaders checked every range below against the buffer, ComputeImageSize the image.
    std::memcpy(image, data, ntHeaders_.SizeOfHeaders);
    for (const SectionHeader& s : sections_) {
        if (s.VirtualAddress == 0 || s.SizeOfRawData == 0) continue;
        std::memcpy(image + s.VirtualAddress, data + s.PointerToRawData, s.SizeOfRawData);
    }
    // The object's records now describe the mapped image (the same bytes).
    ParseHeaders(image, ntHeaders_.SizeOfHeaders);
}

bool MemoryLibrary::Read32(uint64_t rva, uint32_t& out) const {
    if (!InImage(rva, 4)) return false;
    out = Get32(mapped_ + rva);
    return true;
}

bool MemoryLibrary::Read64(uint64_t rva, uint64_t& out) const {
    if (!InImage(rva, 8)) return false;
    out = Get64(mapped_ + rva);
    return true;
}

bool MemoryLibrary::ReadName(uint64_t rva, Text& out) const {
    if (!InImage(rva, 1)) return false;
    const uint64_t room = std::min<uint64_t>(mappedSize_ - rva, kMaxNameLength);
    const void* end = std::memchr(mapped_ + rva, 0, room);
    if (!end) return false;
    out.assign(reinterpret_cast<const char*>(mapped_ + rva), static_cast<const unsigned char*>(end) - (mapped_ + rva));
    return true;
}

DataDirectory MemoryLibrary::Directory(int index) const { return ntHeaders_.DataDirectories[index]; }

bool MemoryLibrary::ApplyRelocations(uintptr_t newBase) {
    const uint64_t delta = uint64_t(newBase) - ntHeaders_.ImageBase;
    const DataDirectory dir = Directory(kRelocationDirectory);
    const uint64_t end = uint64_t(dir.VirtualAddress) + dir.Size;
    if (!InImage(dir.VirtualAddress, dir.Size)) return false;
    uint64_t at = dir.VirtualAddress;
    while (at + 8 <= end) {
        uint32_t page = 0, size = 0;
        Read32(at, page);
        Read32(at + 4, size);
        if (page == 0 || size == 0) break;
        if (size < 8 || size > end - at) return false;
        const uint32_t count = (size - 8) / 2;
        for (uint32_t i = 0; i < count; ++i) {
            const uint16_t entry = Get16(mapped_ + at + 8 + 2 * i);
            const int type = entry >> 12;
            const uint64_t target = uint64_t(page) + (entry & 0x0FFF);
            if (type == kRelocHighLow) {
                if (!InImage(target, 4)) return false;
                Put32(mapped_ + target, uint32_t(Get32(mapped_ + target) + delta));
            } else if (type == kRelocDir64) {
                if (!InImage(target, 8)) return false;
                Put64(mapped_ + target, Get64(mapped_ + target) + delta);
            } else if (type != kRelocAbsolute) {
                // other types do not occur in images for these machines; left alone
            }
        }
        at += size;
    }
    return true;
}

bool MemoryLibrary::ResolveImports(uintptr_t base) {
    const FormatTraits& t = Traits(format_);
    const DataDirectory dir = Directory(kImportDirectory);
    if (dir.VirtualAddress == 0 || dir.Size == 0) return true;
    for (uint64_t at = dir.VirtualAddress;; at += kImportDescriptorSize) {
        if (!InImage(at, kImportDescriptorSize)) return false;
        uint32_t lookup = 0, nameRva = 0, firstThunk = 0;
        Read32(at, lookup);
        Read32(at + 12, nameRva);
        Read32(at + 16, firstThunk);
        if (nameRva == 0) return true;
        Text library;
        if (!ReadName(nameRva, library)) return false;
        platform::ModuleHandle module = platform::FindLoadedModule(library);
        if (!module) {
            module = platform::LoadModule(library);
            if (!module) return false;
            importedModules_.push_back(module);
        }
        // Names come from the lookup table when there is one (the address table may have
        // been bound); addresses go into the address table.
        if (lookup == 0) lookup = firstThunk;
        for (uint64_t i = 0;; ++i) {
            const uint64_t from = lookup + i * t.thunkSize, to = firstThunk + i * t.thunkSize;
            uint64_t entry = 0;
            if (t.thunkSize == 4) {
                uint32_t e32 = 0;
                if (!Read32(from, e32)) return false;
                entry = e32;
            } else if (!Read64(from, entry)) {
                return false;
            }
            if (entry == 0) break;
            if (!InImage(to, t.thunkSize)) return false;
            uintptr_t address = 0;
            if (entry & t.ordinalFlag) {
                address = platform::FindModuleOrdinal(module, uint16_t(entry & 0xFFFF));
            } else {
                Text function;
                if (entry > 0xFFFFFFFFull || !ReadName(entry + 2, function)) return false;
                address = platform::FindModuleFunction(module, function);
            }
            if (address == 0) return false;
            if (t.thunkSize == 4) Put32(mapped_ + to, uint32_t(address));
            else Put64(mapped_ + to, uint64_t(address));
        }
    }
    (void)base;
}

void MemoryLibrary::ReleaseImage() {
    platform::ReleaseImageMemory(mapped_);
    mapped_ = nullptr;
    mappedSize_ = 0;
}

bool MemoryLibrary::LoadFromMemory(const ByteBuffer& buffer) {
    if (loaded_ || buffer.empty()) return false;
    const unsigned char* data = reinterpret_cast<const unsigned char*>(buffer.data());
    if (!ParseHeaders(data, buffer.size())) return false;
    const uint64_t size = ComputeImageSize();
    if (size == 0) return false;
    // An image without an entry point inside it cannot be started.
    if (ntHeaders_.AddressOfEntryPoint == 0 || ntHeaders_.AddressOfEntryPoint >= size) return false;
    mapped_ = static_cast<unsigned char*>(platform::ReserveImageMemory(size_t(size)));
    if (!mapped_) return false;
    mappedSize_ = size;
    const uintptr_t base = reinterpret_cast<uintptr_t>(mapped_);
    MapImage(base, data, buffer.size());

    const DataDirectory relocations = Directory(kRelocationDirectory);
    bool ok = true;
    if (relocations.VirtualAddress != 0 && relocations.Size != 0) ok = ApplyRelocations(base);
    if (ok) ok = ResolveImports(base);
    if (!ok) {
        ReleaseImage();
        FreeImportedLibraries();
        importedModules_.clear();
        return false;
    }
    const FormatTraits& t = Traits(format_);
    unsigned char* imageBaseField = mapped_ + dosHeader_.e_lfanew + 24 + t.imageBaseOffset;
    if (t.imageBaseSize == 4) Put32(imageBaseField, uint32_t(base));
    else Put64(imageBaseField, uint64_t(base));

    entryPoint_ = base + ntHeaders_.AddressOfEntryPoint;
    if (platform::CallImageFunction(entryPoint_, base, 1, 0) == 1) {
        loaded_ = true;
        imageBase_ = base;
        return true;
    }
    platform::CallImageFunction(entryPoint_, base, 0, 0);
    ReleaseImage();
    FreeImportedLibraries();
    Reset();
    return false;
}

uintptr_t MemoryLibrary::GetExport(const Text& name) const {
    if (!loaded_) return 0;
    const DataDirectory dir = Directory(kExportDirectory);
    if (dir.VirtualAddress == 0 || dir.Size == 0) return 0;
    const uint64_t at = dir.VirtualAddress;
    if (!InImage(at, kExportDirectorySize)) return 0;
    const unsigned char* e = mapped_ + at;
    const uint32_t functionCount = Get32(e + 20), nameCount = Get32(e + 24);
    const uint32_t functions = Get32(e + 28), names = Get32(e + 32), ordinals = Get32(e + 36);
    if (functionCount == 0 || nameCount == 0) return 0;
    for (uint32_t i = 0; i < nameCount; ++i) {
        uint32_t nameRva = 0;
        Text candidate;
        if (!Read32(names + uint64_t(i) * 4, nameRva) || !ReadName(nameRva, candidate)) return 0;
        if (candidate != name) continue;
        if (!InImage(ordinals + uint64_t(i) * 2, 2)) return 0;
        const uint16_t index = Get16(mapped_ + ordinals + uint64_t(i) * 2);
        if (index >= functionCount) return 0;
        uint32_t function = 0;
        if (!Read32(functions + uint64_t(index) * 4, function)) return 0;
        // An address inside the export directory names another module's function.
        if (function >= dir.VirtualAddress && function < uint64_t(dir.VirtualAddress) + dir.Size) return 0;
        if (function == 0 || !InImage(function, 1)) return 0;
        return imageBase_ + function;
    }
    return 0;
}

void MemoryLibrary::Free() {
    if (!loaded_) return;
    platform::CallImageFunction(entryPoint_, imageBase_, 0, 0);
    ReleaseImage();
    FreeImportedLibraries();
    Reset();
}

int MemoryLibrary::FreeImportedLibraries() {
    int count = 0;
    for (platform::ModuleHandle m : importedModules_) {
        platform::ReleaseModule(m);
        ++count;
    }
    return count;
}
