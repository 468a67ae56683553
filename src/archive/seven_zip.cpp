#include "archive/seven_zip.h"

#include "archive/memory_library.h"
#include "platform/files.h"

namespace {

SevenZipExports exports;

// The mapped library, from start-up until clean-up. A plain pointer on purpose: clean-up runs as
// an exit handler registered before the library is made, and a static object made after that
// registration would already be destroyed (and the library with it) when clean-up releases it.
MemoryLibrary* library = nullptr;

}  // namespace

SevenZipExports& SevenZip() { return exports; }

void LoadSevenZipLibrary(const ByteBuffer& image) {
    delete library;
    library = new MemoryLibrary();
    exports = SevenZipExports();
    exports.loaded = library->LoadFromMemory(image);
    if (exports.loaded) {
        exports.list7z = library->GetExport("List7z");
        exports.unpack7z = library->GetExport("unpack7z");
    }
}

void ReleaseSevenZipLibrary() {
    delete library;
    library = nullptr;
    exports = SevenZipExports();
}

int EnsureDirectoryPath(const Text& path) {
    const std::vector<Text> items = Split(path, "\\");
    if (items.size() < 2) return 1;
    if (items[0].size() != 2 || items[0][1] != ':') return 1;
    Text built = items[0];
    for (size_t i = 1; i < items.size(); ++i) {
        const Text& item = items[i];
        if (item.empty() || item == "." || item == "..") return 1;
        built += "\\" + item;
        if (platform::DirectoryExists(built)) {
            if (i + 1 == items.size()) return 2;
            continue;
        }
        if (!platform::CreateOneDirectory(built)) return 1;
    }
    return 0;
}

int ExtractWith7z(const Text& archivePath, const Text& destinationDir, std::optional<int> unpackFlag) {
    const uintptr_t unpack = exports.unpack7z;
    if (!platform::FileExists(archivePath) || unpack == 0) return 0;
    Text destination = destinationDir;
    if (!destination.empty() && FindLastExact(destination, "\\") == destination.size()) destination.pop_back();
    if (!platform::DirectoryExists(destination) && EnsureDirectoryPath(destination) == 1) return 0;
    const int flag = unpackFlag.value_or(1) != 0 ? 1 : 0;
    const int32_t result = platform::CallImageFunction(unpack, reinterpret_cast<uintptr_t>(archivePath.c_str()),
                                                       reinterpret_cast<uintptr_t>(destination.c_str()), uintptr_t(flag));
    return result == 0 ? 1 : 0;
}
