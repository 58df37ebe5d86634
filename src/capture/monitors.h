// The monitor table: where each monitor lies on the desktop, in physical
// desktop pixels (the process is per-monitor DPI aware before it is built).
// Entry i is the monitor of overlay i. Learnt once at start-up; monitors
// attached or moved later are not noticed.
#pragma once

#include <cstdint>

#include "state/pixel_rect.h"

// Appends one monitor from its rectangle edges, in enumeration order.
void appendMonitor(MonitorTable& table, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);

// Win32: fills `table` (emptied first) with every monitor, in the system's
// enumeration order. False when the enumeration fails.
bool enumerateMonitors(MonitorTable& table);
