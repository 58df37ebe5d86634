// The one rectangle shape of the program: a top-left corner and a size in
// pixels, right and bottom edges exclusive (right = x + width). Its users name
// what the corner is relative to: the desktop (negative left of or above the
// primary monitor) for monitors, selections and the frozen desktop, the
// parent window for the options window's children. Portable.
#pragma once

#include <cstdint>
#include <vector>

struct PixelRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    bool operator==(const PixelRect&) const = default;
};

// Where each monitor lies; entry i is the monitor of overlay i.
using MonitorRect = PixelRect;
// Grows with the monitors found (no limit of 10), so the count always equals
// the entries held.
using MonitorTable = std::vector<MonitorRect>;
