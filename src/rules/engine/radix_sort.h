// A stable sort of many items by a small whole-number key, in passes over the items from front to
// back (a count, then a move into a second buffer), where a comparison sort or a hash table would
// jump about memory: for the tables of the removal of redundant rules, which run to millions of
// items.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

// Sorts `items` by key(item), a number below 2^bits, keeping the order of items with equal keys.
template <typename T, typename Key>
void RadixSort(std::vector<T>& items, unsigned bits, Key key) {
    if (items.size() < 2 || bits == 0) return;
    const unsigned passes = (bits + 10) / 11;  // digits of at most 11 bits: counts that stay in the cache
    const unsigned width = (bits + passes - 1) / passes;
    const uint64_t mask = (uint64_t(1) << width) - 1;
    std::vector<T> moved(items.size());
    std::vector<size_t> next(size_t(mask) + 2);
    for (unsigned pass = 0, shift = 0; pass < passes; ++pass, shift += width) {
        std::fill(next.begin(), next.end(), 0);
        for (const T& item : items) ++next[size_t((key(item) >> shift) & mask) + 1];
        for (size_t d = 1; d < next.size(); ++d) next[d] += next[d - 1];
        for (const T& item : items) moved[next[size_t((key(item) >> shift) & mask)]++] = item;
        items.swap(moved);
    }
}

// Sorts key-item pairs by key, keeping the order of items with equal keys: by the top `bits`
// bits of the key (1 to 64) in passes, then by the whole key among those with the same top bits
// (a few at most, when the keys are hashes and 2^bits is about the number of items).
inline void SortByKey(std::vector<std::pair<uint64_t, int>>& items, unsigned bits) {
    using Item = std::pair<uint64_t, int>;
    RadixSort(items, bits, [bits](const Item& a) { return a.first >> (64 - bits); });
    const auto byKey = [](const Item& a, const Item& b) { return a.first < b.first; };
    for (size_t begin = 0; begin < items.size();) {
        size_t end = begin + 1;
        while (end < items.size() && items[end].first >> (64 - bits) == items[begin].first >> (64 - bits)) ++end;
        if (end - begin > 16) {
            std::stable_sort(items.begin() + long(begin), items.begin() + long(end), byKey);
        } else {
            for (size_t i = begin + 1; i < end; ++i)
                for (size_t j = i; j > begin && byKey(items[j], items[j - 1]); --j) std::swap(items[j - 1], items[j]);
        }
        begin = end;
    }
}
