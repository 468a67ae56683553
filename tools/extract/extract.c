/* Extraction on libarchive; see extract.h. */
#include "extract.h"

#include <archive.h>
#include <archive_entry.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#define X(s) L##s
#define xlen wcslen
#define xcpy wcscpy
#define xcat wcscat
#define SEP L'\\'
static FILE* OpenForWrite(const xchar* p) { return _wfopen(p, L"wb"); }
static int MakeDir(const xchar* p) { return _wmkdir(p); }
static int RemoveFile(const xchar* p) { return _wremove(p); }
static int RemoveDir(const xchar* p) { return _wrmdir(p); }
static int IsDir(const xchar* p) {
    struct _stat64 st;
    return _wstat64(p, &st) == 0 && (st.st_mode & _S_IFDIR);
}
static long long SizeOf(const xchar* p) {
    struct _stat64 st;
    return _wstat64(p, &st) == 0 ? (long long)st.st_size : -1;
}
static int OpenArchive(struct archive* a, const xchar* p) { return archive_read_open_filename_w(a, p, 65536); }
static const xchar* EntryName(struct archive_entry* e) { return archive_entry_pathname_w(e); }
#else
#define X(s) s
#define xlen strlen
#define xcpy strcpy
#define xcat strcat
#define SEP '/'
static FILE* OpenForWrite(const xchar* p) { return fopen(p, "wb"); }
static int MakeDir(const xchar* p) { return mkdir(p, 0777); }
static int RemoveFile(const xchar* p) { return remove(p); }
static int RemoveDir(const xchar* p) { return rmdir(p); }
static int IsDir(const xchar* p) {
    struct stat st;
    return stat(p, &st) == 0 && S_ISDIR(st.st_mode);
}
static long long SizeOf(const xchar* p) {
    struct stat st;
    return stat(p, &st) == 0 ? (long long)st.st_size : -1;
}
static int OpenArchive(struct archive* a, const xchar* p) { return archive_read_open_filename(a, p, 65536); }
static const xchar* EntryName(struct archive_entry* e) { return archive_entry_pathname(e); }
#endif

static int IsSep(xchar c) { return c == X('/') || c == X('\\'); }

static struct archive* OpenReader(const xchar* path, const char* password) {
    struct archive* a = archive_read_new();
    if (!a) return NULL;
    archive_read_support_format_7zip(a);
    archive_read_support_format_rar(a);
    archive_read_support_format_rar5(a);
    archive_read_support_format_zip(a);
    if (password && *password) archive_read_add_passphrase(a, password);
    if (OpenArchive(a, path) != ARCHIVE_OK) {
        archive_read_free(a);
        return NULL;
    }
    return a;
}

/* A name stays below the destination: relative, no drive or stream colon, no ".." level, no
 * control character. */
static int NameIsSafe(const xchar* name) {
    size_t n = xlen(name), i, start = 0;
    if (n == 0 || IsSep(name[0])) return 0;
    for (i = 0; i <= n; ++i) {
        xchar c = name[i];
        if (i < n && ((unsigned long)c < 0x20 || c == X(':'))) return 0;
        if (i == n || IsSep(c)) {
            if (i - start == 2 && name[start] == X('.') && name[start + 1] == X('.')) return 0;
            start = i + 1;
        }
    }
    return 1;
}

static xchar FoldAscii(xchar c) {
    if (c >= X('A') && c <= X('Z')) return (xchar)(c - X('A') + X('a'));
    if (c == X('/')) return X('\\');
    return c;
}

static int SameName(const xchar* a, const xchar* b) {
    while (*a && *b && FoldAscii(*a) == FoldAscii(*b)) ++a, ++b;
    return *a == 0 && *b == 0;
}

static int Wanted(const xchar* name, const struct ExtractOptions* o) {
    int i;
    if (!o->names) return 1;
    for (i = 0; i < o->nameCount; ++i)
        if (SameName(name, o->names[i])) return 1;
    return 0;
}

/* dest + SEP + name (separators made the system's own); NULL when out of memory. */
static xchar* JoinPath(const xchar* dest, const xchar* name) {
    size_t d = xlen(dest), i;
    xchar* p = (xchar*)malloc((d + xlen(name) + 2) * sizeof(xchar));
    if (!p) return NULL;
    xcpy(p, dest);
    if (d > 0 && !IsSep(p[d - 1])) p[d++] = SEP, p[d] = 0;
    xcat(p, name);
    for (i = d; p[i]; ++i)
        if (IsSep(p[i])) p[i] = SEP;
    return p;
}

/* What a run has made so far, in the order it made it, and what it has written. */
struct Run {
    struct ExtractBounds bounds;
    xchar** made;    /* copies of the paths of the files and folders made */
    char* madeIsDir; /* per path: a folder */
    long madeCount;
    long long written;
};

/* Notes `path` as made by the run, before it is made, so that an undo also finds a file whose
 * making failed half-way. EXTRACT_TOO_MANY past the bound, EXTRACT_CANNOT_WRITE without memory. */
static int NoteMade(struct Run* run, const xchar* path, int isDir) {
    xchar** paths;
    char* dirs;
    xchar* copy;
    if (run->madeCount >= run->bounds.entries) return EXTRACT_TOO_MANY;
    paths = (xchar**)realloc(run->made, (size_t)(run->madeCount + 1) * sizeof *paths);
    if (paths) run->made = paths;
    dirs = (char*)realloc(run->madeIsDir, (size_t)(run->madeCount + 1));
    if (dirs) run->madeIsDir = dirs;
    copy = (xchar*)malloc((xlen(path) + 1) * sizeof(xchar));
    if (!paths || !dirs || !copy) {
        free(copy);
        return EXTRACT_CANNOT_WRITE;
    }
    xcpy(copy, path);
    run->made[run->madeCount] = copy;
    run->madeIsDir[run->madeCount++] = (char)isDir;
    return EXTRACT_OK;
}

/* Removes what the run made, the latest first: the files of a folder go before the folder. */
static void UndoRun(struct Run* run) {
    long i;
    for (i = run->madeCount; i-- > 0;) {
        if (run->madeIsDir[i]) RemoveDir(run->made[i]);
        else RemoveFile(run->made[i]);
    }
}

static void EndRun(struct Run* run) {
    long i;
    for (i = 0; i < run->madeCount; ++i) free(run->made[i]);
    free(run->made);
    free(run->madeIsDir);
}

/* Creates every missing folder of `path` from position `from` on (the destination itself
 * exists); with `last` also the final level. */
static int MakeLevels(struct Run* run, xchar* path, size_t from, int last) {
    size_t i, n = xlen(path);
    for (i = from; i <= n; ++i) {
        xchar keep;
        int result = EXTRACT_OK;
        if (i < n && path[i] != SEP) continue;
        if (i == n && !last) break;
        if (i == 0 || path[i - 1] == X(':') || path[i - 1] == SEP) continue; /* root, drive, "\\" */
        keep = path[i];
        path[i] = 0;
        if (!IsDir(path)) {
            result = NoteMade(run, path, 1);
            if (result == EXTRACT_OK && MakeDir(path) != 0 && !IsDir(path)) result = EXTRACT_CANNOT_WRITE;
        }
        path[i] = keep;
        if (result != EXTRACT_OK) return result;
    }
    return EXTRACT_OK;
}

static const xchar* BaseName(const xchar* name) {
    const xchar* b = name;
    for (; *name; ++name)
        if (IsSep(*name)) b = name + 1;
    return b;
}

/* Writes the entry's data, counting every byte against the bounds before it reaches the file. */
static int WriteEntry(struct Run* run, struct archive* a, const xchar* target) {
    static char buffer[65536];
    long long entryBytes = 0;
    la_ssize_t got;
    int result = NoteMade(run, target, 0);
    FILE* f;
    if (result != EXTRACT_OK) return result;
    f = OpenForWrite(target);
    if (!f) return EXTRACT_CANNOT_WRITE;
    while ((got = archive_read_data(a, buffer, sizeof buffer)) > 0) {
        if (got > run->bounds.entryBytes - entryBytes || got > run->bounds.totalBytes - run->written) {
            result = EXTRACT_TOO_LARGE;
            break;
        }
        if (fwrite(buffer, 1, (size_t)got, f) != (size_t)got) {
            result = EXTRACT_CANNOT_WRITE;
            break;
        }
        entryBytes += got;
        run->written += got;
    }
    if (fclose(f) != 0 && result == EXTRACT_OK) result = EXTRACT_CANNOT_WRITE;
    if (result == EXTRACT_OK && got < 0) result = EXTRACT_BAD_DATA;
    return result;
}

/* Every name is checked, and the entries counted, before anything is written, so a hostile
 * archive writes nothing. */
static int CheckNames(const xchar* archivePath, const char* password, long long maxEntries) {
    struct archive* a = OpenReader(archivePath, password);
    struct archive_entry* e;
    long long count = 0;
    int r, result = EXTRACT_OK;
    if (!a) return EXTRACT_CANNOT_OPEN;
    while ((r = archive_read_next_header(a, &e)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
        const xchar* name = EntryName(e);
        if (!name || !NameIsSafe(name)) {
            result = EXTRACT_BAD_NAME;
            break;
        }
        if (++count > maxEntries) {
            result = EXTRACT_TOO_MANY;
            break;
        }
    }
    if (result == EXTRACT_OK && r != ARCHIVE_EOF) result = EXTRACT_BAD_DATA;
    archive_read_free(a);
    return result;
}

static int Extract(struct Run* run, const xchar* archivePath, const xchar* destination, const struct ExtractOptions* o) {
    struct archive* a;
    struct archive_entry* e;
    long long total = SizeOf(archivePath);
    size_t destLen = xlen(destination);
    int r = ARCHIVE_OK, result, matched = 0;
    result = CheckNames(archivePath, o->password, run->bounds.entries);
    if (result != EXTRACT_OK) return result;
    {
        xchar* dest = JoinPath(destination, X(""));
        result = dest ? MakeLevels(run, dest, 0, 1) : EXTRACT_CANNOT_WRITE;
        free(dest);
        if (result != EXTRACT_OK) return result;
    }
    a = OpenReader(archivePath, o->password);
    if (!a) return EXTRACT_CANNOT_OPEN;
    while (result == EXTRACT_OK && ((r = archive_read_next_header(a, &e)) == ARCHIVE_OK || r == ARCHIVE_WARN)) {
        const xchar* name = EntryName(e);
        const int type = (int)archive_entry_filetype(e);
        xchar* target;
        if (!name || !NameIsSafe(name)) {
            result = EXTRACT_BAD_NAME;
            break;
        }
        if ((type != AE_IFREG && type != AE_IFDIR) || !Wanted(name, o)) continue;
        if (type == AE_IFDIR && o->withoutPaths) continue;
        ++matched;
        target = JoinPath(destination, o->withoutPaths ? BaseName(name) : name);
        if (!target) {
            result = EXTRACT_CANNOT_WRITE;
            break;
        }
        result = MakeLevels(run, target, destLen + 1, type == AE_IFDIR);
        if (result == EXTRACT_OK && type == AE_IFREG) result = WriteEntry(run, a, target);
        free(target);
        if (o->progress) {
            long long done = archive_filter_bytes(a, -1);
            int percent = total > 0 ? (int)(done * 100 / total) : 100;
            o->progress(name, percent < 0 ? 0 : percent > 100 ? 100 : percent, o->context);
        }
    }
    if (result == EXTRACT_OK && r != ARCHIVE_EOF) result = EXTRACT_BAD_DATA;
    if (result == EXTRACT_OK && o->names && matched == 0) result = EXTRACT_NOTHING;
    archive_read_free(a);
    return result;
}

int ExtractArchiveTo(const xchar* archivePath, const xchar* destination, struct ExtractOptions* o) {
    static const struct ExtractBounds defaults = {EXTRACT_MAX_ENTRY_BYTES, EXTRACT_MAX_TOTAL_BYTES, EXTRACT_MAX_ENTRIES};
    struct ExtractOptions none;
    struct Run run;
    int result;
    if (!o) {
        memset(&none, 0, sizeof none);
        o = &none;
    }
    memset(&run, 0, sizeof run);
    run.bounds = o->bounds ? *o->bounds : defaults;
    result = Extract(&run, archivePath, destination, o);
    if (result != EXTRACT_OK) UndoRun(&run);
    o->written = run.written;
    EndRun(&run);
    return result;
}

int CountArchiveEntries(const xchar* archivePath) {
    struct archive* a = OpenReader(archivePath, NULL);
    struct archive_entry* e;
    int count = 0, r;
    if (!a) return -1;
    while ((r = archive_read_next_header(a, &e)) == ARCHIVE_OK || r == ARCHIVE_WARN) ++count;
    archive_read_free(a);
    return r == ARCHIVE_EOF ? count : -1;
}
