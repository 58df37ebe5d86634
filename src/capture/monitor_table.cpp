// The portable half of the monitor table: one rectangle per enumerated monitor.
#include "capture/monitors.h"

void appendMonitor(MonitorTable& table, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    // Edges come from the system, so the differences fit; computed wide anyway
    // so that a nonsense rectangle cannot overflow.
    const auto width = static_cast<std::int64_t>(right) - left;
    const auto height = static_cast<std::int64_t>(bottom) - top;
    table.push_back({left, top, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)});
}
