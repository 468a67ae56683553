// The registry on Windows, through the W API: key paths and names are converted from GBK to
// UTF-16 and back, so the program reads the same keys whatever the system's ANSI code page is.
#include "platform/registry.h"

#include <windows.h>

#include <cwchar>
#include <string>

#include "platform/win32/wide.h"

namespace platform {

namespace {

HKEY Handle(RegistryKey key) { return reinterpret_cast<HKEY>(key); }

// ExpandEnvironmentStrings with its size query; the text unchanged when the call fails.
std::wstring ExpandWide(const std::wstring& text) {
    const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) return text;
    std::wstring out(needed, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(text.c_str(), &out[0], needed);
    if (written == 0 || written > needed) return text;
    out.resize(wcsnlen(out.c_str(), out.size()));
    return out;
}

}  // namespace

long RegistryOpenKey(RegistryKey key, const Text& subKey, RegistryKey& out) {
    out = 0;
    HKEY opened = nullptr;
    const LONG rc = RegOpenKeyW(Handle(key), win32::ToWide(TextUpTo0(subKey)).c_str(), &opened);
    if (rc == ERROR_SUCCESS) out = reinterpret_cast<RegistryKey>(opened);
    return rc;
}

long RegistryEnumKey(RegistryKey key, uint32_t index, size_t bufferBytes, Text& name) {
    name.clear();
    // A registry key name has at most 255 characters; the GBK form is checked against the
    // caller's byte buffer afterwards.
    wchar_t buffer[256] = {};
    const LONG rc = RegEnumKeyW(Handle(key), index, buffer, 256);
    if (rc != ERROR_SUCCESS) return rc;
    const Text gbk = win32::FromWide(buffer, wcsnlen(buffer, 256));
    if (gbk.size() + 1 > bufferBytes) return kRegistryMoreData;
    name = gbk;
    return kRegistrySuccess;
}

long RegistryCloseKey(RegistryKey key) { return RegCloseKey(Handle(key)); }

bool ReadShellFolderValue(RegistryKey root, const Text& keyPath, const Text& valueName, Text& out) {
    out.clear();
    HKEY key = nullptr;
    if (RegOpenKeyExW(Handle(root), win32::ToWide(TextUpTo0(keyPath)).c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return false;
    const std::wstring name = win32::ToWide(TextUpTo0(valueName));
    std::wstring data;
    DWORD type = 0;
    LONG rc = ERROR_MORE_DATA;
    // The value may grow between the size query and the read: ask again until it fits.
    for (int attempt = 0; attempt < 4 && rc == ERROR_MORE_DATA; ++attempt) {
        DWORD bytes = 0;
        rc = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes);
        if (rc != ERROR_SUCCESS) break;
        data.assign(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = DWORD(data.size() * sizeof(wchar_t));
        rc = RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &bytes);
        if (rc == ERROR_SUCCESS) data.resize(wcsnlen(data.c_str(), bytes / sizeof(wchar_t)));
    }
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    out = win32::FromWide(type == REG_EXPAND_SZ ? ExpandWide(data) : data);
    return true;
}

Text ExpandEnvironmentText(const Text& text) {
    return win32::FromWide(ExpandWide(win32::ToWide(TextUpTo0(text))));
}

}  // namespace platform
