// Code pages on Linux: glibc's iconv does the mapping of well-formed text; the rules Windows
// applies around it are written out here so that both builds give the same results.
//
// Code page 936: glibc's CP936 agrees with Windows on every character it knows. Windows also maps
// the user-defined areas and the unassigned GBK codes to the private use area (U+E000..U+E864,
// see kPrivateUseBlocks), 0xFF to U+F8F5, and encodes 412 characters it lacks by best fit
// (codepage936_best_fit.h). Invalid input: a lead byte at the end, or followed by a byte that
// cannot be a trail byte, becomes "?" together with that byte, except that a NUL after a lead
// byte stays a NUL. A character the code page lacks is encoded as "?", and so is each unit of
// a surrogate pair or a lone surrogate.
//
// Code page 65001: each ill-formed UTF-8 sequence becomes one U+FFFD per maximal subpart (the
// longest start of a well-formed sequence, at least one byte). On encoding, a lone surrogate
// becomes U+FFFD.
//
// UTF-8 straight to code page 936 (downloaded lists, read files) does not go through iconv: a
// table generated from the two-step conversion here (codepage936_table.h) gives the code of
// each character, and runs of ASCII are copied as they are.
#include "platform/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/native/codepage936_best_fit.h"
#include "platform/native/codepage936_table.h"

namespace platform {

namespace {

// The iconv descriptors of one thread, opened at first use and kept until the thread ends
// (descriptors cannot be shared between threads; opening one per call would load and unload
// glibc's CP936 module again and again).
enum Direction { kUtf8ToUtf16, kUtf16ToUtf8, kGbkToUtf16, kUtf16ToGbk, kDirections };

class Descriptors {
public:
    Descriptors() { cd_.fill(kNone); }
    ~Descriptors() {
        for (iconv_t cd : cd_)
            if (cd != kNone) iconv_close(cd);
    }
    Descriptors(const Descriptors&) = delete;
    Descriptors& operator=(const Descriptors&) = delete;

    iconv_t Get(Direction d) {
        static const char* const kNames[kDirections][2] = {
            {"UTF-16LE", "UTF-8"}, {"UTF-8", "UTF-16LE"}, {"UTF-16LE", "CP936"}, {"CP936", "UTF-16LE"}};
        if (cd_[d] == kNone) cd_[d] = iconv_open(kNames[d][0], kNames[d][1]);
        return cd_[d];
    }

private:
    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
    std::array<iconv_t, kDirections> cd_;
};

// Converts bytes [from, end) in direction `d` as far as iconv accepts them and appends the
// result to `out`. Returns the number of input bytes converted; conversion stops at the first
// sequence iconv rejects or finds incomplete.
size_t IconvRun(Direction d, const char* from, const char* end, ByteBuffer& out) {
    thread_local Descriptors descriptors;
    const iconv_t cd = descriptors.Get(d);
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(from);
    size_t inLeft = size_t(end - from);
    char buffer[4096];
    for (;;) {
        char* o = buffer;
        size_t outLeft = sizeof buffer;
        const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
        out.append(buffer, size_t(o - buffer));
        if (r != size_t(-1) || errno != E2BIG) break;
    }
    return size_t(in - from);
}

void AppendUnit(ByteBuffer& wide, uint16_t unit) {
    wide += char(unit & 0xFF);
    wide += char(unit >> 8);
}

uint16_t UnitAt(const ByteBuffer& wide, size_t unitIndex) {
    const auto lo = static_cast<unsigned char>(wide[2 * unitIndex]);
    const auto hi = static_cast<unsigned char>(wide[2 * unitIndex + 1]);
    return uint16_t(lo | (hi << 8));
}

bool IsSurrogate(uint16_t u) { return u >= 0xD800 && u <= 0xDFFF; }

// ---- ASCII ----------------------------------------------------------------------------------
// The same bytes in UTF-8 and in code page 936, and the same numbers as UTF-16 units: runs of it
// are copied here, and iconv sees only the rest (an ASCII text never opens it).

// Index of the first byte of 0x80 or more in [i, end), or end.
size_t AsciiRunEnd(const char* s, size_t i, size_t end) {
    constexpr uint64_t kHighs = 0x8080808080808080u;
    for (uint64_t v; i + 8 <= end; i += 8) {
        std::memcpy(&v, s + i, 8);
        if ((v & kHighs) != 0) break;
    }
    while (i < end && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    return i;
}

// Bytes [from, to) appended as UTF-16 units.
void AppendAsciiAsUnits(ByteBuffer& wide, const char* from, const char* to) {
    const size_t at = wide.size();
    wide.resize(at + 2 * size_t(to - from));
    char* out = &wide[at];
    for (; from < to; ++from, out += 2) {
        out[0] = *from;
        out[1] = '\0';
    }
}

// The index of the first unit of 0x80 or more at or after unit k, or the number of units;
// the units before it appended to `out` as bytes.
size_t AppendAsciiUnits(const ByteBuffer& wide, size_t k, ByteBuffer& out) {
    const size_t units = wide.size() / 2;
    size_t end = k;
    while (end < units && wide[2 * end + 1] == '\0' && static_cast<unsigned char>(wide[2 * end]) < 0x80) ++end;
    const size_t at = out.size();
    out.resize(at + (end - k));
    for (size_t j = k; j < end; ++j) out[at + (j - k)] = wide[2 * j];
    return end;
}

// The index of the first unit below 0x80 at or after unit k, or the number of units.
size_t NonAsciiUnitsEnd(const ByteBuffer& wide, size_t k) {
    const size_t units = wide.size() / 2;
    while (k < units && (wide[2 * k + 1] != '\0' || static_cast<unsigned char>(wide[2 * k]) >= 0x80)) ++k;
    return k;
}

// ---- UTF-8 ----------------------------------------------------------------------------------

// Well-formed UTF-8: for each range of lead bytes, the number of bytes of the sequence and the
// range the second byte must lie in (every later byte is 80..BF).
struct Utf8Lead {
    unsigned char leadLo, leadHi;
    int length;
    unsigned char secondLo, secondHi;
};
constexpr Utf8Lead kUtf8Leads[] = {
    {0x00, 0x7F, 1, 0, 0},       {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF},
    {0xE1, 0xEC, 3, 0x80, 0xBF}, {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF},
    {0xF0, 0xF0, 4, 0x90, 0xBF}, {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
};

// Looks at the sequence starting at index i. Returns true for a well-formed sequence, with its
// length in `length`; otherwise false, with the length of its maximal subpart (>= 1).
bool Utf8SequenceAt(const ByteBuffer& s, size_t i, size_t& length) {
    const auto lead = static_cast<unsigned char>(s[i]);
    length = 1;
    for (const Utf8Lead& l : kUtf8Leads) {
        if (lead < l.leadLo || lead > l.leadHi) continue;
        for (int k = 1; k < l.length; ++k) {
            if (i + k >= s.size()) return false;
            const auto c = static_cast<unsigned char>(s[i + k]);
            const unsigned char lo = k == 1 ? l.secondLo : 0x80;
            const unsigned char hi = k == 1 ? l.secondHi : 0xBF;
            if (c < lo || c > hi) return false;
            length = size_t(k) + 1;
        }
        return true;
    }
    return false;
}

ByteBuffer Utf8ToWide(const ByteBuffer& bytes) {
    ByteBuffer wide;
    const char* const s = bytes.data();
    size_t i = 0;
    while (i < bytes.size()) {
        const size_t ascii = AsciiRunEnd(s, i, bytes.size());
        AppendAsciiAsUnits(wide, s + i, s + ascii);
        i = ascii;
        if (i >= bytes.size()) break;
        // The run of well-formed sequences from i goes through iconv in one piece.
        size_t end = i, length = 0;
        while (end < bytes.size() && static_cast<unsigned char>(s[end]) >= 0x80 && Utf8SequenceAt(bytes, end, length))
            end += length;
        if (end > i) {
            const size_t done = IconvRun(kUtf8ToUtf16, s + i, s + end, wide);
            if (done < end - i) {  // iconv unusable: stop rather than guess
                return wide;
            }
        }
        if (end < bytes.size() && static_cast<unsigned char>(s[end]) >= 0x80) {
            Utf8SequenceAt(bytes, end, length);  // an ill-formed sequence: never an ASCII byte in it
            AppendUnit(wide, 0xFFFD);
            end += length;
        }
        i = end;
    }
    return wide;
}

// Units [from, to) of `wide` with surrogates replaced by `replacement`: lone ones only when
// `keepPairs`, every one otherwise, into `out`. iconv then sees well-formed UTF-16 only.
void ReplaceSurrogates(const ByteBuffer& wide, size_t from, size_t to, bool keepPairs, uint16_t replacement,
                       ByteBuffer& out) {
    out.clear();
    for (size_t k = from; k < to; ++k) {
        const uint16_t u = UnitAt(wide, k);
        if (keepPairs && u >= 0xD800 && u <= 0xDBFF && k + 1 < to) {
            const uint16_t next = UnitAt(wide, k + 1);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                AppendUnit(out, u);
                AppendUnit(out, next);
                ++k;
                continue;
            }
        }
        AppendUnit(out, IsSurrogate(u) ? replacement : u);
    }
}

ByteBuffer WideToUtf8(const ByteBuffer& wide) {
    ByteBuffer out, clean;
    for (size_t k = 0; k < wide.size() / 2;) {
        k = AppendAsciiUnits(wide, k, out);
        const size_t end = NonAsciiUnitsEnd(wide, k);
        if (end == k) break;
        ReplaceSurrogates(wide, k, end, true, 0xFFFD, clean);
        IconvRun(kUtf16ToUtf8, clean.data(), clean.data() + clean.size(), out);
        k = end;
    }
    return out;
}

// ---- code page 936 --------------------------------------------------------------------------

// The GBK codes glibc does not map and Windows maps to the private use area, in the order of
// their private-use characters from U+E000: lead bytes leadLo..leadHi, each with the trail bytes
// trailLo..trailHi (0x7F is never a trail byte and is skipped).
struct PrivateUseBlock {
    unsigned char leadLo, leadHi, trailLo, trailHi;
};
constexpr PrivateUseBlock kPrivateUseBlocks[] = {
    {0xAA, 0xAF, 0xA1, 0xFE}, {0xF8, 0xFE, 0xA1, 0xFE}, {0xA1, 0xA7, 0x40, 0xA0},
    {0xA2, 0xA2, 0xAB, 0xB0}, {0xA2, 0xA2, 0xE3, 0xE4}, {0xA2, 0xA2, 0xEF, 0xF0},
    {0xA2, 0xA2, 0xFD, 0xFE}, {0xA4, 0xA4, 0xF4, 0xFE}, {0xA5, 0xA5, 0xF7, 0xFE},
    {0xA6, 0xA6, 0xB9, 0xC0}, {0xA6, 0xA6, 0xD9, 0xDF}, {0xA6, 0xA6, 0xEC, 0xED},
    {0xA6, 0xA6, 0xF3, 0xF3}, {0xA6, 0xA6, 0xF6, 0xFE}, {0xA7, 0xA7, 0xC2, 0xD0},
    {0xA7, 0xA7, 0xF2, 0xFE}, {0xA8, 0xA8, 0x96, 0xA0}, {0xA8, 0xA8, 0xBC, 0xBC},
    {0xA8, 0xA8, 0xBF, 0xBF}, {0xA8, 0xA8, 0xC1, 0xC4}, {0xA8, 0xA8, 0xEA, 0xFE},
    {0xA9, 0xA9, 0x58, 0x58}, {0xA9, 0xA9, 0x5B, 0x5B}, {0xA9, 0xA9, 0x5D, 0x5F},
    {0xA9, 0xA9, 0x89, 0x95}, {0xA9, 0xA9, 0x97, 0xA3}, {0xA9, 0xA9, 0xF0, 0xFE},
    {0xD7, 0xD7, 0xFA, 0xFE}, {0xFE, 0xFE, 0x50, 0xA0},
};
constexpr uint16_t kPrivateUseFirst = 0xE000;

// Trail bytes counted without the gap at 0x7F.
unsigned TrailIndex(unsigned char t) { return t > 0x7F ? t - 1u : t; }
unsigned char TrailFromIndex(unsigned i) { return static_cast<unsigned char>(i >= 0x7F ? i + 1 : i); }
unsigned BlockWidth(const PrivateUseBlock& b) { return TrailIndex(b.trailHi) - TrailIndex(b.trailLo) + 1; }
unsigned BlockSize(const PrivateUseBlock& b) { return (b.leadHi - b.leadLo + 1u) * BlockWidth(b); }

bool IsGbkLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsGbkTrail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// The private-use character of a GBK code, or 0 when the code has none.
uint16_t PrivateUseOf(unsigned char lead, unsigned char trail) {
    unsigned base = kPrivateUseFirst;
    for (const PrivateUseBlock& b : kPrivateUseBlocks) {
        if (lead >= b.leadLo && lead <= b.leadHi && trail >= b.trailLo && trail <= b.trailHi) {
            return uint16_t(base + (lead - b.leadLo) * BlockWidth(b) + TrailIndex(trail) -
                            TrailIndex(b.trailLo));
        }
        base += BlockSize(b);
    }
    return 0;
}

// The GBK code of a private-use character, or 0 when it has none.
uint16_t GbkOfPrivateUse(uint16_t unit) {
    if (unit < kPrivateUseFirst) return 0;
    unsigned offset = unit - kPrivateUseFirst;
    for (const PrivateUseBlock& b : kPrivateUseBlocks) {
        if (offset < BlockSize(b)) {
            const unsigned lead = b.leadLo + offset / BlockWidth(b);
            const unsigned trail = TrailFromIndex(TrailIndex(b.trailLo) + offset % BlockWidth(b));
            return uint16_t(lead << 8 | trail);
        }
        offset -= BlockSize(b);
    }
    return 0;
}

uint16_t BestFitOf(uint16_t unit) {
    const auto* end = std::end(kBestFit936);
    const auto* it = std::lower_bound(std::begin(kBestFit936), end, unit,
                                      [](const BestFit936& e, uint16_t u) { return e.unit < u; });
    return (it != end && it->unit == unit) ? it->code : 0;
}

// The character Windows makes of the bytes at index i that iconv refused, and their count.
uint16_t GbkFallback(const ByteBuffer& s, size_t i, size_t& length) {
    const auto c = static_cast<unsigned char>(s[i]);
    length = 1;
    if (c == 0xFF) return 0xF8F5;
    if (!IsGbkLead(c) || i + 1 >= s.size() || s[i + 1] == '\0') return '?';
    const auto trail = static_cast<unsigned char>(s[i + 1]);
    length = 2;
    if (!IsGbkTrail(trail)) return '?';
    const uint16_t pua = PrivateUseOf(c, trail);
    return pua != 0 ? pua : '?';
}

ByteBuffer GbkToWide(const ByteBuffer& bytes) {
    ByteBuffer wide;
    const char* const begin = bytes.data();
    size_t i = 0;
    while (i < bytes.size()) {
        const size_t ascii = AsciiRunEnd(begin, i, bytes.size());
        AppendAsciiAsUnits(wide, begin + i, begin + ascii);
        i = ascii;
        // The characters up to the next byte below 0x80 that starts one (a trail byte may be
        // below 0x80): a lead byte takes the byte after it along.
        size_t end = i;
        while (end < bytes.size() && static_cast<unsigned char>(begin[end]) >= 0x80)
            end += IsGbkLead(static_cast<unsigned char>(begin[end])) ? 2 : 1;
        end = std::min(end, bytes.size());
        while (i < end) {
            i += IconvRun(kGbkToUtf16, begin + i, begin + end, wide);
            if (i >= end) break;
            size_t length = 1;
            AppendUnit(wide, GbkFallback(bytes, i, length));
            i += length;
        }
        i = std::max(i, end);
    }
    return wide;
}

void AppendGbkCode(ByteBuffer& out, uint16_t code) {
    if (code > 0xFF) out += char(code >> 8);
    out += char(code & 0xFF);
}

ByteBuffer WideToGbk(const ByteBuffer& wide) {
    ByteBuffer out, clean;
    for (size_t k = 0; k < wide.size() / 2;) {
        k = AppendAsciiUnits(wide, k, out);
        const size_t end = NonAsciiUnitsEnd(wide, k);
        if (end == k) break;
        // Code page 936 has no character outside the BMP: each surrogate unit, paired or not, is "?".
        ReplaceSurrogates(wide, k, end, false, '?', clean);
        const char* const begin = clean.data();
        size_t i = 0;
        while (i + 1 < clean.size()) {
            i += IconvRun(kUtf16ToGbk, begin + i, begin + clean.size(), out);
            if (i + 1 >= clean.size()) break;
            const uint16_t u = UnitAt(clean, i / 2);
            uint16_t code = '?';
            if (u == 0xF8F5) {
                code = 0xFF;
            } else if (const uint16_t pua = GbkOfPrivateUse(u)) {
                code = pua;
            } else if (const uint16_t fit = BestFitOf(u)) {
                code = fit;
            }
            AppendGbkCode(out, code);
            i += 2;
        }
        k = end;
    }
    return out;
}

// ---- UTF-8 straight to code page 936 ---------------------------------------------------------

uint16_t GbkCodeOf(uint32_t unit) { return kGbkTablePages[kGbkTablePageOf[unit >> 8]][unit & 0xFF]; }

void AppendCode(ByteBuffer& out, uint16_t code) {
    if (code > 0xFF) {
        const char pair[2] = {char(code >> 8), char(code & 0xFF)};
        out.append(pair, 2);
    } else {
        out += char(code);
    }
}

// The code point of the well-formed sequence of `length` bytes at s.
uint32_t CodePointOf(const unsigned char* s, size_t length) {
    static const unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    uint32_t cp = s[0] & kLeadMask[length];
    for (size_t k = 1; k < length; ++k) cp = cp << 6 | (s[k] & 0x3F);
    return cp;
}

ByteBuffer Utf8ToGbkUpTo0(const ByteBuffer& bytes) {
    // A NUL byte is a character of its own in UTF-8 and the only one that becomes a NUL.
    const void* nul = std::memchr(bytes.data(), 0, bytes.size());
    const size_t end = nul ? size_t(static_cast<const char*>(nul) - bytes.data()) : bytes.size();
    ByteBuffer out;
    out.reserve(end);  // no character takes more bytes in code page 936 than in UTF-8
    const char* const s = bytes.data();
    for (size_t i = 0; i < end;) {
        const size_t run = AsciiRunEnd(s, i, end);
        out.append(s + i, run - i);
        i = run;
        if (i >= end) break;
        size_t length = 0;
        if (!Utf8SequenceAt(bytes, i, length)) {
            AppendCode(out, GbkCodeOf(0xFFFD));  // one per maximal subpart
        } else if (length == 4) {
            out += "??";  // a surrogate pair: code page 936 has no character outside the BMP
        } else {
            AppendCode(out, GbkCodeOf(CodePointOf(reinterpret_cast<const unsigned char*>(s + i), length)));
        }
        i += length;
    }
    return out;
}

}  // namespace

ByteBuffer Utf8ToMultiByteUpTo0(unsigned codePage, const ByteBuffer& bytes) {
    if (codePage == kCodePageGbk) return Utf8ToGbkUpTo0(bytes);
    ByteBuffer out = WideToMultiByte(codePage, MultiByteToWide(kCodePageUtf8, bytes));
    const size_t nul = out.find('\0');
    if (nul != ByteBuffer::npos) out.resize(nul);
    return out;
}

ByteBuffer MultiByteToWide(unsigned codePage, const ByteBuffer& bytes) {
    if (codePage == kCodePageUtf8) return Utf8ToWide(bytes);
    if (codePage == kCodePageGbk) return GbkToWide(bytes);
    return ByteBuffer();
}

ByteBuffer WideToMultiByte(unsigned codePage, const ByteBuffer& wide) {
    if (codePage == kCodePageUtf8) return WideToUtf8(wide);
    if (codePage == kCodePageGbk) return WideToGbk(wide);
    return ByteBuffer();
}

}  // namespace platform
