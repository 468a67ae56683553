/* myrar: the console extractor the plug-in writes to the temporary directory and runs.
 *
 *   myrar x|e [-y] [-p<password>] [-max-entry=<bytes>] [-max-archive=<bytes>]
 *         [-max-entries=<count>] archive destination [@listfile]
 *
 * "x" keeps the folders stored in the archive, "e" puts every file straight into the
 * destination; "-y" is accepted (existing files are always replaced); the list file holds one
 * name per line (CR LF or LF). The "-max-" switches lower or raise the bounds of one file, of
 * all files and of the entries (extract.h; the plug-in gives none, so the defaults hold). Prints
 * one progress line per entry ending in a percentage and, on success, ends with the line
 * "全部OK" CR LF; any failure removes what the run wrote and ends with an error line instead. */
#define __USE_MINGW_ANSI_STDIO 1 /* %lld */
#include <stdio.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "extract.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define X(s) L##s
#define xcmp wcscmp
#define xncmp wcsncmp
#define xlen wcslen
#define xtoll wcstoll
static char* Narrow(const wchar_t* w, unsigned codePage) {
    int n = WideCharToMultiByte(codePage, 0, w, -1, NULL, 0, NULL, NULL);
    char* s = (char*)malloc(n > 0 ? (size_t)n : 1);
    if (n <= 0 || !s || !WideCharToMultiByte(codePage, 0, w, -1, s, n, NULL, NULL)) {
        if (s) s[0] = 0;
        return s;
    }
    return s;
}
static wchar_t* Widen(const char* s, unsigned codePage) {
    int n = MultiByteToWideChar(codePage, 0, s, -1, NULL, 0);
    wchar_t* w = (wchar_t*)malloc((n > 0 ? (size_t)n : 1) * sizeof(wchar_t));
    if (n <= 0 || !w || !MultiByteToWideChar(codePage, 0, s, -1, w, n)) {
        if (w) w[0] = 0;
        return w;
    }
    return w;
}
/* The program's own texts (and the list file) are code page 936. */
static char* ForOutput(const xchar* s) { return Narrow(s, 936); }
static xchar* FromList(const char* s) { return Widen(s, 936); }
static FILE* OpenList(const xchar* p) { return _wfopen(p, L"rb"); }
static char* PasswordText(const xchar* p) { return Narrow(p, CP_UTF8); }
#else
#define X(s) s
#define xcmp strcmp
#define xncmp strncmp
#define xlen strlen
#define xtoll strtoll
static char* ForOutput(const xchar* s) { return strdup(s); }
static xchar* FromList(const char* s) { return strdup(s); }
static FILE* OpenList(const xchar* p) { return fopen(p, "rb"); }
static char* PasswordText(const xchar* p) { return strdup(p); }
#endif

static void Say(const char* text) {
    fputs(text, stdout);
    fflush(stdout);
}

static void Progress(const xchar* name, int percent, void* context) {
    char* shown = ForOutput(name);
    printf("解压  %-48s %3d%%\r\n", shown ? shown : "", percent);
    fflush(stdout);
    free(shown);
}

/* The names of a list file, one a line; empty lines are skipped. */
static int ReadList(const xchar* path, xchar*** names) {
    FILE* f = OpenList(path);
    char line[4096];
    int count = 0;
    *names = NULL;
    if (!f) return -1;
    while (fgets(line, sizeof line, f)) {
        size_t n = strlen(line);
        xchar** grown;
        while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = 0;
        if (n == 0) continue;
        grown = (xchar**)realloc(*names, (size_t)(count + 1) * sizeof(xchar*));
        if (!grown) break;
        *names = grown;
        (*names)[count++] = FromList(line);
    }
    fclose(f);
    return count;
}

/* The bound switches: "-max-entry=", "-max-archive=" and "-max-entries=" with a decimal
 * number. 1 when `arg` set one of `bounds`, 0 when it is no bound switch, -1 for a bad number. */
static int BoundSwitch(const xchar* arg, struct ExtractBounds* bounds) {
    const struct {
        const xchar* name;
        long long* value;
    } switches[] = {{X("-max-entry="), &bounds->entryBytes},
                    {X("-max-archive="), &bounds->totalBytes},
                    {X("-max-entries="), &bounds->entries}};
    size_t i;
    for (i = 0; i < sizeof switches / sizeof *switches; ++i) {
        const size_t n = xlen(switches[i].name);
        xchar* end = NULL;
        if (xncmp(arg, switches[i].name, n) != 0) continue;
        if (arg[n] < X('0') || arg[n] > X('9')) return -1;
        errno = 0;
        *switches[i].value = xtoll(arg + n, &end, 10);
        return *end == 0 && errno == 0 ? 1 : -1;
    }
    return 0;
}

static int Fail(const char* why) {
    printf("错误: %s\r\n", why);
    fflush(stdout);
    return 1;
}

static int Run(int argc, xchar** argv) {
    static const char* const reasons[] = {
        "", "无法打开压缩文件", "压缩文件中的文件名不安全", "压缩文件已损坏或密码错误",
        "无法写入目标文件", "没有找到要解压的文件", "解压后的文件超过大小限制",
        "压缩文件中的文件过多"};
    static const char usage[] =
        "用法: myrar x|e [-y] [-p密码] [-max-entry=字节数] [-max-archive=字节数] [-max-entries=个数] "
        "压缩文件 目标目录 [@列表文件]";
    struct ExtractOptions options;
    struct ExtractBounds bounds = {EXTRACT_MAX_ENTRY_BYTES, EXTRACT_MAX_TOTAL_BYTES, EXTRACT_MAX_ENTRIES};
    const xchar *archive = NULL, *destination = NULL, *list = NULL;
    xchar** names = NULL;
    char* password = NULL;
    int i, result;
    memset(&options, 0, sizeof options);
    if (argc < 2 || (xcmp(argv[1], X("x")) != 0 && xcmp(argv[1], X("e")) != 0)) return Fail(usage);
    options.withoutPaths = xcmp(argv[1], X("e")) == 0;
    for (i = 2; i < argc; ++i) {
        const xchar* a = argv[i];
        const int bound = BoundSwitch(a, &bounds);
        if (bound < 0) {
            free(password);
            return Fail(usage);
        }
        if (bound > 0) continue;
        if (a[0] == X('-') && a[1] == X('p')) {
            free(password);
            password = PasswordText(a + 2);
        } else if (a[0] == X('-')) {
            /* -y and other switches: nothing to do */
        } else if (a[0] == X('@')) {
            list = a + 1;
        } else if (!archive) {
            archive = a;
        } else if (!destination) {
            destination = a;
        }
    }
    if (!archive || !destination) {
        free(password);
        return Fail(!archive ? "没有指定压缩文件" : "没有指定目标目录");
    }
    if (list) {
        int n = ReadList(list, &names);
        if (n < 0) {
            free(password);
            return Fail("无法读取列表文件");
        }
        options.names = (const xchar* const*)names;
        options.nameCount = n;
    }
    options.password = password;
    options.progress = Progress;
    options.bounds = &bounds;
    Say("\r\n正在从压缩文件解压\r\n\r\n");
    result = ExtractArchiveTo(archive, destination, &options);
    for (i = 0; i < options.nameCount; ++i) free(names[i]);
    free(names);
    free(password);
    if (result != EXTRACT_OK && options.written > 0) printf("已删除本次写入的 %lld 字节\r\n", options.written);
    if (result != EXTRACT_OK)
        return Fail(reasons[result > 0 && result < (int)(sizeof reasons / sizeof *reasons) ? result : 1]);
    Say("全部OK\r\n");
    return 0;
}

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    return Run(argc, argv);
}
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif
