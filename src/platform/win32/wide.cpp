#include "platform/win32/wide.h"

#include "platform/codepage.h"

namespace platform::win32 {

std::wstring ToWide(const Text& gbk) {
    const ByteBuffer units = MultiByteToWide(kCodePageGbk, gbk);
    return std::wstring(reinterpret_cast<const wchar_t*>(units.data()), units.size() / 2);
}

Text FromWide(const wchar_t* text, size_t length) {
    return TextUpTo0(WideToMultiByte(kCodePageGbk,
                                     ByteBuffer(reinterpret_cast<const char*>(text), length * 2)));
}

}  // namespace platform::win32
