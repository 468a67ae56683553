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

// `prefix`, a number in hexadecimal and `suffix`, for the first number from the tick count plus
// the naming counter at which `isFree` holds; empty when none was found.
template <typename IsFree>
Text FirstFreeNumber(const Text& prefix, const Text& suffix, IsFree isFree) {
    uint32_t n = uint32_t(platform::MonotonicMs()) + namingCounter.fetch_add(1) + 1;
    for (uint32_t tried = 0; tried < kMaxNamesTried; ++tried, ++n) {
        const Text name = prefix + Hex(n) + suffix;
        if (isFree(name)) return name;
    }
    return Text();
}

}  // namespace

Text TmpDirectory() {
    Text dir = platform::GetEnvironmentText("tmp");
    // A trail byte may be 0x5C: only a real backslash character counts as the ending one.
    if (!dir.empty() && FindLastExact(dir, "\\") != dir.size()) dir += '\\';
    return dir;
}

Text NewTempFileName() {
    // The work directory's own name is checked too: a crash or a failed step may leave a work
    // directory behind, and another process may have drawn the same number in the same tick.
    return FirstFreeNumber(TmpDirectory(), ".tmp", [](const Text& name) {
        return !PathTaken(name) && !PathTaken(ReplaceAll(name, ".tmp", ".tqnx"));
    });
}

Text NewNumberedPath(const Text& prefix, const Text& suffix) {
    return FirstFreeNumber(prefix, suffix, [](const Text& name) { return !PathTaken(name); });
}

Text NewWorkDirName() { return ReplaceAll(NewTempFileName(), ".tmp", ".tqnx"); }

Text CreateWorkDir() {
    const Text dir = NewWorkDirName();
    if (dir.empty() || !platform::CreateOneDirectory(dir)) return Text();
    return dir;
}
