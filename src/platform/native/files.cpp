// Files and directories on Linux, for the program's Windows-style paths.
//
// Mapping of a program path (a GBK text) to the Linux file system:
//   - the text ends at its first NUL, as a Windows path does;
//   - every backslash becomes "/" (a backslash that is the trail byte of a double-byte character
//     is part of that character and is left alone), so "\tmp\a.tqnx" is "/tmp/a.tqnx";
//   - the GBK text is stored as UTF-8, the Linux file-name convention;
//   - nothing else is translated: no drive letters (a path such as "C:\x" is relative, naming a
//     directory "C:"), names are case-sensitive, and trailing dots or spaces are kept.
// Back from Linux, names are decoded from UTF-8 to GBK and "/" becomes a backslash; a name that
// is not UTF-8, or holds characters GBK lacks, comes back with "?" in their place.
//
// ListDirectory sorts the entries by name (ASCII letters without case), the order NTFS lists
// them in, so that the program sees one stable order.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "platform/codepage.h"
#include "platform/native/files_test_hooks.h"

extern char** environ;

namespace platform {

namespace {

std::string ToUtf8(const Text& gbk) {
    return WideToMultiByte(kCodePageUtf8, MultiByteToWide(kCodePageGbk, gbk));
}

Text FromUtf8(const std::string& utf8) {
    return TextUpTo0(WideToMultiByte(kCodePageGbk, MultiByteToWide(kCodePageUtf8, utf8)));
}

std::string NativePath(const Text& path) { return ToUtf8(ReplaceAllExact(TextUpTo0(path), "\\", "/")); }

Text ProgramPath(const std::string& native) { return ReplaceAllExact(FromUtf8(native), "/", "\\"); }

// ---- test hooks -----------------------------------------------------------------------------

// A run of failing calls: `before` calls succeed first (-1: nothing pending), then `count` fail.
struct PendingFailure {
    int before = -1;
    int count = 0;
};

struct Hooks {
    std::mutex mutex;
    PendingFailure writes, renames, directories;
    // Compared for equality only: whether a file is held never depends on how its inode
    // number orders against another's (which would make the fuzz targets' runs differ).
    std::vector<std::pair<dev_t, ino_t>> held;
    bool recording = false;
    int exitAt = 0, exitStatus = 0;
    std::vector<Text> steps;
};

Hooks& H() {
    static Hooks hooks;
    return hooks;
}

// Counts one call against a pending failure; true when this call is one that fails.
bool TakeFailure(PendingFailure& f) {
    if (f.before < 0) return false;
    if (f.before > 0) {
        --f.before;
        return false;
    }
    if (--f.count <= 0) f.before = -1;
    return true;
}

void Arm(PendingFailure& f, int after, int count) {
    std::lock_guard<std::mutex> lock(H().mutex);
    f.before = after < 0 ? 0 : after;
    f.count = count < 1 ? 1 : count;
}

// One step that changes the disk, recorded when asked; the process ends here when this is the
// step it was told to end at.
void Step(const char* kind, const std::string& native) {
    std::lock_guard<std::mutex> lock(H().mutex);
    if (!H().recording) return;
    if (H().exitAt > 0 && H().steps.size() + 1 == size_t(H().exitAt)) _exit(H().exitStatus);
    H().steps.push_back(Text(kind) + " " + native);
}

bool FileIdentity(const std::string& native, std::pair<dev_t, ino_t>& id) {
    struct stat st;
    if (lstat(native.c_str(), &st) != 0) return false;
    id = {st.st_dev, st.st_ino};
    return true;
}

bool IsHeld(const std::string& native) {
    std::pair<dev_t, ino_t> id;
    if (!FileIdentity(native, id)) return false;
    std::lock_guard<std::mutex> lock(H().mutex);
    return std::find(H().held.begin(), H().held.end(), id) != H().held.end();
}

// ---- helpers --------------------------------------------------------------------------------

bool StatNative(const std::string& native, struct stat& st) { return stat(native.c_str(), &st) == 0; }

bool IsDirectoryNative(const std::string& native) {
    struct stat st;
    return StatNative(native, st) && S_ISDIR(st.st_mode);
}

// The entries of a directory, without following symbolic links: a link is never a directory
// here, so a tree walk cannot leave the tree.
bool ListNative(const std::string& native, std::vector<std::pair<std::string, bool>>& out) {
    out.clear();
    DIR* dir = opendir(native.c_str());
    if (!dir) return false;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        const bool isDir = lstat((native + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        out.emplace_back(name, isDir);
    }
    closedir(dir);
    return true;
}

bool DeleteTreeNative(const std::string& native) {
    std::vector<std::pair<std::string, bool>> entries;
    if (!ListNative(native, entries)) return false;
    bool all = true;
    for (const auto& e : entries) {
        const std::string child = native + "/" + e.first;
        if (e.second) {
            all = DeleteTreeNative(child) && all;
        } else if (IsHeld(child) || unlink(child.c_str()) != 0) {
            all = false;
        }
    }
    return rmdir(native.c_str()) == 0 && all;
}

bool WriteAll(int fd, const char* bytes, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// Reads to the end of the file: the `expected` bytes straight into `out`, then whatever a
// file that grew meanwhile holds beyond them.
bool ReadAll(int fd, ByteBuffer& out, size_t expected) {
    out.resize(expected);
    size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = read(fd, &out[got], out.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            out.resize(got);
            return true;
        }
        got += size_t(n);
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buffer, size_t(n));
    }
}

// The directory part of a native path ("." for a bare name).
std::string DirectoryOf(const std::string& native) {
    const size_t slash = native.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : native.substr(0, slash);
}

// fsync of a directory: a rename in it is on the disk once this returns true.
bool FlushDirectory(const std::string& native) {
    Step("flush-directory", native);
    const int fd = open(native.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    const bool flushed = fsync(fd) == 0;
    close(fd);
    return flushed;
}

// The whole-file write, in the steps a crash may cut it at. The data goes in in two halves, so
// that a crash can leave an empty, a truncated or a complete but unflushed file.
bool WriteFileNative(const Text& path, const ByteBuffer& bytes, bool flush) {
    {
        std::lock_guard<std::mutex> lock(H().mutex);
        if (TakeFailure(H().writes)) return false;
    }
    const std::string native = NativePath(path);
    Step("open", native);
    const int fd = open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) return false;
    struct stat st;
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const size_t half = bytes.size() / 2;
    Step("write", native);
    bool written = WriteAll(fd, bytes.data(), half);
    Step("write", native);
    written = written && WriteAll(fd, bytes.data() + half, bytes.size() - half);
    Step("close", native);
    const bool flushed = !flush || fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (written && flushed && closed) return true;
    if (regular) unlink(native.c_str());  // never a device or pipe the path may name
    return false;
}

bool LessAsNtfs(const DirectoryEntry& a, const DirectoryEntry& b) {
    const Text ua = ToUpperAscii(a.name), ub = ToUpperAscii(b.name);
    return ua != ub ? ua < ub : a.name < b.name;
}

}  // namespace

// ---- test hooks -----------------------------------------------------------------------------

namespace testhooks {

void FailNextWrite(int after) { Arm(H().writes, after, 1); }
void FailWrites(int count) { Arm(H().writes, 0, count); }
void FailNextRename(int after) { Arm(H().renames, after, 1); }
void FailNextDirectoryCreation() { Arm(H().directories, 0, 1); }

void RecordFileSteps(int exitAt, int status) {
    std::lock_guard<std::mutex> lock(H().mutex);
    H().recording = true;
    H().exitAt = exitAt;
    H().exitStatus = status;
    H().steps.clear();
}

std::vector<Text> RecordedFileSteps() {
    std::lock_guard<std::mutex> lock(H().mutex);
    return H().steps;
}

bool HoldFileOpen(const Text& path) {
    const std::string native = NativePath(path);
    std::pair<dev_t, ino_t> id;
    struct stat st;
    if (!StatNative(native, st) || S_ISDIR(st.st_mode) || !FileIdentity(native, id)) return false;
    std::lock_guard<std::mutex> lock(H().mutex);
    if (std::find(H().held.begin(), H().held.end(), id) == H().held.end()) H().held.push_back(id);
    return true;
}

void ReleaseFile(const Text& path) {
    std::pair<dev_t, ino_t> id;
    if (!FileIdentity(NativePath(path), id)) return;
    std::lock_guard<std::mutex> lock(H().mutex);
    H().held.erase(std::remove(H().held.begin(), H().held.end(), id), H().held.end());
}

void ResetFileHooks() {
    std::lock_guard<std::mutex> lock(H().mutex);
    H().writes = H().renames = H().directories = PendingFailure();
    H().held.clear();
    H().recording = false;
    H().exitAt = 0;
    H().steps.clear();
}

}  // namespace testhooks

// ---- the file functions ---------------------------------------------------------------------

Text GetTempDirectory() {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = (tmp && *tmp) ? tmp : "/tmp";
    if (dir.back() != '/') dir += '/';
    return ProgramPath(dir);
}

Text GetEnvironmentText(const Text& name) {
    // Windows looks names up without regard to ASCII case ("tmp" finds TMP): an exact match
    // first, then the first one that differs only in case.
    const std::string wanted = ToUtf8(TextUpTo0(name));
    if (wanted.empty()) return Text();
    if (const char* value = std::getenv(wanted.c_str())) return FromUtf8(value);
    const Text upper = ToUpperAscii(wanted);
    for (char** e = environ; e && *e; ++e) {
        const std::string entry = *e;
        const size_t eq = entry.find('=');
        if (eq != std::string::npos && ToUpperAscii(entry.substr(0, eq)) == upper)
            return FromUtf8(entry.substr(eq + 1));
    }
    return Text();
}

Text GetCurrentDirectoryText() {
    std::string buffer(4096, '\0');
    if (!getcwd(&buffer[0], buffer.size())) return Text();
    return ProgramPath(buffer.c_str());
}

Text MakeTempFileName(const Text& directory) {
    // GetTempFileName(directory, "", 0): "<directory>\<hex>.tmp" for the first free 16-bit
    // number from a time-based start, created empty.
    Text prefix = TextUpTo0(directory);
    if (prefix.empty() || (prefix.back() != '\\' && prefix.back() != '/')) prefix += '\\';
    static std::mutex counterMutex;
    static unsigned counter = unsigned(std::time(nullptr)) ^ unsigned(getpid());
    for (int attempt = 0; attempt < 0x10000; ++attempt) {
        unsigned unique;
        {
            std::lock_guard<std::mutex> lock(counterMutex);
            unique = (++counter & 0xFFFF);
        }
        if (unique == 0) continue;
        char hex[8];
        std::snprintf(hex, sizeof hex, "%X", unique);
        const Text path = prefix + hex + ".tmp";
        Step("create", NativePath(path));
        const int fd = open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) {
            close(fd);
            return path;
        }
        if (errno != EEXIST) return Text();
    }
    return Text();
}

bool FileExists(const Text& path) {
    struct stat st;
    return StatNative(NativePath(path), st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const Text& path) { return IsDirectoryNative(NativePath(path)); }

bool RenamePath(const Text& from, const Text& to) {
    {
        std::lock_guard<std::mutex> lock(H().mutex);
        if (TakeFailure(H().renames)) return false;
    }
    const std::string src = NativePath(from), dst = NativePath(to);
    if (IsHeld(src)) return false;
    Step("rename", dst);
    // MoveFile never replaces its target.
    if (renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat st;  // a file system without RENAME_NOREPLACE
    if (lstat(dst.c_str(), &st) == 0) return false;
    return rename(src.c_str(), dst.c_str()) == 0;
}

bool ReplacePath(const Text& from, const Text& to) {
    {
        std::lock_guard<std::mutex> lock(H().mutex);
        if (TakeFailure(H().renames)) return false;
    }
    const std::string src = NativePath(from), dst = NativePath(to);
    if (IsHeld(src) || IsHeld(dst)) return false;
    // Windows refuses to replace a read-only file (one without the owner's write permission
    // here) and never replaces a directory.
    struct stat st;
    if (lstat(dst.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR))) return false;
    Step("replace", dst);
    if (rename(src.c_str(), dst.c_str()) != 0) return false;
    // The rename is done; a directory that cannot be flushed does not undo it.
    FlushDirectory(DirectoryOf(dst));
    if (DirectoryOf(src) != DirectoryOf(dst)) FlushDirectory(DirectoryOf(src));
    return true;
}

bool DeleteFileAt(const Text& path) {
    const std::string native = NativePath(path);
    if (IsHeld(native)) return false;
    Step("delete", native);
    return unlink(native.c_str()) == 0;
}

bool ResetFileAttributes(const Text& path) {
    const std::string native = NativePath(path);
    struct stat st;
    if (!StatNative(native, st)) return false;
    Step("attributes", native);
    return chmod(native.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

bool DeleteDirectoryTree(const Text& path) {
    const std::string native = NativePath(path);
    struct stat st;
    if (lstat(native.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    Step("delete-tree", native);
    return DeleteTreeNative(native);
}

bool CreateOneDirectory(const Text& path) {
    {
        std::lock_guard<std::mutex> lock(H().mutex);
        if (TakeFailure(H().directories)) return false;
    }
    const std::string native = NativePath(path);
    Step("mkdir", native);
    return mkdir(native.c_str(), 0777) == 0;
}

bool CreateDirectoryPath(const Text& path) {
    const std::string native = NativePath(path);
    if (native.empty()) return false;
    Step("mkdir", native);
    // Each level in turn; levels that exist already make mkdir fail harmlessly.
    for (size_t slash = native.find('/', 1); slash != std::string::npos; slash = native.find('/', slash + 1))
        mkdir(native.substr(0, slash).c_str(), 0777);
    mkdir(native.c_str(), 0777);
    return IsDirectoryNative(native);
}

bool ReadWholeFile(const Text& path, ByteBuffer& out) {
    out.clear();
    // Regular files only: a pipe or device (reachable natively, never on Windows) could block
    // the reader or never end. O_NONBLOCK keeps the open itself from waiting on a pipe.
    const int fd = open(NativePath(path).c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    try {
        if (ok) {
            ok = ReadAll(fd, out, size_t(st.st_size));
        }
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    close(fd);
    if (!ok) out.clear();
    return ok;
}

bool WriteWholeFile(const Text& path, const ByteBuffer& bytes) { return WriteFileNative(path, bytes, false); }

bool WriteWholeFileFlushed(const Text& path, const ByteBuffer& bytes) { return WriteFileNative(path, bytes, true); }

bool ListDirectory(const Text& path, std::vector<DirectoryEntry>& out) {
    out.clear();
    std::vector<std::pair<std::string, bool>> entries;
    if (!ListNative(NativePath(path), entries)) return false;
    for (const auto& e : entries) out.push_back(DirectoryEntry{FromUtf8(e.first), e.second});
    std::sort(out.begin(), out.end(), LessAsNtfs);
    return true;
}

}  // namespace platform
