// Scans of short texts (the lines of a rule list, the runs of an XML document) eight bytes at
// a time, without a library call per scan.
#pragma once

#include <cstdint>
#include <cstring>

#include "base/text.h"

// Each test gives the high bit of bytes of `v` that are what its name says. The lowest bit set is exact; a bit above a set one may be set wrongly (a borrow), so only
// the lowest one (the first such byte, by index) is used. A zero byte is none of what the tests
// look for.
namespace swar {
constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u, kLows = 0x7F7F7F7F7F7F7F7Fu;
inline uint64_t Load(const char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline uint64_t Equal(uint64_t v, char c) {
    const uint64_t x = v ^ (kOnes * static_cast<unsigned char>(c));
    return (x - kOnes) & ~x & kHighs;
}
inline uint64_t High(uint64_t v) { return v & kHighs; }
// Equal without the wrong bits: exactly the bytes that are `c` (no borrow crosses a byte).
inline uint64_t EqualExact(uint64_t v, char c) {
    const uint64_t x = v ^ (kOnes * static_cast<unsigned char>(c));
    return ~(((x & kLows) + kLows) | x | kLows);
}
// The number of bytes marked in an exact test's result.
inline size_t Count(uint64_t bits) { return size_t(((bits >> 7) * kOnes) >> 56); }
// The index of the byte of the lowest bit set, in memory order (x86 and mingw targets are
// little-endian).
inline size_t FirstByte(uint64_t bits) { return size_t(__builtin_ctzll(bits)) / 8; }

// The index of the first byte at or after `i` for which `test` (made of the above, on eight
// bytes) sets a bit, or the length of the text. The last bytes are read as the eight that end
// the text, shifted so that the first one not looked at yet comes first and zero bytes follow.
template <typename Test>
size_t FindFirst(TextView text, size_t i, Test test) {
    const size_t n = text.size();
    for (; i + 8 <= n; i += 8) {
        if (const uint64_t bits = test(Load(text.data() + i))) return i + FirstByte(bits);
    }
    if (i >= n) return n;
    uint64_t v;
    if (n >= 8) {
        v = Load(text.data() + n - 8) >> (8 * (i - (n - 8)));
    } else {
        char last[8] = {};
        std::memcpy(last, text.data() + i, n - i);
        v = Load(last);
    }
    const uint64_t bits = test(v);
    return bits ? i + FirstByte(bits) : n;
}
// How many bytes of `text` are `c`.
inline size_t CountByte(TextView text, char c) {
    size_t count = 0, i = 0;
    for (; i + 8 <= text.size(); i += 8) count += Count(EqualExact(Load(text.data() + i), c));
    for (; i < text.size(); ++i) count += text[i] == c;
    return count;
}

// The index of the last byte of `text` that is `c` among its last `within` bytes (at most 8),
// or npos.
inline size_t FindLastNear(TextView text, char c, size_t within) {
    const size_t n = text.size();
    if (n >= 8) {
        // The last eight bytes, the ones before the last `within` masked out.
        const uint64_t bits = EqualExact(Load(text.data() + n - 8), c) & (~uint64_t(0) << (8 * (8 - within)));
        return bits ? n - 8 + size_t(63 - __builtin_clzll(bits)) / 8 : TextView::npos;
    }
    for (size_t k = n; k > 0 && n - k < within; --k) {
        if (text[k - 1] == c) return k - 1;
    }
    return TextView::npos;
}
}  // namespace swar
