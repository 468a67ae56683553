// The in-memory library loader on the input as a DLL image, in both image formats: ParseHeaders
// alone, then the whole mapping path (headers, sections, relocations, imports, entry point,
// exports) with the native module stand-ins and a call hook in place of the image's code, so
// nothing of the image runs. For any input: a parsed image needs at most the loader's largest
// size; every call into the image and every export found lies inside the mapped image; no image
// memory stays reserved and every module loaded for an import is released again.
#include <cstddef>
#include <cstdint>

#include "archive/memory_library.h"
#include "fuzz_support.h"
#include "platform/native/memory_test_api.h"

namespace {

uintptr_t mappedBase = 0;
uint64_t mappedSize = 0;
int32_t entryResult = 1;

// Modules an image may import from: one the process already holds, two that load on demand, and
// the 7z library's usual imports by name and by ordinal.
bool DeclareModules() {
    const char* const kernelFunctions[] = {
        "GetTickCount", "LoadLibraryA", "GetProcAddress", "VirtualAlloc", "VirtualFree",
        "ExitProcess", "CreateFileW", "ReadFile", "WriteFile", "CloseHandle", "HeapAlloc",
        "HeapFree", "GetProcessHeap", "GetLastError", "MultiByteToWideChar", "WideCharToMultiByte"};
    memory_test::FakeModule& kernel = memory_test::DeclareModule("KERNEL32.dll");
    kernel.alreadyLoaded = true;
    uintptr_t address = 0x7000;
    for (const char* name : kernelFunctions) kernel.functions[name] = address += 0x10;
    for (const char* module : {"msvcrt.dll", "USER32.dll"}) {
        memory_test::FakeModule& m = memory_test::DeclareModule(module);
        for (const char* name : {"malloc", "free", "memcpy", "strlen", "MessageBoxA"}) m.functions[name] = address += 0x10;
        for (uint16_t ordinal = 1; ordinal <= 8; ++ordinal) m.ordinals[ordinal] = address += 0x10;
    }
    memory_test::DeclareModule("missing.dll").loadable = false;
    return true;
}

void Balanced() {
    for (const char* module : {"msvcrt.dll", "USER32.dll"}) {
        const memory_test::FakeModule* m = memory_test::Module(module);
        FUZZ_CHECK(m && m->loads == m->frees);
    }
    FUZZ_CHECK(memory_test::ReservedBlocks() == 0);
}

void LoadAs(ImageFormat format, const ByteBuffer& image) {
    {
        MemoryLibrary headers(format);
        if (!headers.ParseHeaders(reinterpret_cast<const unsigned char*>(image.data()), image.size())) return;
        mappedSize = headers.ComputeImageSize();
        FUZZ_CHECK(mappedSize <= MemoryLibrary::kMaxImageSize);
    }
    {
        MemoryLibrary library(format);
        // The base is known only once the image is mapped: the hook learns it from the first
        // call's argument, which must then match imageBase().
        mappedBase = 0;
        memory_test::SetCallHook([](uintptr_t function, uintptr_t a, uintptr_t, uintptr_t) {
            if (mappedBase == 0) mappedBase = a;
            FUZZ_CHECK(a == mappedBase);
            FUZZ_CHECK(function >= mappedBase && function - mappedBase < mappedSize);
            return entryResult;
        });
        if (library.LoadFromMemory(image)) {
            FUZZ_CHECK(library.loaded() && library.imageBase() == mappedBase);
            for (const char* name : {"List7z", "unpack7z", "DllMain", ""}) {
                const uintptr_t address = library.GetExport(name);
                FUZZ_CHECK(address == 0 || (address >= mappedBase && address - mappedBase < mappedSize));
            }
        } else {
            FUZZ_CHECK(!library.loaded());
        }
    }
    Balanced();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool declared = DeclareModules();
    (void)declared;
    const ByteBuffer image(reinterpret_cast<const char*>(data), size);
    // The last byte chooses whether the entry point accepts the start (the refusal path frees
    // everything again).
    entryResult = size > 0 && (data[size - 1] & 0x80) ? 0 : 1;
    LoadAs(ImageFormat::Pe32, image);
    LoadAs(ImageFormat::Pe32Plus, image);
    return 0;
}
