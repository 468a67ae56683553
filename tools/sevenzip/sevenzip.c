/* The 7z library the plug-in loads from memory. Two exports with the standard calling
 * convention (the callee removes its arguments):
 *   int List7z(const char* archive)                  number of entries, -1 when unreadable
 *   int unpack7z(const char* archive, const char* destination, int withPaths)   0 on success
 * Paths are code page 936 texts; the destination has no trailing backslash and exists. */
#include <windows.h>

#include <stdlib.h>

#include "extract.h"

static wchar_t* Widen(const char* s) {
    int n = s ? MultiByteToWideChar(936, 0, s, -1, NULL, 0) : 0;
    wchar_t* w;
    if (n <= 0) return NULL;
    w = (wchar_t*)malloc((size_t)n * sizeof(wchar_t));
    if (w && !MultiByteToWideChar(936, 0, s, -1, w, n)) {
        free(w);
        return NULL;
    }
    return w;
}

__declspec(dllexport) int WINAPI List7z(const char* archive) {
    wchar_t* path = Widen(archive);
    int count = path ? CountArchiveEntries(path) : -1;
    free(path);
    return count;
}

__declspec(dllexport) int WINAPI unpack7z(const char* archive, const char* destination, int withPaths) {
    wchar_t* from = Widen(archive);
    wchar_t* to = Widen(destination);
    struct ExtractOptions options = {0};
    int result = EXTRACT_CANNOT_OPEN;
    options.withoutPaths = !withPaths;
    if (from && to) result = ExtractArchiveTo(from, to, &options);
    free(from);
    free(to);
    return result;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) { return TRUE; }
