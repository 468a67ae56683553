// The end-to-end driver: loads tqnx.dll as the browser does, then runs every test.
#include "plugin_window.h"

#include <cstdio>
#include <cstdlib>

Plugin plugin;

namespace {

template <typename F>
F Export(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(plugin.module, name)));
}

}  // namespace

std::wstring Wide(const char* gbk) {
    const int n = MultiByteToWideChar(936, 0, gbk, -1, nullptr, 0);
    std::wstring w(size_t(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(936, 0, gbk, -1, &w[0], n);
    w.resize(wcslen(w.c_str()));
    return w;
}

std::wstring TextOf(HWND hwnd) {
    const int n = GetWindowTextLengthW(hwnd);
    std::wstring text(size_t(n) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, &text[0], n + 1);
    text.resize(size_t(got > 0 ? got : 0));
    return text;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

bool WaitFor(const std::function<bool()>& condition, DWORD ms) {
    const ULONGLONG until = GetTickCount64() + ms;
    while (!condition()) {
        if (GetTickCount64() >= until) return false;
        Sleep(5);
    }
    return true;
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const char* dll = getenv("QUORLEX_DLL");
    plugin.module = LoadLibraryA(dll ? dll : "tqnx.dll");
    if (!plugin.module) {
        fprintf(stderr, "cannot load tqnx.dll: error %lu\n", GetLastError());
        return 1;
    }
    plugin.initialize = Export<NpInitialize>("NP_Initialize");
    plugin.getEntryPoints = Export<NpGetEntryPoints>("NP_GetEntryPoints");
    plugin.shutdown = Export<NpShutdown>("NP_Shutdown");
    plugin.getMime = Export<NpGetMimeDescription>("NP_GetMIMEDescription");
    if (!plugin.initialize || !plugin.getEntryPoints || !plugin.shutdown || !plugin.getMime) {
        fprintf(stderr, "tqnx.dll lacks an NPAPI export\n");
        return 1;
    }
    const int result = RUN_ALL_TESTS();
    FreeLibrary(plugin.module);
    return result;
}
