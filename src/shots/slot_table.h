// The bookkeeping of the screenshot table, apart from the windows: slots
// 0 .. count - 1 hold records in creation order, and the index maps each
// window's key to its slot. Portable templates, so the native tests reach
// them with plain values. GUI thread only.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

// Makes room for one more record and returns its slot: the table grows
// instead of stopping at its first size.
template <typename Record>
std::uint32_t nextFreeSlot(std::vector<std::unique_ptr<Record>>& slots, std::uint32_t count) {
    if (slots.size() <= count)
        slots.resize(count + std::size_t{1} + slots.size() / 2);
    return count;
}

// Gives slot `slot` (already released) back: the records above it move down
// one slot in order, the index forgets `key` and renumbers the slots above.
template <typename Record, typename Key>
void compactSlots(std::vector<std::unique_ptr<Record>>& slots, std::uint32_t& count,
                  std::map<Key, std::uint32_t>& index, std::uint32_t slot, Key key) {
    if (slot >= count || count > slots.size())
        return;
    for (std::uint32_t i = slot + 1; i < count; ++i)
        slots[i - 1] = std::move(slots[i]);
    slots[count - 1].reset();
    index.erase(key);
    for (auto& entry : index)
        if (entry.second > slot)
            --entry.second;
    --count;
}
