#include "platform/codepage.h"

#include <windows.h>

#include <cstring>

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

namespace {

// UTF-8 is converted in pieces of about this many bytes, so that the UTF-16 text in between is
// never more than one piece: a list of many megabytes would otherwise need twice its size again
// in the browser's small address space.
constexpr size_t kPieceBytes = 64 * 1024;

// Where the piece that starts at `begin` ends: before an ASCII byte (which always starts a
// character of its own, however ill-formed the bytes before it), failing that before any byte
// that is no continuation byte (80..BF), failing that after kPieceBytes.
size_t PieceEnd(const ByteBuffer& bytes, size_t begin) {
    const size_t limit = begin + kPieceBytes;
    if (limit >= bytes.size()) return bytes.size();
    for (size_t i = limit; i > begin + kPieceBytes / 2; --i) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) return i;
    }
    for (size_t i = limit; i > begin + kPieceBytes / 2; --i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80 || c > 0xBF) return i;
    }
    return limit;
}

}  // namespace

ByteBuffer Utf8ToMultiByteUpTo0(unsigned codePage, const ByteBuffer& bytes) {
    ByteBuffer out;
    out.reserve(bytes.size());  // no character takes more bytes in code page 936 than in UTF-8
    std::wstring wide;
    for (size_t begin = 0; begin < bytes.size();) {
        const size_t end = PieceEnd(bytes, begin);
        const int inBytes = int(end - begin);
        const int units = MultiByteToWideChar(kCodePageUtf8, 0, bytes.data() + begin, inBytes, nullptr, 0);
        if (units <= 0) break;
        wide.resize(size_t(units));
        MultiByteToWideChar(kCodePageUtf8, 0, bytes.data() + begin, inBytes, &wide[0], units);
        // The text ends at its first NUL character.
        const size_t nul = wide.find(L'\0');
        const int keep = nul == std::wstring::npos ? units : int(nul);
        if (keep > 0) {
            const int size = WideCharToMultiByte(codePage, 0, wide.data(), keep, nullptr, 0, nullptr, nullptr);
            if (size <= 0) break;
            const size_t at = out.size();
            out.resize(at + size_t(size));
            WideCharToMultiByte(codePage, 0, wide.data(), keep, &out[at], size, nullptr, nullptr);
        }
        if (nul != std::wstring::npos) break;
        begin = end;
    }
    return out;
}

}  // namespace platform
