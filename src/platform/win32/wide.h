// GBK <-> UTF-16 for the W API calls of the Windows platform layer. Every text that reaches
// the window system, the file system or the registry passes through here, so the program
// behaves the same on any system locale.
#pragma once

#include <string>

#include "base/text.h"

namespace platform::win32 {

std::wstring ToWide(const Text& gbk);
Text FromWide(const wchar_t* text, size_t length);
inline Text FromWide(const std::wstring& text) { return FromWide(text.data(), text.size()); }

}  // namespace platform::win32
