// Files and directories on Windows, through the W API only: every path is converted from GBK to
// UTF-16 (and names back), so the program works whatever the system's ANSI code page is.
#include "platform/files.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <new>
#include <string>

#include "platform/codepage.h"

namespace platform {

namespace {

std::wstring Wide(const Text& text) {
    const ByteBuffer units = MultiByteToWide(kCodePageGbk, TextUpTo0(text));
    std::wstring w(units.size() / 2, L'\0');
    if (!w.empty()) std::memcpy(&w[0], units.data(), w.size() * 2);
    return w;
}

Text Gbk(const wchar_t* s, size_t count) {
    ByteBuffer units(count * 2, '\0');
    if (count != 0) std::memcpy(&units[0], s, count * 2);
    return TextUpTo0(WideToMultiByte(kCodePageGbk, units));
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring Child(const std::wstring& dir, const wchar_t* name) {
    std::wstring path = dir;
    if (!path.empty() && !IsSeparator(path.back())) path += L'\\';
    return path + name;
}

bool IsDotEntry(const wchar_t* name) { return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0; }

DWORD AttributesOf(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool IsDirectoryW(const std::wstring& path) {
    const DWORD a = AttributesOf(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Deletes what is inside `dir`, then `dir`. A junction or directory symbolic link is removed as
// a link, never entered. Goes on past failures and reports whether everything went.
bool DeleteTreeW(const std::wstring& dir) {
    bool all = true;
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(Child(dir, L"*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (IsDotEntry(fd.cFileName)) continue;
            const std::wstring child = Child(dir, fd.cFileName);
            const bool isDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            const bool isLink = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (isDir && !isLink) {
                all = DeleteTreeW(child) && all;
            } else if (isDir) {
                all = RemoveDirectoryW(child.c_str()) && all;
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                all = DeleteFileW(child.c_str()) && all;
            }
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    SetFileAttributesW(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    return RemoveDirectoryW(dir.c_str()) && all;
}

}  // namespace

Text GetTempDirectory() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH) return Text();
    return Gbk(buffer, n);
}

Text GetEnvironmentText(const Text& name) {
    const std::wstring wname = Wide(name);
    DWORD size = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    while (size != 0) {
        std::wstring value(size, L'\0');
        const DWORD n = GetEnvironmentVariableW(wname.c_str(), &value[0], size);
        if (n < size) return Gbk(value.c_str(), n);
        size = n;  // the value grew in between
    }
    return Text();
}

Text GetCurrentDirectoryText() {
    DWORD size = GetCurrentDirectoryW(0, nullptr);
    while (size != 0) {
        std::wstring dir(size, L'\0');
        const DWORD n = GetCurrentDirectoryW(size, &dir[0]);
        if (n == 0) break;
        if (n < size) return Gbk(dir.c_str(), n);
        size = n;
    }
    return Text();
}

Text MakeTempFileName(const Text& directory) {
    wchar_t buffer[MAX_PATH];
    if (GetTempFileNameW(Wide(directory).c_str(), L"", 0, buffer) == 0) return Text();
    return Gbk(buffer, std::wcslen(buffer));
}

bool FileExists(const Text& path) {
    const DWORD a = AttributesOf(Wide(path));
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const Text& path) { return IsDirectoryW(Wide(path)); }

bool RenamePath(const Text& from, const Text& to) {
    return MoveFileW(Wide(from).c_str(), Wide(to).c_str()) != 0;
}

bool ReplacePath(const Text& from, const Text& to) {
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool DeleteFileAt(const Text& path) { return DeleteFileW(Wide(path).c_str()) != 0; }

bool ResetFileAttributes(const Text& path) {
    return SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
}

bool DeleteDirectoryTree(const Text& path) {
    const std::wstring dir = Wide(path);
    const DWORD a = AttributesOf(dir);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) return false;
    if (a & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveDirectoryW(dir.c_str()) != 0;
    return DeleteTreeW(dir);
}

bool CreateOneDirectory(const Text& path) { return CreateDirectoryW(Wide(path).c_str(), nullptr) != 0; }

bool CreateDirectoryPath(const Text& path) {
    const std::wstring dir = Wide(path);
    if (dir.empty()) return false;
    // Each level in turn; a drive ("C:"), a share root or a level that exists makes
    // CreateDirectory fail harmlessly.
    for (size_t i = 1; i < dir.size(); ++i) {
        if (IsSeparator(dir[i]) && !IsSeparator(dir[i - 1]))
            CreateDirectoryW(dir.substr(0, i).c_str(), nullptr);
    }
    CreateDirectoryW(dir.c_str(), nullptr);
    return IsDirectoryW(dir);
}

bool ReadWholeFile(const Text& path, ByteBuffer& out) {
    out.clear();
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart >= 0 && size.QuadPart < 0x7FFFFFFF;
    try {
        if (ok) out.resize(size_t(size.QuadPart));
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    size_t done = 0;
    while (ok && done < out.size()) {
        DWORD n = 0;
        ok = ReadFile(file, &out[done], DWORD(out.size() - done), &n, nullptr) && n != 0;
        done += n;
    }
    CloseHandle(file);
    if (!ok) out.clear();
    return ok;
}

namespace {

bool WriteWholeFileW(const Text& path, const ByteBuffer& bytes, bool flush) {
    const std::wstring wpath = Wide(path);
    HANDLE file = CreateFileW(wpath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        DWORD n = 0;
        ok = WriteFile(file, bytes.data() + done, DWORD(bytes.size() - done), &n, nullptr) && n != 0;
        done += n;
    }
    ok = ok && (!flush || FlushFileBuffers(file));
    ok = CloseHandle(file) && ok;
    if (!ok) DeleteFileW(wpath.c_str());
    return ok;
}

}  // namespace

bool WriteWholeFile(const Text& path, const ByteBuffer& bytes) { return WriteWholeFileW(path, bytes, false); }

bool WriteWholeFileFlushed(const Text& path, const ByteBuffer& bytes) { return WriteWholeFileW(path, bytes, true); }

bool ListDirectory(const Text& path, std::vector<DirectoryEntry>& out) {
    out.clear();
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(Child(Wide(path), L"*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        if (IsDotEntry(fd.cFileName)) continue;
        out.push_back(DirectoryEntry{Gbk(fd.cFileName, std::wcslen(fd.cFileName)),
                                     (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    return true;
}

}  // namespace platform
