// Shared pieces of the fuzz targets: a check that turns a broken property into a finding,
// throw-away directories, and the program's backslash form of a Linux path.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/text.h"

// A property every input must keep. A broken one aborts, so libFuzzer saves the input as a crash.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

namespace fuzz {

namespace fs = std::filesystem;

inline Text ProgramPath(const fs::path& p) { return ReplaceAllExact(p.string(), "/", "\\"); }

// A fresh directory in the system's temporary directory, removed with its contents at the end.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "quorlex-fuzz-XXXXXX").string();
        const char* made = mkdtemp(pattern.data());
        FUZZ_CHECK(made != nullptr);
        path_ = made;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// The number of entries directly in `dir` (0 when it does not exist).
inline size_t EntryCount(const fs::path& dir) {
    std::error_code ec;
    size_t n = 0;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) ++n;
    return n;
}

// The rules of a converted list: its lines between CR LF separators.
inline std::vector<Text> RuleLines(const Text& rules) { return Split(rules, "\r\n"); }

}  // namespace fuzz
