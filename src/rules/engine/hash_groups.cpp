#include "rules/engine/hash_groups.h"

#include <algorithm>
#include <cstring>

#include "rules/engine/radix_sort.h"

namespace {

uint64_t NonZero(uint64_t key) { return key ? key : 1; }

}  // namespace

// MurmurHash64A: eight bytes at a step, the same 64-bit keys on 32-bit and 64-bit builds (the
// library's std::hash is 32 bits wide on the former).
uint64_t TextKey(std::string_view text) {
    constexpr uint64_t m = 0xC6A4A7935BD1E995ull;
    constexpr int r = 47;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t length = text.size();
    uint64_t h = 0x8445D61A4E774912ull ^ (uint64_t(length) * m);
    for (const unsigned char* end = p + (length & ~size_t(7)); p != end; p += 8) {
        uint64_t k;
        std::memcpy(&k, p, 8);
        k *= m;
        k ^= k >> r;
        k *= m;
        h ^= k;
        h *= m;
    }
    if (const size_t rest = length & 7) {
        for (size_t i = rest; i-- > 0;) h ^= uint64_t(p[i]) << (8 * i);
        h *= m;
    }
    h ^= h >> r;
    h *= m;
    h ^= h >> r;
    return NonZero(h);
}

uint64_t CombineKeys(uint64_t a, uint64_t b) { return NonZero(a ^ (b * 0xC2B2AE3D27D4EB4Full + 0x165667B19E3779F9ull)); }

void HashGroups::Add(uint64_t key, int item) { added_.emplace_back(NonZero(key), item); }

size_t HashGroups::SlotOf(uint64_t key) const {
    size_t i = FirstSlot(key);
    while (slots_[i].key != 0 && slots_[i].key != key) ++i;
    return i;
}

void HashGroups::Prefetch(uint64_t key) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[FirstSlot(NonZero(key))]);
}

void HashGroups::Build() {
    const size_t n = added_.size();
    size_ = n + n / 4 + 1;  // at most four fifths full
    unsigned bits = 1;
    while ((size_t(1) << bits) < n && bits < 63) ++bits;

    // The items by key, so by first slot, each key's items in the order they were added: the
    // slots and the items then fill from front to back. A key goes in its first slot or, when
    // that is taken, in the next free one after it, as a lookup probes; the table runs on past
    // its size as far as the last key needs, and ends with an empty slot.
    SortByKey(added_, bits);
    slots_.assign(size_ + 1, Slot());
    items_.resize(n);
    // About one bit in sixteen set: most keys that have no items stop at their bit.
    unsigned log = 6;
    while ((size_t(1) << log) < n * 16 && log < 30) ++log;
    filterShift_ = 64 - log;
    filter_.assign((size_t(1) << log) / 64, 0);
    size_t free = 0;  // every slot before it is taken or left behind
    for (size_t i = 0; i < n;) {
        const uint64_t key = added_[i].first;
        const size_t first = i;
        for (; i < n && added_[i].first == key; ++i) items_[i] = added_[i].second;
        const size_t at = std::max(free, FirstSlot(key));
        if (at + 1 >= slots_.size()) slots_.resize(at + 2);
        slots_[at] = {key, int(first), int(i - first)};
        free = at + 1;
        filter_[size_t(key >> filterShift_ >> 6)] |= uint64_t(1) << (key >> filterShift_ & 63);
    }
    std::vector<std::pair<uint64_t, int>>().swap(added_);
}

HashGroups::Items HashGroups::Find(uint64_t key) const {
    if (slots_.empty()) return {nullptr, nullptr};
    const Slot& slot = slots_[SlotOf(NonZero(key))];
    const int* start = items_.data() + slot.first;
    return {start, start + slot.count};
}
