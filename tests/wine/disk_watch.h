// Disk use seen from outside a run: a thread that sums, again and again while the run goes on,
// the sizes of the files below some directories, and keeps the largest sum it saw. The largest
// sum is a sample, so it may miss a short peak, but never sees more than was there.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mirror.h"

// The names in `dir` (without "." and ".."), in the order the system lists them.
inline std::vector<std::wstring> NamesIn(const std::wstring& dir) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return names;
}

// The bytes of the files below `dir`.
inline uint64_t TreeSize(const std::wstring& dir) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return 0;
    uint64_t total = 0;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) total += TreeSize(dir + L"\\" + name);
        else total += (uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return total;
}

class DiskWatch {
public:
    // `dirs` names the directories to sum at each look (it may change while the run goes on).
    explicit DiskWatch(std::function<std::vector<std::wstring>()> dirs) : dirs_(std::move(dirs)) {
        thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
    }
    ~DiskWatch() { Peak(); }
    DiskWatch(const DiskWatch&) = delete;
    DiskWatch& operator=(const DiskWatch&) = delete;

    // Stops watching; the largest sum seen.
    uint64_t Peak() {
        if (thread_) {
            stop_ = true;
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
            thread_ = nullptr;
        }
        return peak_;
    }

private:
    static DWORD WINAPI Watch(void* self) {
        DiskWatch& w = *static_cast<DiskWatch*>(self);
        while (!w.stop_) {
            uint64_t sum = 0;
            for (const std::wstring& dir : w.dirs_()) sum += TreeSize(dir);
            if (sum > w.peak_) w.peak_ = sum;
            Sleep(1);
        }
        return 0;
    }

    std::function<std::vector<std::wstring>()> dirs_;
    HANDLE thread_ = nullptr;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> peak_{0};
};

// A hostile archive of the mirror (tests/mirror/archives.py), made there with 7zz.
inline std::string HostileArchive(const std::string& kind) {
    return WebFetch("http://" + MirrorAddress() + "/test/archive?kind=" + kind);
}
