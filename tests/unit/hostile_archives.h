// The hostile archives of tests/mirror/archives.py (7z bombs made with 7zz, an archive of too
// many entries, a 7z whose header understates its sizes), made on first use into a directory of
// this test process that goes when the process ends.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <map>
#include <string>

namespace hostile {

namespace fs = std::filesystem;

class Directory {
public:
    Directory() {
        char pattern[] = "/tmp/quorlex-hostile-XXXXXX";
        if (mkdtemp(pattern)) path = pattern;
    }
    ~Directory() {
        std::error_code ignored;
        if (!path.empty()) fs::remove_all(path, ignored);
    }
    fs::path path;
};

// The archive `kind` (a key of archives.py's HOSTILE); an empty path when it could not be made.
inline fs::path Archive(const std::string& kind) {
    static Directory dir;
    static std::map<std::string, fs::path> made;
    auto found = made.find(kind);
    if (found != made.end()) return found->second;
    const fs::path out = dir.path / kind;
    const std::string command = "python3 '" + std::string(QUORLEX_SOURCE_DIR) + "/tests/mirror/archives.py' " +
                                kind + " '" + out.string() + "'";
    const bool ok = !dir.path.empty() && std::system(command.c_str()) == 0 && fs::exists(out);
    return made[kind] = ok ? out : fs::path();
}

}  // namespace hostile
