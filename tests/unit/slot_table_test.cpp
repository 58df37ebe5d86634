// The screenshot table's bookkeeping: records keep their creation order when
// one closes, the index follows, and the table grows past its first 100 slots.
#include <map>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "shots/slot_table.h"

namespace {

struct Record {
    int key;
};

struct Table {
    std::vector<std::unique_ptr<Record>> slots = std::vector<std::unique_ptr<Record>>(100);
    std::uint32_t count = 0;
    std::map<int, std::uint32_t> index;

    void add(int key) {
        const std::uint32_t slot = nextFreeSlot(slots, count);
        index[key] = slot;
        slots[slot] = std::make_unique<Record>(Record{key});
        count = slot + 1;
    }
    void close(std::uint32_t slot) {
        const int key = slots[slot]->key;
        slots[slot].reset();
        compactSlots(slots, count, index, slot, key);
    }
    std::vector<int> keys() const {
        std::vector<int> found;
        for (std::uint32_t i = 0; i < count; ++i)
            found.push_back(slots[i] ? slots[i]->key : -1);
        return found;
    }
    // The invariant between operations: slot s holds the record the index gives s.
    void expectConsistent() const {
        EXPECT_EQ(index.size(), count);
        for (const auto& [key, slot] : index) {
            ASSERT_LT(slot, count);
            ASSERT_NE(slots[slot], nullptr);
            EXPECT_EQ(slots[slot]->key, key);
        }
        for (std::size_t i = count; i < slots.size(); ++i)
            EXPECT_EQ(slots[i], nullptr) << i;
    }
};

TEST(ScreenshotSlots, ClosingTheMiddleOfThreeMovesTheThirdDown) {
    Table table;
    for (int key : {10, 20, 30})
        table.add(key);
    table.close(1);
    EXPECT_EQ(table.keys(), (std::vector<int>{10, 30}));
    EXPECT_EQ(table.index.at(30), 1u);
    EXPECT_EQ(table.slots[2], nullptr);
    table.expectConsistent();
}

TEST(ScreenshotSlots, ClosingTheLastChangesNoOtherSlot) {
    Table table;
    for (int key : {10, 20, 30})
        table.add(key);
    table.close(2);
    EXPECT_EQ(table.keys(), (std::vector<int>{10, 20}));
    EXPECT_EQ(table.index.at(10), 0u);
    EXPECT_EQ(table.index.at(20), 1u);
    table.expectConsistent();
}

TEST(ScreenshotSlots, ASlotPastTheCountIsIgnored) {
    Table table;
    table.add(10);
    compactSlots(table.slots, table.count, table.index, 5u, 99);
    EXPECT_EQ(table.keys(), std::vector<int>{10});
    table.expectConsistent();
}

TEST(ScreenshotSlots, TheTableGrowsPastItsFirstHundred) {
    Table table;
    for (int key = 0; key < 250; ++key)
        table.add(key);
    EXPECT_EQ(table.count, 250u);
    EXPECT_GE(table.slots.size(), 250u);
    table.close(0);
    table.close(100);
    EXPECT_EQ(table.count, 248u);
    EXPECT_EQ(table.slots[0]->key, 1);
    EXPECT_EQ(table.slots[100]->key, 102);
    table.expectConsistent();
}

} // namespace
