// The Windows clipboard, in its Unicode text format (GBK converted as everywhere else).
#include "platform/clipboard.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/main_window_handle.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

// Opened with the main window as its owner: Windows refuses SetClipboardData on a clipboard
// opened without one (after EmptyClipboard has already wiped it). Another program may hold the
// clipboard for a moment: try for about a third of a second.
bool Open() {
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (OpenClipboard(win32::MainWindowHandle())) return true;
        Sleep(15);
    }
    return false;
}

}  // namespace

Text GetClipboardText() {
    if (!Open()) return Text();
    Text text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const wchar_t* w = static_cast<const wchar_t*>(GlobalLock(data))) {
            // Bounded by the memory block, in case the text lacks its terminating zero.
            const size_t units = GlobalSize(data) / sizeof(wchar_t);
            size_t length = 0;
            while (length < units && w[length]) ++length;
            text = win32::FromWide(w, length);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

bool SetClipboardText(const Text& text) {
    const std::wstring w = win32::ToWide(text);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (w.size() + 1) * sizeof(wchar_t));
    if (!block) return false;
    if (void* p = GlobalLock(block)) {
        memcpy(p, w.c_str(), (w.size() + 1) * sizeof(wchar_t));
        GlobalUnlock(block);
    }
    if (!Open()) {
        GlobalFree(block);
        return false;
    }
    EmptyClipboard();
    const bool ok = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    CloseClipboard();
    if (!ok) GlobalFree(block);
    return ok;
}

void EmptyClipboardContent() {
    if (!Open()) return;
    EmptyClipboard();
    CloseClipboard();
}

}  // namespace platform
