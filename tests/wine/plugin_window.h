// What the end-to-end tests share: the loaded plug-in, its window opened as a browser opens it,
// and small helpers for reading real controls from this (second) thread of the host process.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/layout.h"

typedef int32_t(WINAPI* NpInitialize)(void*);
typedef int32_t(WINAPI* NpGetEntryPoints)(void*);
typedef int32_t(WINAPI* NpShutdown)();
typedef const char*(WINAPI* NpGetMimeDescription)();

struct Plugin {
    HMODULE module = nullptr;
    NpInitialize initialize = nullptr;
    NpGetEntryPoints getEntryPoints = nullptr;
    NpShutdown shutdown = nullptr;
    NpGetMimeDescription getMime = nullptr;
};

// Loaded once by the driver's main before any test runs.
extern Plugin plugin;

// A GBK text as UTF-16.
std::wstring Wide(const char* gbk);
std::wstring TextOf(HWND hwnd);
std::wstring ClassOf(HWND hwnd);
bool WaitFor(const std::function<bool()>& condition, DWORD ms);

// One opening of the plug-in's window: NP_Initialize on a thread of its own, as a browser
// thread would call it.
class PluginWindow {
public:
    PluginWindow() {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, &threadId_);
        WaitFor([this] { return (hwnd_ = FindMainWindow()) != nullptr; }, 10000);
        // The first activation makes the blacklist box tall; wait for it.
        if (hwnd_) WaitFor([this] { return Height(编辑框_黑名单) == 266; }, 5000);
    }
    ~PluginWindow() {
        if (WaitForSingleObject(thread_, 0) != WAIT_OBJECT_0) {
            PostMessageW(hwnd_, WM_CLOSE, 0, 0);
            WaitForSingleObject(thread_, 10000);
        }
        CloseHandle(thread_);
    }
    HWND hwnd() const { return hwnd_; }
    bool returned() const { return WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0; }
    int32_t result() const { return result_; }

    HWND Control(int id) const {
        HWND parent = kMainWindowControls[id].parentId < 0 ? hwnd_ : Control(kMainWindowControls[id].parentId);
        return GetDlgItem(parent, kControlIdBase + id);
    }
    int Height(int id) const {
        RECT r;
        GetWindowRect(Control(id), &r);
        return int(r.bottom - r.top);
    }
    void Click(int id) const { SendMessageW(Control(id), BM_CLICK, 0, 0); }
    bool Checked(int id) const { return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    std::wstring Text(int id) const { return TextOf(Control(id)); }

    // Posts WM_CLOSE and waits for NP_Initialize to return; the milliseconds it took.
    DWORD CloseAndTime() {
        const ULONGLONG start = GetTickCount64();
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
        WaitForSingleObject(thread_, 10000);
        return DWORD(GetTickCount64() - start);
    }

private:
    static DWORD WINAPI Run(void* self) {
        static_cast<PluginWindow*>(self)->result_ = plugin.initialize(nullptr);
        return 0;
    }
    static BOOL CALLBACK MatchMainWindow(HWND h, LPARAM found) {
        if (ClassOf(h) == L"QuorlexMainWindow" && IsWindowVisible(h)) {
            *reinterpret_cast<HWND*>(found) = h;
            return FALSE;
        }
        return TRUE;
    }
    HWND FindMainWindow() const {
        HWND found = nullptr;
        EnumThreadWindows(threadId_, MatchMainWindow, reinterpret_cast<LPARAM>(&found));
        return found;
    }

    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HWND hwnd_ = nullptr;
    volatile int32_t result_ = -1;
};

