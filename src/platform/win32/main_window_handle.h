// The main window's handle, for the Windows pieces that need an owner window (the clipboard);
// null while no window exists.
#pragma once

#include <windows.h>

namespace platform::win32 {

HWND MainWindowHandle();

}  // namespace platform::win32
