// The in-memory library loader on crafted and corrupted images, natively: the module stand-ins
// and the call hook of platform/native/memory_test_api.h take the place of Windows.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "archive/memory_library.h"
#include "pe_image_builder.h"
#include "platform/native/memory_test_api.h"

using namespace petest;

namespace {

struct Call {
    uintptr_t function, a, b, c;
};

// Records every call into an image; entry points answer `entryResult`.
class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        memory_test::ClearModules();
        memory_test::FakeModule& k = memory_test::DeclareModule("KERNEL32.dll");
        k.alreadyLoaded = true;
        k.functions["GetTickCount"] = 0x7000;
        memory_test::FakeModule& e = memory_test::DeclareModule("extra.dll");
        e.ordinals[5] = 0x7100;
        e.functions["Helper"] = 0x7200;
        memory_test::SetCallHook([this](uintptr_t f, uintptr_t a, uintptr_t b, uintptr_t c) {
            calls.push_back({f, a, b, c});
            return entryResult;
        });
        reservedBefore = memory_test::ReservedBlocks();
    }
    void TearDown() override {
        memory_test::SetCallHook(nullptr);
        memory_test::ClearModules();
        EXPECT_EQ(memory_test::ReservedBlocks(), reservedBefore) << "image memory not released";
    }

    // One way to spoil the full image.
    struct Spoil {
        const char* what;
        std::function<void(PeImage&)> spoil;
    };
    // Loads the full image spoiled by `s` in a fresh set-up: the load fails, nothing was called,
    // no image memory is left. The refused loader is handed to `more` for further checks.
    void ExpectRefused(const Spoil& s, const std::function<void(const MemoryLibrary&)>& more = nullptr);

    std::vector<Call> calls;
    int32_t entryResult = 1;
    int reservedBefore = 0;
};

PeImage FullImage(ImageFormat format);

void LoaderTest::ExpectRefused(const Spoil& s, const std::function<void(const MemoryLibrary&)>& more) {
    SetUp();
    PeImage img = FullImage(ImageFormat::Pe32);
    s.spoil(img);
    MemoryLibrary lib;
    EXPECT_FALSE(lib.LoadFromMemory(img.Build())) << s.what;
    EXPECT_TRUE(calls.empty()) << s.what;
    if (more) more(lib);
    EXPECT_EQ(memory_test::ReservedBlocks(), reservedBefore) << s.what;
}

// An image with two exports, a forwarder, a bad ordinal, imports from a loaded and a new
// library, and one high-low relocation.
PeImage FullImage(ImageFormat format = ImageFormat::Pe32) {
    PeImage img;
    img.format = format;
    if (format == ImageFormat::Pe32Plus) img.characteristics = 0x2022;
    // Exports.
    img.directories[kExportDirectory] = {0x1100, 0x100};
    img.Put(0x1100 + 20, 3, 4);       // NumberOfFunctions
    img.Put(0x1100 + 24, 4, 4);       // NumberOfNames
    img.Put(0x1100 + 28, 0x1140, 4);  // functions
    img.Put(0x1100 + 32, 0x1160, 4);  // names
    img.Put(0x1100 + 36, 0x1180, 4);  // name ordinals
    img.Put(0x1140, 0x1010, 4);
    img.Put(0x1144, 0x1020, 4);
    img.Put(0x1148, 0x11F0, 4);  // inside the export directory: a forwarder
    const char* names[] = {"List7z", "unpack7z", "Forwarded", "BadIndex"};
    const uint16_t ordinals[] = {0, 1, 2, 7};
    for (int i = 0; i < 4; ++i) {
        img.Put(0x1160 + 4 * i, 0x11A0 + 0x10 * i, 4);
        img.PutText(0x11A0 + 0x10 * i, names[i]);
        img.Put(0x1180 + 2 * i, ordinals[i], 2);
    }
    img.PutText(0x11F0, "other.Func");
    // Imports.
    const int thunk = format == ImageFormat::Pe32 ? 4 : 8;
    img.directories[kImportDirectory] = {0x1300, 60};
    img.Put(0x1300 + 12, 0x1400, 4);
    img.Put(0x1300 + 16, 0x1440, 4);
    img.Put(0x1314 + 12, 0x1410, 4);
    img.Put(0x1314 + 16, 0x1460, 4);
    img.PutText(0x1400, "KERNEL32.dll");
    img.PutText(0x1410, "extra.dll");
    img.Put(0x1440, 0x1480, thunk);
    img.Put(0x1460, (format == ImageFormat::Pe32 ? 0x80000000ull : 0x8000000000000000ull) | 5, thunk);
    img.Put(0x1460 + thunk, 0x1490, thunk);
    img.PutText(0x1482, "GetTickCount");
    img.PutText(0x1492, "Helper");
    // One relocation of the format's own kind.
    img.directories[kRelocationDirectory] = {0x1600, 12};
    img.Put(0x1600, 0x1000, 4);
    img.Put(0x1604, 12, 4);
    img.Put(0x1608, (format == ImageFormat::Pe32 ? 3u : 10u) << 12 | 0x500, 2);
    img.Put(0x1500, kPreferredBase + 0x1234, thunk);
    return img;
}

uint64_t ReadImage(const MemoryLibrary& lib, uint32_t rva, int bytes) {
    uint64_t v = 0;
    std::memcpy(&v, reinterpret_cast<const void*>(lib.imageBase() + rva), bytes);
    return v;
}

TEST_F(LoaderTest, LoadsMapsRelocatesLinksAndStartsAnImage) {
    MemoryLibrary lib;
    ASSERT_TRUE(lib.LoadFromMemory(FullImage().Build()));
    ASSERT_TRUE(lib.loaded());
    const uintptr_t base = lib.imageBase();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].function, base + 0x1000);
    EXPECT_EQ(calls[0].a, base);
    EXPECT_EQ(calls[0].b, 1u);
    EXPECT_EQ(calls[0].c, 0u);
    // Relocated (32-bit value: the low half of the actual base), linked, base written back.
    EXPECT_EQ(ReadImage(lib, 0x1500, 4), uint32_t(base + 0x1234));
    EXPECT_EQ(ReadImage(lib, 0x1440, 4), 0x7000u);
    EXPECT_EQ(ReadImage(lib, 0x1460, 4), 0x7100u);
    EXPECT_EQ(ReadImage(lib, 0x1464, 4), 0x7200u);
    EXPECT_EQ(ReadImage(lib, 64 + 52, 4), uint32_t(base));
    // Only the library it loaded itself is kept (and later released).
    ASSERT_EQ(lib.importedModules().size(), 1u);
    EXPECT_EQ(memory_test::Module("extra.dll")->loads, 1);
    EXPECT_EQ(memory_test::Module("KERNEL32.dll")->loads, 0);

    lib.Free();
    EXPECT_FALSE(lib.loaded());
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].a, base);
    EXPECT_EQ(calls[1].b, 0u);
    EXPECT_EQ(memory_test::Module("extra.dll")->frees, 1);
    EXPECT_EQ(memory_test::Module("KERNEL32.dll")->frees, 0);
    lib.Free();  // nothing more happens
    EXPECT_EQ(calls.size(), 2u);
}

TEST_F(LoaderTest, SixtyFourBitImagesWithTheirOwnRelocations) {
    MemoryLibrary lib(ImageFormat::Pe32Plus);
    ASSERT_TRUE(lib.LoadFromMemory(FullImage(ImageFormat::Pe32Plus).Build()));
    const uintptr_t base = lib.imageBase();
    EXPECT_EQ(ReadImage(lib, 0x1500, 8), uint64_t(base) + 0x1234);
    EXPECT_EQ(ReadImage(lib, 0x1440, 8), 0x7000u);
    EXPECT_EQ(ReadImage(lib, 0x1460, 8), 0x7100u);
    EXPECT_EQ(ReadImage(lib, 0x1468, 8), 0x7200u);
    EXPECT_EQ(ReadImage(lib, 64 + 48, 8), uint64_t(base));
    EXPECT_EQ(lib.GetExport("unpack7z"), base + 0x1020);
}

TEST_F(LoaderTest, ExportsByExactNameOnly) {
    MemoryLibrary lib;
    EXPECT_EQ(lib.GetExport("List7z"), 0u);  // not loaded
    ASSERT_TRUE(lib.LoadFromMemory(FullImage().Build()));
    const uintptr_t base = lib.imageBase();
    struct Row {
        const char* name;
        uintptr_t expected;
    } rows[] = {
        {"List7z", base + 0x1010}, {"unpack7z", base + 0x1020}, {"list7z", 0}, {"UNPACK7Z", 0},
        {"unpack7", 0}, {"Forwarded", 0}, {"BadIndex", 0}, {"", 0},
    };
    for (const Row& r : rows) EXPECT_EQ(lib.GetExport(r.name), r.expected) << r.name;
}

TEST_F(LoaderTest, ImageWithoutRelocationsOrImportsIsMappedAsItIs) {
    PeImage img;
    img.Put(0x1500, kPreferredBase + 0x1234, 4);
    MemoryLibrary lib;
    ASSERT_TRUE(lib.LoadFromMemory(img.Build()));
    EXPECT_EQ(ReadImage(lib, 0x1500, 4), kPreferredBase + 0x1234);
    EXPECT_TRUE(lib.importedModules().empty());
    EXPECT_EQ(lib.GetExport("List7z"), 0u);  // no export directory
}

TEST_F(LoaderTest, EntryPointThatDoesNotAnswerOneFailsTheLoad) {
    entryResult = 0;
    MemoryLibrary lib;
    EXPECT_FALSE(lib.LoadFromMemory(FullImage().Build()));
    EXPECT_FALSE(lib.loaded());
    EXPECT_EQ(lib.imageBase(), 0u);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].b, 1u);
    EXPECT_EQ(calls[1].b, 0u);
    EXPECT_EQ(memory_test::Module("extra.dll")->frees, 1);
    EXPECT_TRUE(lib.importedModules().empty());
}

// Refused while linking: everything acquired is released and the entry point never runs.
TEST_F(LoaderTest, ImportFailuresReleaseEverything) {
    const Spoil cases[] = {
        {"missing library", [](PeImage& i) { memory_test::Module("extra.dll")->loadable = false; (void)i; }},
        {"missing function", [](PeImage& i) { i.PutText(0x1492, "Absent"); }},
        {"missing ordinal", [](PeImage& i) { i.Put(0x1460, 0x80000009, 4); }},
        {"library name outside the image", [](PeImage& i) { i.Put(0x1314 + 12, 0x7FFFFFF0, 4); }},
        {"function name outside the image", [](PeImage& i) { i.Put(0x1464, 0x7FFFFFF0, 4); }},
        {"name without its end", [](PeImage& i) {
             for (uint32_t r = 0x1410; r < kSectionRva + kSectionSize; ++r) i.Put(r, 'x', 1);
         }},
        {"descriptors running off the image", [](PeImage& i) {
             for (uint32_t r = 0x1328; r + 20 <= kSectionRva + kSectionSize; r += 20) {
                 i.Put(r + 12, 0x1400, 4);
                 i.Put(r + 16, 0x1440, 4);
             }
         }},
        {"import directory outside the image", [](PeImage& i) { i.directories[kImportDirectory] = {0x9000, 20}; }},
    };
    for (const Spoil& c : cases) {
        ExpectRefused(c, [&c](const MemoryLibrary& lib) {
            EXPECT_TRUE(lib.importedModules().empty()) << c.what;
            const memory_test::FakeModule* extra = memory_test::Module("extra.dll");
            EXPECT_EQ(extra->loads, extra->frees) << c.what;
        });
    }
}

TEST_F(LoaderTest, MalformedRelocationsFailTheLoad) {
    const Spoil cases[] = {
        {"block larger than the directory", [](PeImage& i) { i.Put(0x1604, 0x400, 4); }},
        {"block smaller than its header", [](PeImage& i) { i.Put(0x1604, 4, 4); }},
        {"target outside the image", [](PeImage& i) { i.Put(0x1600, 0x7FFF0000, 4); }},
        {"target on the image's last bytes", [](PeImage& i) { i.Put(0x1608, 3u << 12 | 0xFFE, 2); }},
        {"directory outside the image", [](PeImage& i) { i.directories[kRelocationDirectory] = {0x1600, 0x10000}; }},
    };
    for (const Spoil& c : cases) ExpectRefused(c);
}

void Put(ByteBuffer& b, size_t at, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + i] = char(v >> (8 * i));
}

// Every refusal of the headers, each before any memory is reserved.
TEST_F(LoaderTest, HeaderRefusals) {
    const size_t opt = kNtOffset + 24, table = kSectionTableOffset32;
    struct Case {
        const char* what;
        std::function<void(ByteBuffer&)> spoil;
    } cases[] = {
        {"empty buffer", [](ByteBuffer& b) { b.clear(); }},
        {"63 bytes", [](ByteBuffer& b) { b.resize(63); }},
        {"no MZ", [](ByteBuffer& b) { b[0] = 'X'; }},
        {"e_lfanew less than 248 bytes before the end", [](ByteBuffer& b) { Put(b, kLfanewOffset, b.size() - 247, 4); }},
        {"e_lfanew far outside", [](ByteBuffer& b) { Put(b, kLfanewOffset, 0xFFFFFFF0u, 4); }},
        {"no PE signature", [](ByteBuffer& b) { b[kNtOffset + 2] = 1; }},
        {"an executable that is not a DLL", [](ByteBuffer& b) { Put(b, kNtOffset + 22, 0x0102, 2); }},
        {"a DLL not marked executable", [](ByteBuffer& b) { Put(b, kNtOffset + 22, 0x2100, 2); }},
        {"optional header of 240 bytes", [](ByteBuffer& b) { Put(b, kNtOffset + 20, 240, 2); }},
        {"another machine", [](ByteBuffer& b) { Put(b, kNtOffset + 4, 0x8664, 2); }},
        {"64-bit optional header magic", [](ByteBuffer& b) { Put(b, opt, 0x20B, 2); }},
        {"section table past the end", [](ByteBuffer& b) { Put(b, kNtOffset + 6, 0xFFFF, 2); }},
        {"section data past the end", [](ByteBuffer& b) { Put(b, table + 20, 0x400, 4); }},
        {"section data offset wrapping", [](ByteBuffer& b) { Put(b, table + 20, 0xFFFFFF00u, 4); }},
        {"headers larger than the buffer", [](ByteBuffer& b) { Put(b, opt + 60, 0x100000, 4); }},
        {"headers shorter than the section table", [](ByteBuffer& b) { Put(b, opt + 60, table + 20, 4); }},
        {"section alignment 0", [](ByteBuffer& b) { Put(b, opt + 32, 0, 4); }},
        {"section over the headers", [](ByteBuffer& b) { Put(b, table + 12, 0x100, 4); }},
        {"absurd image size", [](ByteBuffer& b) { Put(b, table + 8, 0x7FFFFFFF, 4); }},
        {"no entry point", [](ByteBuffer& b) { Put(b, opt + 16, 0, 4); }},
        {"entry point outside the image", [](ByteBuffer& b) { Put(b, opt + 16, 0x100000, 4); }},
    };
    const ByteBuffer good = FullImage().Build();
    for (const Case& c : cases) {
        ByteBuffer b = good;
        c.spoil(b);
        MemoryLibrary lib;
        const int before = memory_test::ReservedBlocks();
        EXPECT_FALSE(lib.LoadFromMemory(b)) << c.what;
        EXPECT_EQ(memory_test::ReservedBlocks(), before) << c.what << ": memory was reserved";
        EXPECT_TRUE(calls.empty()) << c.what;
    }
    // The other format's image is refused by each loader.
    EXPECT_FALSE(MemoryLibrary(ImageFormat::Pe32).LoadFromMemory(FullImage(ImageFormat::Pe32Plus).Build()));
    EXPECT_FALSE(MemoryLibrary(ImageFormat::Pe32Plus).LoadFromMemory(good));
}

TEST(LoaderSizes, AlignUpAndImageSize) {
    EXPECT_EQ(MemoryLibrary::AlignUp(0, 0x1000), 0u);
    EXPECT_EQ(MemoryLibrary::AlignUp(1, 0x1000), 0x1000u);
    EXPECT_EQ(MemoryLibrary::AlignUp(0x1000, 0x1000), 0x1000u);
    EXPECT_EQ(MemoryLibrary::AlignUp(0x1001, 0x200), 0x1200u);
    PeImage img;
    MemoryLibrary lib;
    const ByteBuffer b = img.Build();
    ASSERT_TRUE(lib.ParseHeaders(reinterpret_cast<const unsigned char*>(b.data()), b.size()));
    EXPECT_EQ(lib.ComputeImageSize(), 0x2000u);  // headers, then the section at 0x1000
}

// Truncations and single-byte corruptions of a full image: each load either works or is
// refused, and nothing outside the buffers is touched (the sanitizer build watches).
TEST_F(LoaderTest, CorruptedImagesNeverReachOutside) {
    const ByteBuffer good = FullImage().Build();
    for (size_t n = 0; n < good.size(); n += 7) {
        MemoryLibrary lib;
        lib.LoadFromMemory(good.substr(0, n));
    }
    for (size_t at = 0; at < good.size(); ++at) {
        for (char value : {char(0xFF), char(0x00), char(0x80)}) {
            ByteBuffer b = good;
            b[at] = value;
            MemoryLibrary lib;
            if (lib.LoadFromMemory(b)) {
                lib.GetExport("List7z");
                lib.GetExport("unpack7z");
                lib.Free();
            }
        }
    }
    memory_test::DeclareModule("extra.dll");  // loads and frees balance was checked above
}

}  // namespace
