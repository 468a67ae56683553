// A browser profile as the plug-in finds it, for the Wine tests: a user registered under
// HKCU\Software\SogouExplorer\Users in the AppData folder, whose history database another
// process (holdopen.exe, beside the test program) holds open; and whole-file helpers.
#pragma once

#include <windows.h>

#include <string>

const wchar_t kUsersKey[] = L"Software\\SogouExplorer\\Users";

inline bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(f, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(f);
    return ok;
}

inline std::string ReadFileBytes(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes(GetFileSize(f, nullptr), '\0');
    DWORD got = 0;
    if (!bytes.empty()) ReadFile(f, &bytes[0], DWORD(bytes.size()), &got, nullptr);
    CloseHandle(f);
    return bytes;
}

inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline void DeleteTree(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteTree(dir + L"\\" + name);
            else
                DeleteFileW((dir + L"\\" + name).c_str());
        } while (FindNextFileW(find, &fd));
        FindClose(find);
    }
    RemoveDirectoryW(dir.c_str());
}

// The AppData folder as the shell's user-shell-folder value gives it, expanded.
inline std::wstring AppDataFolder() {
    wchar_t raw[1024] = {}, expanded[1024] = {};
    DWORD bytes = sizeof raw - sizeof(wchar_t);
    RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                 L"AppData", RRF_RT_REG_EXPAND_SZ | RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, raw, &bytes);
    ExpandEnvironmentStringsW(raw, expanded, 1023);
    return expanded;
}

inline bool RegisterUser(const std::wstring& user) {
    HKEY key = nullptr;
    const std::wstring path = std::wstring(kUsersKey) + L"\\" + user;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// holdopen.exe (beside this driver) holding a file open until the holder goes.
class Holder {
public:
    explicit Holder(const std::wstring& file) {
        ready_ = CreateEventW(nullptr, TRUE, FALSE, L"QuorlexStoreTestReady");
        quit_ = CreateEventW(nullptr, TRUE, FALSE, L"QuorlexStoreTestQuit");
        wchar_t exe[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring dir = exe;
        dir.resize(dir.find_last_of(L'\\') + 1);
        std::wstring command = L"\"" + dir + L"holdopen.exe\" \"" + file +
                               L"\" QuorlexStoreTestReady QuorlexStoreTestQuit";
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &process_)) {
            HANDLE waits[] = {ready_, process_.hProcess};
            holding_ = WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
        }
    }
    ~Holder() {
        SetEvent(quit_);
        if (process_.hProcess) {
            if (WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(process_.hProcess, 1);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        CloseHandle(ready_);
        CloseHandle(quit_);
    }
    bool holding() const { return holding_; }

private:
    HANDLE ready_, quit_;
    PROCESS_INFORMATION process_ = {};
    bool holding_ = false;
};

