// Processes and pipes for running the console extractor, shaped like CreatePipe,
// GetStartupInfoA, CreateProcessA, ReadFile, CloseHandle and GetShortPathNameA.
// Natively the command line is split the Windows way and run directly (no shell), its paths
// mapped like every other path of the program.
#pragma once

#include <cstdint>

#include "base/text.h"
#include "platform/threads.h"

namespace platform {

using PipeHandle = void*;

struct PipeAttributes {  // SECURITY_ATTRIBUTES
    uint32_t length = 12;
    void* securityDescriptor = nullptr;
    bool inheritHandle = true;
};

constexpr uint32_t kUseShowWindow = 1;
constexpr uint32_t kUseStdHandles = 256;

struct StartupRecord {  // STARTUPINFOA, the fields the program sets
    uint32_t size = 68;
    uint32_t flags = 0;
    uint16_t showWindow = 0;
    PipeHandle stdInput = nullptr;
    PipeHandle stdOutput = nullptr;
    PipeHandle stdError = nullptr;
};

struct ProcessRecord {  // PROCESS_INFORMATION, plus what ending the process needs
    void* process = nullptr;
    void* thread = nullptr;
    uint32_t processId = 0;
    uint32_t threadId = 0;
    void* group = nullptr;  // the process and everything it starts
};

// An anonymous pipe with the system's default buffer size when `size` is 0.
bool CreateAnonymousPipe(PipeHandle& read, PipeHandle& write, const PipeAttributes& attributes, uint32_t size);
void ClosePipe(PipeHandle& pipe);  // and sets it to nullptr
// The calling process's own start-up information (GetStartupInfoA).
void GetOwnStartupRecord(StartupRecord& record);

// Starts `commandLine` (no application name: the system parses the whole line) with handle
// inheritance on, the caller's environment and current directory. The process and everything
// it starts form one group that EndProcessGroup ends.
bool StartProcess(const Text& commandLine, const StartupRecord& startup, ProcessRecord& process);
// Ends every process of the group at once (used when the window goes).
void EndProcessGroup(ProcessRecord& process);
// Closes the handles of the record (the processes themselves go on).
void CloseProcessRecord(ProcessRecord& process);

// Reads at most `capacity` bytes into `buffer`; false when the read fails, which for a pipe
// whose writers have all closed is the end of the output. When `stop` is set while waiting,
// the group of `process` is ended, so the output ends soon after.
bool ReadPipe(PipeHandle pipe, char* buffer, uint32_t capacity, uint32_t& got, const Event* stop, ProcessRecord& process);

enum class OsFamily { WindowsNt, Windows9x, Other };
OsFamily GetOsFamily();

// GetShortPathNameA(path, buffer, limit) into `buffer` as it was given; the buffer is left
// untouched when the path does not exist. Natively an existing path is its own short form.
void GetShortPathInto(const Text& path, Text& buffer, uint32_t limit);

// Dispatches the calling thread's pending window messages.
void DispatchPendingMessages();

}  // namespace platform
