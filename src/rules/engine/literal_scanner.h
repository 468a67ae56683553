// Finds the places in a text where one of many literal texts may stand, so that only those
// places need a lookup of the text itself (in a table of the literals' keys). A quick filter on
// each literal's length and first and last bytes: a bit set of the hashed first four bytes, the
// lengths of the literals that start so, then a bit set of the hashed first four bytes, last four
// bytes and length together. Used to find, for each rule, the anywhere patterns that may cover it.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

class LiteralScanner {
public:
    void Add(std::string_view literal);  // before Build; an empty literal is left out
    void Build();

    // Calls found(begin, length) for every span of `text` that has the length and the first
    // and last four bytes of a literal (the bytes, for one shorter than four): each place where
    // a literal stands, and a few where none does. A place's spans come by length, shortest
    // first.
    template <typename Found>
    void Scan(std::string_view text, Found&& found) const {
        const unsigned char* t = reinterpret_cast<const unsigned char*>(text.data());
        const size_t size = text.size();
        for (size_t p = 0; p < size; ++p) {
            for (unsigned bits = shortLengths_[t[p]], length = 1; bits != 0; bits >>= 1, ++length) {
                if ((bits & 1) && length <= size - p) found(p, size_t(length));
            }
            if (size - p < kGram) continue;
            const uint32_t first = Gram(t + p);
            if (!TestBit(gramBits_, Mix(first) >> gramShift_)) continue;
            const GramSlot& slot = gramSlots_[SlotOf(first)];
            for (uint32_t k = slot.first; k < slot.first + slot.count && lengths_[k] <= size - p; ++k) {
                const uint32_t length = lengths_[k];
                if (TestBit(spanBits_, SpanHash(first, Gram(t + p + length - kGram), length) >> spanShift_))
                    found(p, size_t(length));
            }
        }
    }

private:
    static constexpr size_t kGram = 4;

    struct GramSlot {
        uint32_t gram = 0;
        uint32_t first = 0;  // the gram's lengths in lengths_, ascending
        uint32_t count = 0;  // 0: an empty slot
    };
    struct Literal {
        uint32_t first, last, length;  // the first and the last four bytes
    };

    static uint32_t Gram(const unsigned char* at) {
        uint32_t gram;
        std::memcpy(&gram, at, kGram);
        return gram;
    }
    static uint64_t Mix(uint64_t x) { return x * 0x9E3779B97F4A7C15ull; }
    static uint64_t SpanHash(uint32_t first, uint32_t last, uint32_t length) {
        return Mix(first ^ Mix(last ^ Mix(length)));
    }
    static bool TestBit(const std::vector<uint64_t>& bits, uint64_t bit) { return bits[size_t(bit >> 6)] >> (bit & 63) & 1; }
    static void SetBit(std::vector<uint64_t>& bits, uint64_t bit) { bits[size_t(bit >> 6)] |= uint64_t(1) << (bit & 63); }
    // A bit set of about sixteen bits for each of `count` items, and the shift that takes a
    // 64-bit hash to a bit of it.
    static void SizeBits(size_t count, std::vector<uint64_t>& bits, unsigned& shift);
    size_t SlotOf(uint32_t gram) const;  // where `gram` is, or the empty slot for it

    // Literals of 1 to 3 bytes, by their first byte: bit k for one of k + 1 bytes.
    unsigned char shortLengths_[256] = {};
    // Longer ones: a bit for each first four bytes; those bytes' lengths; a bit for each.
    std::vector<uint64_t> gramBits_ = std::vector<uint64_t>(1);
    unsigned gramShift_ = 58;
    std::vector<GramSlot> gramSlots_ = std::vector<GramSlot>(1);  // open addressing
    std::vector<uint32_t> lengths_;
    std::vector<uint64_t> spanBits_ = std::vector<uint64_t>(1);
    unsigned spanShift_ = 58;
    std::vector<Literal> added_;  // before Build
};
