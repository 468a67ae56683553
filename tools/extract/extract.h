/* The extraction core shared by the console extractor (myrar) and the 7z DLL: reads a 7z, RAR
 * (4 and 5) or ZIP archive with libarchive and writes its regular files and folders below a
 * destination directory. Entry names that would leave the destination (absolute, with a drive
 * or stream colon, with a ".." level) or hold control characters refuse the whole run.
 *
 * Archives arrive over plain HTTP, so what one run may write is bounded: the bytes of one file,
 * the bytes of all files, and the number of entries (of the archive, and of files and folders
 * the run makes). The bytes are counted as they are written, whatever sizes the archive claims.
 * A run that fails after it began writing removes every file and folder it made, so a failure
 * leaves the destination as it found it (a file it replaced is gone too). */
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
    EXTRACT_NOTHING = 5,       /* a name list was given and no entry matched it */
    EXTRACT_TOO_LARGE = 6,     /* a file, or all files together, would pass their byte bound */
    EXTRACT_TOO_MANY = 7       /* more entries, or more files and folders made, than the bound */
};

/* The bounds of the tools. The largest rule list is a few megabytes; these are the ZIP
 * control's bounds, so no archive kind unpacks to more than another. */
#define EXTRACT_MAX_ENTRY_BYTES (64LL << 20)  /* one file */
#define EXTRACT_MAX_TOTAL_BYTES (256LL << 20) /* all files of one run */
#define EXTRACT_MAX_ENTRIES 10000LL           /* entries; also files and folders made */

struct ExtractBounds {
    long long entryBytes;
    long long totalBytes;
    long long entries;
};

struct ExtractOptions {
    int withoutPaths;          /* every file straight into the destination */
    const xchar* const* names; /* only these entries (case of ASCII letters ignored); NULL: all */
    int nameCount;
    const char* password;      /* for encrypted ZIP entries; NULL: none */
    /* Called after each entry with the percentage of the archive read so far. */
    void (*progress)(const xchar* name, int percent, void* context);
    void* context;
    const struct ExtractBounds* bounds; /* NULL: the EXTRACT_MAX_ values */
    long long written;                  /* set by the run: the bytes it wrote, undone or not */
};

int ExtractArchiveTo(const xchar* archivePath, const xchar* destination, struct ExtractOptions* options);

/* Counts the entries of an archive; -1 when it cannot be read. */
int CountArchiveEntries(const xchar* archivePath);

#ifdef __cplusplus
}
#endif

#endif
