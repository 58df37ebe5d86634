// The monitor table: where each monitor lies on the desktop, in physical
// desktop pixels (the process is per-monitor DPI aware before it is built).
// Entry i is the monitor of overlay i. Learnt once at start-up; monitors
// attached or moved later are not noticed.
#pragma once

#include <cstdint>
#include <vector>

struct MonitorRect {
    std::int32_t x = 0; // top-left corner; negative left of or above the primary monitor
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Grows with the monitors found (no limit of 10), so the count always equals
// the entries held.
using MonitorTable = std::vector<MonitorRect>;

// Appends one monitor from its rectangle edges, in enumeration order.
void appendMonitor(MonitorTable& table, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);

// Win32: fills `table` (emptied first) with every monitor, in the system's
// enumeration order. False when the enumeration fails.
bool enumerateMonitors(MonitorTable& table);
