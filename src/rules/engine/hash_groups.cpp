#include "rules/engine/hash_groups.h"

#include <functional>

namespace {

uint64_t NonZero(uint64_t key) { return key ? key : 1; }

}  // namespace

uint64_t TextKey(std::string_view text) { return NonZero(std::hash<std::string_view>()(text) * 0x9E3779B97F4A7C15ull); }

uint64_t TextKey(std::string_view a, std::string_view b) {
    return NonZero(TextKey(a) ^ (TextKey(b) * 0xC2B2AE3D27D4EB4Full + 0x165667B19E3779F9ull));
}

void HashGroups::Add(uint64_t key, int item) { added_.emplace_back(NonZero(key), item); }

size_t HashGroups::SlotOf(uint64_t key) const {
    const size_t mask = slots_.size() - 1;
    size_t i = FirstSlot(key, slots_.size());
    while (slots_[i].key != 0 && slots_[i].key != key) i = (i + 1) & mask;
    return i;
}

void HashGroups::Build() {
    size_t size = 16;
    while (size < added_.size() * 2) size *= 2;
    slots_.assign(size, Slot());
    for (const auto& a : added_) {
        Slot& slot = slots_[SlotOf(a.first)];
        slot.key = a.first;
        ++slot.count;
    }
    int next = 0;
    for (Slot& slot : slots_) {
        slot.first = next;
        next += slot.count;
        slot.count = 0;
    }
    items_.resize(added_.size());
    for (const auto& a : added_) {
        Slot& slot = slots_[SlotOf(a.first)];
        items_[size_t(slot.first + slot.count++)] = a.second;
    }
    std::vector<std::pair<uint64_t, int>>().swap(added_);
}

HashGroups::Items HashGroups::Find(uint64_t key) const {
    if (slots_.empty()) return {nullptr, nullptr};
    const Slot& slot = slots_[SlotOf(NonZero(key))];
    const int* start = items_.data() + slot.first;
    return {start, start + slot.count};
}
