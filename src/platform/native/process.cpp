#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/codepage.h"

extern char** environ;

namespace platform {

namespace {

int Fd(PipeHandle h) { return int(reinterpret_cast<intptr_t>(h)) - 1; }
PipeHandle Handle(int fd) { return reinterpret_cast<PipeHandle>(intptr_t(fd) + 1); }

std::string ToUtf8(const Text& gbk) { return WideToMultiByte(kCodePageUtf8, MultiByteToWide(kCodePageGbk, gbk)); }

// A program path (backslashes, GBK) as the system's path.
std::string Native(const Text& path) { return ToUtf8(ReplaceAllExact(TextUpTo0(path), "\\", "/")); }

// The command line split as the Windows C run time splits it: spaces separate, double quotes
// group (and are dropped), a backslash before a quote escapes it.
std::vector<Text> SplitCommandLine(const Text& line) {
    std::vector<Text> args;
    Text current;
    bool inQuotes = false, any = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && i + 1 < line.size() && line[i + 1] == '"') {
            current += '"';
            ++i;
            any = true;
        } else if (c == '"') {
            inQuotes = !inQuotes;
            any = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (any) args.push_back(current);
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any) args.push_back(current);
    return args;
}

std::string NativeArgument(const Text& arg) {
    if (!arg.empty() && arg[0] == '@') return "@" + Native(arg.substr(1));
    return Native(arg);
}

}  // namespace

bool CreateAnonymousPipe(PipeHandle& read, PipeHandle& write, const PipeAttributes&, uint32_t) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    read = Handle(fds[0]);
    write = Handle(fds[1]);
    return true;
}

void ClosePipe(PipeHandle& pipe) {
    if (pipe) close(Fd(pipe));
    pipe = nullptr;
}

void GetOwnStartupRecord(StartupRecord& record) {
    record.flags = 0;
    record.showWindow = 0;
    record.stdInput = Handle(0);
    record.stdOutput = Handle(1);
    record.stdError = Handle(2);
}

bool StartProcess(const Text& commandLine, const StartupRecord& startup, ProcessRecord& process) {
    const std::vector<Text> args = SplitCommandLine(commandLine);
    if (args.empty()) return false;
    std::vector<std::string> native;
    for (const Text& a : args) native.push_back(NativeArgument(a));
    std::vector<char*> argv;
    for (std::string& a : native) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    if (startup.flags & kUseStdHandles) {
        posix_spawn_file_actions_adddup2(&actions, Fd(startup.stdOutput), 1);
        posix_spawn_file_actions_adddup2(&actions, Fd(startup.stdError), 2);
    }
    // A process group of its own, so that ending it ends what it started too.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    // Windows starts any program file; here a file written by the program lacks the exec bits.
    struct stat st;
    if (stat(native[0].c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IXUSR))
        chmod(native[0].c_str(), st.st_mode | S_IXUSR | S_IXGRP | S_IXOTH);
    pid_t pid = 0;
    const int r = posix_spawn(&pid, native[0].c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (r != 0) return false;
    process.process = reinterpret_cast<void*>(intptr_t(pid));
    process.processId = uint32_t(pid);
    process.group = process.process;
    return true;
}

void EndProcessGroup(ProcessRecord& process) {
    if (process.processId) kill(-pid_t(process.processId), SIGKILL);
}

void CloseProcessRecord(ProcessRecord& process) {
    if (process.processId) {
        int status = 0;
        while (waitpid(pid_t(process.processId), &status, 0) < 0 && errno == EINTR) {
        }
    }
    process = ProcessRecord();
}

bool ReadPipe(PipeHandle pipe, char* buffer, uint32_t capacity, uint32_t& got, const Event* stop, ProcessRecord& process) {
    got = 0;
    bool ended = false;
    for (;;) {
        pollfd p{Fd(pipe), POLLIN, 0};
        const int ready = poll(&p, 1, 20);
        if (ready > 0) {
            const ssize_t n = read(Fd(pipe), buffer, capacity);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            got = uint32_t(n);
            return true;
        }
        if (ready < 0 && errno != EINTR) return false;
        if (stop && stop->IsSet() && !ended) {
            EndProcessGroup(process);
            ended = true;
        }
    }
}

OsFamily GetOsFamily() { return OsFamily::Other; }

void GetShortPathInto(const Text& path, Text& buffer, uint32_t limit) {
    struct stat st;
    if (stat(Native(path).c_str(), &st) != 0) return;
    const Text shortPath = TextUpTo0(path);
    if (shortPath.size() >= limit || shortPath.size() >= buffer.size()) return;
    std::copy(shortPath.begin(), shortPath.end(), buffer.begin());
    buffer[shortPath.size()] = '\0';
}

void DispatchPendingMessages() {}

}  // namespace platform
