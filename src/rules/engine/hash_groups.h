// Items grouped by a 64-bit key, in flat arrays: one probe into a table of keys, then the
// group's items side by side. For indexes of tens of thousands of rules, where the lookups, not
// the work on what they find, would otherwise take the time.
#pragma once

#include <cstdint>
#include <string_view>
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

private:
    size_t SlotOf(uint64_t key) const;  // where `key` is in the table, or the empty slot for it

    struct Slot {
        uint64_t key = 0;  // 0 marks an empty slot
        int first = 0;     // where the group starts in items_
        int count = 0;
    };
    std::vector<std::pair<uint64_t, int>> added_;
    std::vector<Slot> slots_;  // open addressing, one probe at hand for each lookup
    std::vector<int> items_;
};

// The first slot to probe for `key` in an open-addressing table of `size` slots (a power of
// two); small keys spread as well as hashes.
inline size_t FirstSlot(uint64_t key, size_t size) { return size_t((key * 0x9E3779B97F4A7C15ull) >> 29) & (size - 1); }

// A key for a text, and for a pair of texts.
uint64_t TextKey(std::string_view text);
uint64_t TextKey(std::string_view a, std::string_view b);
