#include "plugin/tools_startup.h"

#include "archive/rar_runner.h"
#include "archive/seven_zip.h"
#include "platform/files.h"
#include "plugin/tool_images.h"

void LoadEmbeddedSevenZipLibrary() {
    LoadSevenZipLibrary(ByteBuffer(reinterpret_cast<const char*>(SevenZipImage), SevenZipImageSize()));
}

void InstallRarTool() {
    SetTempDir(platform::GetTempDirectory());
    const Text path = TempDir() + "myrar.exe";
    // A read-only leftover would refuse the write.
    platform::ResetFileAttributes(path);
    platform::WriteWholeFile(path, ByteBuffer(reinterpret_cast<const char*>(RarToolImage), RarToolImageSize()));
}
