#include "plugin/tools_startup.h"

#include "common/globals.h"
#include "platform/files.h"
#include "plugin/tool_images.h"

void LoadSevenZipLibrary() {
    Globals& g = G();
    const ByteBuffer image(reinterpret_cast<const char*>(SevenZipImage), SevenZipImageSize());
    g.SevenZipLoaded = g.SevenZipLibrary.LoadFromMemory(image) ? 1 : 0;
    if (g.SevenZipLoaded) {
        g.List7zProc = g.SevenZipLibrary.GetExport("List7z");
        g.Unpack7zProc = g.SevenZipLibrary.GetExport("unpack7z");
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
    g.SevenZipLibrary.Free();
    g.SevenZipLoaded = 0;
    g.List7zProc = 0;
    g.Unpack7zProc = 0;
}
