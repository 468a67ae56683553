#include "platform/codepage.h"

#include <windows.h>

namespace platform {

ByteBuffer MultiByteToWide(unsigned codePage, const ByteBuffer& bytes) {
    if (bytes.empty()) return ByteBuffer();
    const int units = MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    if (units <= 0) return ByteBuffer();
    ByteBuffer wide(size_t(units) * 2, '\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()),
                        reinterpret_cast<wchar_t*>(&wide[0]), units);
    return wide;
}

ByteBuffer WideToMultiByte(unsigned codePage, const ByteBuffer& wide) {
    const int units = int(wide.size() / 2);
    if (units == 0) return ByteBuffer();
    const wchar_t* w = reinterpret_cast<const wchar_t*>(wide.data());
    const int size = WideCharToMultiByte(codePage, 0, w, units, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return ByteBuffer();
    ByteBuffer out(size_t(size), '\0');
    WideCharToMultiByte(codePage, 0, w, units, &out[0], size, nullptr, nullptr);
    return out;
}

}  // namespace platform
