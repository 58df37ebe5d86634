// The monitor table as the enumeration fills it: edges become position and
// size, in enumeration order, negative positions kept (Wine shows one monitor).
#include <gtest/gtest.h>

#include "capture/monitors.h"

namespace {

// Catches a size taken from the edges the wrong way round, a position made
// unsigned or clamped at 0, or entries reordered.
TEST(MonitorTable, AMonitorLeftOfThePrimaryKeepsItsNegativePositionAndTheSystemsOrder) {
    MonitorTable table;
    appendMonitor(table, 0, 0, 1920, 1080);
    appendMonitor(table, -1280, 56, 0, 1080);
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].width, 1920);
    EXPECT_EQ(table[1].x, -1280);
    EXPECT_EQ(table[1].y, 56);
    EXPECT_EQ(table[1].width, 1280);
    EXPECT_EQ(table[1].height, 1024);
}

} // namespace
