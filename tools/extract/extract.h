/* The extraction core shared by the console extractor (myrar) and the 7z DLL: reads a 7z, RAR
 * (4 and 5) or ZIP archive with libarchive and writes its regular files and folders below a
 * destination directory. Entry names that would leave the destination (absolute, with a drive
 * or stream colon, with a ".." level) or hold control characters refuse the whole run. */
#ifndef QUORLEX_EXTRACT_H
#define QUORLEX_EXTRACT_H

#ifdef _WIN32
#include <wchar.h>
typedef wchar_t xchar; /* paths as UTF-16 on Windows */
#else
typedef char xchar; /* paths as the system's bytes elsewhere */
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum ExtractResult {
    EXTRACT_OK = 0,
    EXTRACT_CANNOT_OPEN = 1,   /* not an archive of a known kind, or not readable */
    EXTRACT_BAD_NAME = 2,      /* an entry name would leave the destination */
    EXTRACT_BAD_DATA = 3,      /* damaged, encrypted with a wrong password, unsupported method */
    EXTRACT_CANNOT_WRITE = 4,  /* a folder or file could not be created */
    EXTRACT_NOTHING = 5        /* a name list was given and no entry matched it */
};

struct ExtractOptions {
    int withoutPaths;          /* every file straight into the destination */
    const xchar* const* names; /* only these entries (case of ASCII letters ignored); NULL: all */
    int nameCount;
    const char* password;      /* for encrypted ZIP entries; NULL: none */
    /* Called after each entry with the percentage of the archive read so far. */
    void (*progress)(const xchar* name, int percent, void* context);
    void* context;
};

int ExtractArchiveTo(const xchar* archivePath, const xchar* destination, const struct ExtractOptions* options);

/* Counts the entries of an archive; -1 when it cannot be read. */
int CountArchiveEntries(const xchar* archivePath);

#ifdef __cplusplus
}
#endif

#endif
