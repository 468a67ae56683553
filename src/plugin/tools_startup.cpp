#include "plugin/tools_startup.h"

#include <memory>

#include "archive/memory_library.h"
#include "common/globals.h"
#include "platform/files.h"
#include "plugin/tool_images.h"

namespace {

// The mapped 7z library, from start-up until clean-up; its exports are kept in the globals.
std::unique_ptr<MemoryLibrary>& SevenZipLibrary() {
    static std::unique_ptr<MemoryLibrary> library;
    return library;
}

}  // namespace

void LoadSevenZipLibrary() {
    Globals& g = G();
    const ByteBuffer image(reinterpret_cast<const char*>(SevenZipImage), SevenZipImageSize());
    SevenZipLibrary() = std::make_unique<MemoryLibrary>();
    g.SevenZipLoaded = SevenZipLibrary()->LoadFromMemory(image) ? 1 : 0;
    if (g.SevenZipLoaded) {
        g.List7zProc = SevenZipLibrary()->GetExport("List7z");
        g.Unpack7zProc = SevenZipLibrary()->GetExport("unpack7z");
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
    SevenZipLibrary().reset();
    g.SevenZipLoaded = 0;
    g.List7zProc = 0;
    g.Unpack7zProc = 0;
}
