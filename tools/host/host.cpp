// The browser stand-in: loads tqnx.dll as a browser loads an NPAPI plug-in, resolves the four
// exports by name and calls them.
//
//   host [--entry-points] [--shutdown] [--mime] [--no-window] [--threads] [path\to\tqnx.dll]
//
// Without --no-window it calls NP_Initialize(NULL), which returns when the window is closed,
// and prints its result. With --threads it then unloads the plug-in and waits (up to 10 s) until
// the DLL is gone from the process: every thread the plug-in started holds a reference to it
// until its very end, so an unloaded DLL means none of them is left. It prints whether it went
// and how many threads of the process are left over (Wine's own libraries may keep some, such
// as WinINet's connection collector). Exit status: 0 when everything asked for behaved, 1
// otherwise.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

typedef int32_t(WINAPI* NpInitialize)(void*);
typedef int32_t(WINAPI* NpGetEntryPoints)(void*);
typedef int32_t(WINAPI* NpShutdown)();
typedef const char*(WINAPI* NpGetMimeDescription)();

namespace {

int ThreadsOfThisProcess() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    int n = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++n;
    }
    CloseHandle(snapshot);
    return n;
}

// Unloads `module` and waits up to 10 s until no thread keeps it loaded.
bool UnloadedInTime(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    FreeLibrary(module);
    for (int waited = 0; GetModuleHandleW(path) && waited < 10000; waited += 50) Sleep(50);
    return GetModuleHandleW(path) == nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool entryPoints = false, shutdown = false, mime = false, window = true, threads = false;
    std::wstring dll = L"tqnx.dll";
    for (int i = 1; i < argc; ++i) {
        if (!wcscmp(argv[i], L"--entry-points")) entryPoints = true;
        else if (!wcscmp(argv[i], L"--shutdown")) shutdown = true;
        else if (!wcscmp(argv[i], L"--mime")) mime = true;
        else if (!wcscmp(argv[i], L"--no-window")) window = false;
        else if (!wcscmp(argv[i], L"--threads")) threads = true;
        else dll = argv[i];
    }
    setvbuf(stdout, nullptr, _IONBF, 0);

    HMODULE module = LoadLibraryW(dll.c_str());
    if (!module) {
        printf("LoadLibrary failed: error %lu\n", GetLastError());
        return 1;
    }
    auto init = reinterpret_cast<NpInitialize>(GetProcAddress(module, "NP_Initialize"));
    auto getEntryPoints = reinterpret_cast<NpGetEntryPoints>(GetProcAddress(module, "NP_GetEntryPoints"));
    auto shut = reinterpret_cast<NpShutdown>(GetProcAddress(module, "NP_Shutdown"));
    auto getMime = reinterpret_cast<NpGetMimeDescription>(GetProcAddress(module, "NP_GetMIMEDescription"));
    if (!init || !getEntryPoints || !shut || !getMime) {
        printf("missing export\n");
        return 1;
    }
    bool ok = true;
    if (entryPoints) {
        unsigned char table[256], before[256];
        for (int i = 0; i < 256; ++i) table[i] = before[i] = static_cast<unsigned char>(i ^ 0x5A);
        const int32_t r = getEntryPoints(table);
        const bool untouched = memcmp(table, before, sizeof table) == 0;
        printf("NP_GetEntryPoints returned %d, table %s\n", int(r), untouched ? "untouched" : "changed");
        ok = ok && r == 0 && untouched;
    }
    if (mime) {
        const char* d = getMime();
        printf("NP_GetMIMEDescription returned %s\n", d ? "a text" : "NULL");
        ok = ok && d == nullptr;
    }
    if (shutdown) {
        const int32_t r = shut();
        printf("NP_Shutdown returned %d\n", int(r));
        ok = ok && r == 0;
    }
    if (window) {
        const int baseline = ThreadsOfThisProcess();
        const int32_t r = init(nullptr);
        printf("NP_Initialize returned %d\n", int(r));
        ok = ok && r == 0;
        if (threads) {
            const bool unloaded = UnloadedInTime(module);
            module = nullptr;
            printf("plug-in %s, threads left over %d\n", unloaded ? "unloaded" : "still loaded",
                   ThreadsOfThisProcess() - baseline);
            ok = ok && unloaded;
        }
    }
    if (module) FreeLibrary(module);
    return ok ? 0 : 1;
}
