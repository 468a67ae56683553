// Hovering as a user does: the real pointer moved with SendInput, so the system's own
// hit-testing decides which window gets the move (a posted WM_MOUSEMOVE skips it), and the
// window's shared tooltip read back.
#pragma once

#include "plugin_window.h"

#include <commctrl.h>

namespace hover_detail {

inline bool SendPointerTo(POINT p) {
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    INPUT in = {};
    in.type = INPUT_MOUSE;
    // Absolute moves are in 1/65536 of the screen; aim at the middle of the pixel.
    in.mi.dx = LONG((p.x * 65536 + 32768) / width);
    in.mi.dy = LONG((p.y * 65536 + 32768) / height);
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return SendInput(1, &in, sizeof in) == 1;
}

}  // namespace hover_detail

// Moves the real pointer to (x, y) of `hwnd`'s client area as a hand moves a mouse: in a few
// steps from where it is (Wine holds back the very first input of a process until the next one
// arrives); true once the system has the pointer there.
inline bool MovePointer(HWND hwnd, int x, int y) {
    POINT to = {x, y};
    ClientToScreen(hwnd, &to);
    POINT from;
    if (!GetCursorPos(&from)) from = to;
    const int steps = 4;
    for (int i = 1; i <= steps; ++i) {
        const POINT p = {from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps};
        if (!hover_detail::SendPointerTo(p)) return false;
        Sleep(10);
    }
    return WaitFor([&] {
        POINT at;
        return GetCursorPos(&at) && at.x == to.x && at.y == to.y;
    }, 2000);
}

// The same for a point of a control, given relative to that control.
inline bool MovePointerOver(const PluginWindow& w, int id, int x, int y) {
    return MovePointer(w.Control(id), x, y);
}

inline bool IsTopmost(HWND hwnd) { return (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

inline BOOL CALLBACK MatchTooltip(HWND h, LPARAM found) {
    if (_wcsicmp(ClassOf(h).c_str(), L"tooltips_class32") != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = h;
    return FALSE;
}

// The tooltip made on the window's thread, or null.
inline HWND FindTooltip(const PluginWindow& w) {
    HWND tooltip = nullptr;
    EnumThreadWindows(GetWindowThreadProcessId(w.hwnd(), nullptr), MatchTooltip,
                      reinterpret_cast<LPARAM>(&tooltip));
    return tooltip;
}

// The text `tooltip` holds for `control` of `w`'s window.
inline std::wstring TooltipText(HWND tooltip, const PluginWindow& w, HWND control) {
    std::wstring buffer(4096, L'\0');
    TOOLINFOW ti = {};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.hwnd = w.hwnd();
    ti.uId = reinterpret_cast<UINT_PTR>(control);
    ti.lpszText = &buffer[0];
    SendMessageW(tooltip, TTM_GETTEXTW, WPARAM(buffer.size()), reinterpret_cast<LPARAM>(&ti));
    buffer.resize(wcslen(buffer.c_str()));
    return buffer;
}
