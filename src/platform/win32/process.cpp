#include "platform/process.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/win32/wide.h"

namespace platform {

bool CreateAnonymousPipe(PipeHandle& read, PipeHandle& write, const PipeAttributes& attributes, uint32_t size) {
    SECURITY_ATTRIBUTES sa;
    sa.nLength = attributes.length;
    sa.lpSecurityDescriptor = attributes.securityDescriptor;
    sa.bInheritHandle = attributes.inheritHandle ? TRUE : FALSE;
    HANDLE r = nullptr, w = nullptr;
    if (!CreatePipe(&r, &w, &sa, size)) return false;
    read = r;
    write = w;
    return true;
}

void ClosePipe(PipeHandle& pipe) {
    if (pipe) CloseHandle(HANDLE(pipe));
    pipe = nullptr;
}

void GetOwnStartupRecord(StartupRecord& record) {
    STARTUPINFOW own;
    own.cb = sizeof own;
    GetStartupInfoW(&own);
    record.flags = own.dwFlags;
    record.showWindow = own.wShowWindow;
    record.stdInput = own.hStdInput;
    record.stdOutput = own.hStdOutput;
    record.stdError = own.hStdError;
}

bool StartProcess(const Text& commandLine, const StartupRecord& startup, ProcessRecord& process) {
    STARTUPINFOW si;
    si.cb = sizeof si;
    GetStartupInfoW(&si);
    si.dwFlags = startup.flags;
    si.wShowWindow = startup.showWindow;
    si.hStdInput = HANDLE(startup.stdInput);
    si.hStdOutput = HANDLE(startup.stdOutput);
    si.hStdError = HANDLE(startup.stdError);
    std::wstring line = win32::ToWide(commandLine);
    std::vector<wchar_t> writable(line.begin(), line.end());
    writable.push_back(0);
    PROCESS_INFORMATION pi{};
    // Started suspended only long enough to put it into a job of its own, so that ending the
    // job also ends what the shell started.
    if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr, &si, &pi))
        return false;
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job && !AssignProcessToJobObject(job, pi.hProcess)) {
        CloseHandle(job);
        job = nullptr;
    }
    ResumeThread(pi.hThread);
    process.process = pi.hProcess;
    process.thread = pi.hThread;
    process.processId = pi.dwProcessId;
    process.threadId = pi.dwThreadId;
    process.group = job;
    return true;
}

void EndProcessGroup(ProcessRecord& process) {
    if (process.group) TerminateJobObject(HANDLE(process.group), 1);
    if (process.process) TerminateProcess(HANDLE(process.process), 1);
}

void CloseProcessRecord(ProcessRecord& process) {
    for (void** h : {&process.process, &process.thread, &process.group}) {
        if (*h) CloseHandle(HANDLE(*h));
        *h = nullptr;
    }
}

bool ReadPipe(PipeHandle pipe, char* buffer, uint32_t capacity, uint32_t& got, const Event* stop, ProcessRecord& process) {
    got = 0;
    bool ended = false;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(HANDLE(pipe), nullptr, 0, nullptr, &available, nullptr)) return false;
        if (available > 0) {
            DWORD n = 0;
            if (!ReadFile(HANDLE(pipe), buffer, std::min<DWORD>(available, capacity), &n, nullptr)) return false;
            got = n;
            return true;
        }
        if (stop && stop->IsSet()) {
            if (!ended) EndProcessGroup(process);
            ended = true;
            Sleep(10);
        } else if (stop) {
            WaitForSingleObject(HANDLE(stop->Native()), 20);
        } else {
            Sleep(20);
        }
    }
}

OsFamily GetOsFamily() {
    OSVERSIONINFOW v;
    v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&v)) return OsFamily::Other;
#pragma GCC diagnostic pop
    if (v.dwPlatformId == VER_PLATFORM_WIN32_NT) return OsFamily::WindowsNt;
    if (v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) return OsFamily::Windows9x;
    return OsFamily::Other;
}

void GetShortPathInto(const Text& path, Text& buffer, uint32_t limit) {
    std::vector<wchar_t> wide(limit + 1, 0);
    const DWORD n = GetShortPathNameW(win32::ToWide(path).c_str(), wide.data(), limit);
    if (n == 0 || n >= limit) return;
    Text shortPath = win32::FromWide(wide.data(), n);
    if (shortPath.size() >= buffer.size()) return;
    std::copy(shortPath.begin(), shortPath.end(), buffer.begin());
    buffer[shortPath.size()] = '\0';
}

void DispatchPendingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace platform
