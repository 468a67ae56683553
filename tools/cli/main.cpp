// quorlex: converts rule lists, reads and writes the browser's rule package, fetches the rule
// sources — the plug-in's own code behind a command line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "cli.h"
#include "plugin/startup.h"
#include "common/encoding.h"

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include "platform/win32/wide.h"
#else
#include <malloc.h>
#endif

namespace {

struct Command {
    const char* name;
    int (*run)(const Args&);
    bool plugin;  // needs the plug-in's start-up (its process-wide state, the extractor, the 7z library)
    const char* what;
};

const Command kCommands[] = {
    {"convert", RunConvert, false, "convert rule lists into browser rules"},
    {"package", RunPackage, true, "read or write the browser's rule package"},
    {"fetch", RunFetch, true, "fetch the rule sources and print the merged lists"},
    {"prune", RunPrune, false, "remove the rules of a list that other rules already cover"},
};

int Usage() {
    Text help = "usage: quorlex COMMAND [ARGS...]   (quorlex COMMAND --help for more)\n";
    for (const Command& c : kCommands) help += HelpLine(c.name, c.what, 9);
    Print(stderr, help, true);
    return 2;
}

int Run(const Args& args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") return Usage(), args.empty() ? 2 : 0;
    for (const Command& c : kCommands) {
        if (args[0] != c.name) continue;
        // Out of memory is a message and exit status 1, as for any other input it cannot take.
        try {
            if (c.plugin) PluginStartup();
            return c.run(Args(args.begin() + 1, args.end()));
        } catch (const std::exception&) {
            Say("quorlex: out of memory");
            return 1;
        }
    }
    Say("quorlex: unknown command " + args[0]);
    return Usage();
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    Args args;
    for (int i = 1; i < argc; ++i) args.push_back(platform::win32::FromWide(argv[i], wcslen(argv[i])));
    return Run(args);
}
#else
int main(int argc, char** argv) {
    // A conversion holds a few buffers of megabytes one after another. glibc would give each its
    // own fresh mapping and unmap it on free, so every buffer faulted in new pages; kept in the
    // heap, a freed buffer's pages serve the next one.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    // Work directories go where Windows' "tmp" would put them.
    const char* tmp = std::getenv("TMPDIR");
    setenv("tmp", tmp && *tmp ? tmp : "/tmp", 0);
    // Arguments arrive as UTF-8; the program's texts are GBK.
    Args args;
    for (int i = 1; i < argc; ++i) args.push_back(Utf8ToGbk(ByteBuffer(argv[i])));
    return Run(args);
}
#endif
