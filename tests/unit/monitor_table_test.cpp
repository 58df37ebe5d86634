// The monitor table as the enumeration fills it: one entry per monitor in
// enumeration order, negative positions kept, no limit on the count.
#include <gtest/gtest.h>

#include "capture/monitors.h"

namespace {

struct Edges {
    std::int32_t left, top, right, bottom;
};

MonitorTable tableOf(std::initializer_list<Edges> monitors) {
    MonitorTable table;
    for (const Edges& m : monitors)
        appendMonitor(table, m.left, m.top, m.right, m.bottom);
    return table;
}

void expectEntry(const MonitorRect& entry, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
    EXPECT_EQ(entry.x, x);
    EXPECT_EQ(entry.y, y);
    EXPECT_EQ(entry.width, width);
    EXPECT_EQ(entry.height, height);
}

TEST(MonitorTable, OnePrimaryMonitor) {
    const MonitorTable table = tableOf({{0, 0, 1920, 1080}});
    ASSERT_EQ(table.size(), 1u);
    expectEntry(table[0], 0, 0, 1920, 1080);
}

TEST(MonitorTable, AMonitorLeftOfThePrimaryKeepsItsNegativePositionAndTheSystemsOrder) {
    const MonitorTable table = tableOf({{0, 0, 1920, 1080}, {-1280, 56, 0, 1080}});
    ASSERT_EQ(table.size(), 2u);
    expectEntry(table[0], 0, 0, 1920, 1080);
    expectEntry(table[1], -1280, 56, 1280, 1024);
}

TEST(MonitorTable, AMonitorAboveThePrimary) {
    const MonitorTable table = tableOf({{-200, -2160, 3640, 0}});
    expectEntry(table[0], -200, -2160, 3840, 2160);
}

TEST(MonitorTable, KeepsEveryMonitorPastTen) {
    MonitorTable table;
    for (std::int32_t i = 0; i < 13; ++i)
        appendMonitor(table, i * 800, 0, i * 800 + 800, 600);
    ASSERT_EQ(table.size(), 13u);
    for (std::int32_t i = 0; i < 13; ++i)
        expectEntry(table[static_cast<std::size_t>(i)], i * 800, 0, 800, 600);
}

} // namespace
