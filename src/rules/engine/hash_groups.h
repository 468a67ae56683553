// Items grouped by a 64-bit key, in flat arrays: one probe into a table of keys, then the
// group's items side by side. Made for indexes of up to millions of rules, where the lookups,
// not the work on what they find, would otherwise take the time: the table is filled front to
// back from the items sorted by slot, a small filter answers most lookups of keys that no item
// has, and a caller with many lookups at hand fetches their filter words and slots before it
// reads them (PrefetchFilter, Prefetch), so that they wait for memory together.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

class HashGroups {
public:
    void Add(uint64_t key, int item);  // before Build; a group keeps its items in this order
    void Build();

    struct Items {
        const int* begin;
        const int* end;
    };
    Items Find(uint64_t key) const;  // empty when no item has `key`

    // False when no item has `key`; true for every key that has items and for few others (a bit
    // for each key, about one in sixteen set).
    bool MayHave(uint64_t key) const {
        const uint64_t bit = key >> filterShift_;
        return filter_[size_t(bit >> 6)] >> (bit & 63) & 1;
    }

    // Bring what MayHave(key) and Find(key) read first into the cache.
    void PrefetchFilter(uint64_t key) const { __builtin_prefetch(&filter_[size_t(key >> filterShift_ >> 6)]); }
    void Prefetch(uint64_t key) const;

    // Calls visit(key, items) for each group.
    template <typename Visit>
    void ForEachGroup(Visit&& visit) const {
        for (const Slot& slot : slots_) {
            if (slot.count != 0) visit(slot.key, Items{items_.data() + slot.first, items_.data() + slot.first + slot.count});
        }
    }

private:
    size_t SlotOf(uint64_t key) const;  // where `key` is in the table, or the empty slot for it
    // From the key's top half: keys in order have their first slots in order.
    size_t FirstSlot(uint64_t key) const { return size_t((key >> 32) * uint64_t(size_) >> 32); }

    struct Slot {
        uint64_t key = 0;  // 0 marks an empty slot
        int first = 0;     // where the group starts in items_
        int count = 0;
    };
    std::vector<std::pair<uint64_t, int>> added_;
    size_t size_ = 0;          // the slots a key's first slot is one of
    std::vector<Slot> slots_;  // open addressing; a key is in its first slot or soon after it
    std::vector<int> items_;
    std::vector<uint64_t> filter_ = std::vector<uint64_t>(1);  // a bit for each key (its top bits)
    unsigned filterShift_ = 58;
};

// A key for a text (a hash, never 0, its bits all as good), and one for a pair of keys.
uint64_t TextKey(std::string_view text);
uint64_t CombineKeys(uint64_t a, uint64_t b);
