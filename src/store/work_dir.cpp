#include "store/work_dir.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>

#include "platform/files.h"
#include "platform/threads.h"

namespace {

std::atomic<uint32_t> namingCounter{0};

// Names tried before giving up; only a directory filled on purpose gets that far.
constexpr uint32_t kMaxNamesTried = 0x10000;

Text Hex(uint32_t n) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%" PRIx32, n);
    return buffer;
}

bool PathTaken(const Text& path) { return platform::FileExists(path) || platform::DirectoryExists(path); }

}  // namespace

Text TmpDirectory() {
    Text dir = platform::GetEnvironmentText("tmp");
    // A trail byte may be 0x5C: only a real backslash character counts as the ending one.
    if (!dir.empty() && FindLastExact(dir, "\\") != dir.size()) dir += '\\';
    return dir;
}

Text NewTempFileName() {
    const Text dir = TmpDirectory();
    uint32_t n = uint32_t(platform::MonotonicMs()) + namingCounter.fetch_add(1) + 1;
    for (uint32_t tried = 0; tried < kMaxNamesTried; ++tried, ++n) {
        const Text name = dir + Hex(n) + ".tmp";
        // The work directory's own name is checked too: a failed write leaves its work directory
        // behind, and another process may have drawn the same number in the same tick.
        if (!PathTaken(name) && !PathTaken(ReplaceAll(name, ".tmp", ".tqnx"))) return name;
    }
    return Text();
}

Text NewWorkDirName() { return ReplaceAll(NewTempFileName(), ".tmp", ".tqnx"); }

Text CreateWorkDir() {
    const Text dir = NewWorkDirName();
    if (dir.empty() || !platform::CreateOneDirectory(dir)) return Text();
    return dir;
}
