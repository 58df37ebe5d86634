// The one rectangle shape of the program: a top-left corner in desktop pixels
// (negative left of or above the primary monitor) and a size; right and bottom
// edges exclusive (right = x + width). Portable.
#pragma once

#include <cstdint>
#include <vector>

struct ScreenRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    bool operator==(const ScreenRect&) const = default;
};

// Where each monitor lies; entry i is the monitor of overlay i.
using MonitorRect = ScreenRect;
// Grows with the monitors found (no limit of 10), so the count always equals
// the entries held.
using MonitorTable = std::vector<MonitorRect>;
