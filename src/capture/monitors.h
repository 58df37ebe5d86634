// The monitor table: where each monitor lies on the desktop, in physical
// desktop pixels (the process is per-monitor DPI aware before it is built).
// Entry i is the monitor of overlay i. Learnt at start-up and again at every
// capture and display change, so the overlays cover the monitors of the moment.
#pragma once

#include <cstdint>

#include "state/pixel_rect.h"

// Appends one monitor from its rectangle edges, in enumeration order.
void appendMonitor(MonitorTable& table, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);

// Win32: fills `table` (emptied first) with every monitor, in the system's
// enumeration order. False when the enumeration fails.
bool enumerateMonitors(MonitorTable& table);

// Win32: app.monitors and app.monitorCount read afresh; kept as they were when
// the enumeration fails or finds no monitor. Never while overlays are up.
void refreshMonitors();
