#include "rules/engine/literal_scanner.h"

#include <algorithm>

#include "rules/engine/radix_sort.h"

void LiteralScanner::Add(std::string_view literal) {
    if (literal.empty()) return;
    if (literal.size() < kGram) {
        shortLengths_[static_cast<unsigned char>(literal[0])] |= static_cast<unsigned char>(1u << (literal.size() - 1));
        return;
    }
    const unsigned char* t = reinterpret_cast<const unsigned char*>(literal.data());
    added_.push_back({Gram(t), Gram(t + literal.size() - kGram), uint32_t(literal.size())});
}

size_t LiteralScanner::SlotOf(uint32_t gram) const {
    const size_t mask = gramSlots_.size() - 1;
    size_t i = size_t(Mix(gram) >> 40) & mask;
    while (gramSlots_[i].count != 0 && gramSlots_[i].gram != gram) i = (i + 1) & mask;
    return i;
}

void LiteralScanner::SizeBits(size_t count, std::vector<uint64_t>& bits, unsigned& shift) {
    unsigned log = 6;
    while ((size_t(1) << log) < count * 16 && log < 30) ++log;
    shift = 64 - log;
    bits.assign((size_t(1) << log) / 64, 0);
}

void LiteralScanner::Build() {
    // By first four bytes, then by length (the lengths of a long list's literals stay short).
    uint32_t longest = 0;
    for (const Literal& l : added_) longest = std::max(longest, l.length);
    unsigned lengthBits = 1;
    while ((uint64_t(1) << lengthBits) <= longest) ++lengthBits;
    RadixSort(added_, lengthBits, [](const Literal& l) { return uint64_t(l.length); });
    RadixSort(added_, 32, [](const Literal& l) { return uint64_t(l.first); });
    size_t grams = 0;
    for (size_t i = 0; i < added_.size(); ++i) grams += i == 0 || added_[i].first != added_[i - 1].first;
    SizeBits(grams, gramBits_, gramShift_);
    SizeBits(added_.size(), spanBits_, spanShift_);
    size_t slots = 16;
    while (slots < grams * 2) slots *= 2;
    gramSlots_.assign(slots, GramSlot());
    lengths_.clear();
    for (size_t i = 0; i < added_.size();) {
        const uint32_t gram = added_[i].first;
        GramSlot& slot = gramSlots_[SlotOf(gram)];
        slot.gram = gram;
        slot.first = uint32_t(lengths_.size());
        for (; i < added_.size() && added_[i].first == gram; ++i) {
            if (lengths_.size() == slot.first || lengths_.back() != added_[i].length) lengths_.push_back(added_[i].length);
            SetBit(spanBits_, SpanHash(gram, added_[i].last, added_[i].length) >> spanShift_);
        }
        slot.count = uint32_t(lengths_.size()) - slot.first;
        SetBit(gramBits_, Mix(gram) >> gramShift_);
    }
    std::vector<Literal>().swap(added_);
}
