#include "plugin/tools_startup.h"

#include "archive/memory_library.h"
#include "common/globals.h"
#include "platform/files.h"
#include "plugin/tool_images.h"

namespace {

// The mapped 7z library, from start-up until clean-up; its exports are kept in the globals.
// A plain pointer on purpose: clean-up runs as an exit handler registered before the library is
// made, and a static object made after that registration would already be destroyed (and the
// library with it) when clean-up releases it.
MemoryLibrary* sevenZipLibrary = nullptr;

}  // namespace

void LoadSevenZipLibrary() {
    Globals& g = G();
    const ByteBuffer image(reinterpret_cast<const char*>(SevenZipImage), SevenZipImageSize());
    delete sevenZipLibrary;
    sevenZipLibrary = new MemoryLibrary();
    g.SevenZipLoaded = sevenZipLibrary->LoadFromMemory(image) ? 1 : 0;
    if (g.SevenZipLoaded) {
        g.List7zProc = sevenZipLibrary->GetExport("List7z");
        g.Unpack7zProc = sevenZipLibrary->GetExport("unpack7z");
    }
}

void InstallRarTool() {
    Globals& g = G();
    g.TempDir = platform::GetTempDirectory();
    const Text path = g.TempDir + "myrar.exe";
    // A read-only leftover would refuse the write.
    platform::ResetFileAttributes(path);
    platform::WriteWholeFile(path, ByteBuffer(reinterpret_cast<const char*>(RarToolImage), RarToolImageSize()));
}

void ReleaseSevenZipLibrary() {
    Globals& g = G();
    delete sevenZipLibrary;
    sevenZipLibrary = nullptr;
    g.SevenZipLoaded = 0;
    g.List7zProc = 0;
    g.Unpack7zProc = 0;
}
