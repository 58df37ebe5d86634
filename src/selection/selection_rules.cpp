// Selection geometry and the cut; see selection/selection_rules.h.
#include "selection/selection_rules.h"

#include <algorithm>
#include <cstring>

namespace {

void addPixel(EdgeSums& sums, const std::uint8_t* pixel) {
    sums.blue += pixel[0];
    sums.green += pixel[1];
    sums.red += pixel[2];
    ++sums.count;
}

void addRow(EdgeSums& sums, const std::uint8_t* row, std::int32_t width) {
    for (std::int32_t i = 0; i < width; ++i)
        addPixel(sums, row + std::size_t(static_cast<std::uint32_t>(i)) * 4);
}

std::uint8_t inverse(std::uint32_t sum, std::uint32_t count) {
    return static_cast<std::uint8_t>(255 - (count == 0 ? 0 : sum / count));
}

bool covers(const MonitorRect& m, std::int64_t x, std::int64_t y) {
    return x >= m.x && x < std::int64_t{m.x} + m.width && y >= m.y && y < std::int64_t{m.y} + m.height;
}

// `point` lies on a monitor and one step (dx, dy) from it lies on none: the
// pointer can go no further that way.
bool onOuterEdge(const MonitorTable& monitors, ScreenPoint point, std::int64_t dx, std::int64_t dy) {
    bool on = false, beyond = false;
    for (const MonitorRect& m : monitors) {
        on = on || covers(m, point.x, point.y);
        beyond = beyond || covers(m, point.x + dx, point.y + dy);
    }
    return on && !beyond;
}

} // namespace

SelectionRect selectionRect(ScreenPoint anchor, ScreenPoint last, const MonitorTable& monitors) {
    const std::int32_t left = std::min(anchor.x, last.x);
    const std::int32_t top = std::min(anchor.y, last.y);
    // Screen coordinates are far from the int32 limits; the difference is formed wide anyway.
    auto width = static_cast<std::int64_t>(std::max(anchor.x, last.x)) - left;
    auto height = static_cast<std::int64_t>(std::max(anchor.y, last.y)) - top;
    if (last.x >= anchor.x && onOuterEdge(monitors, last, 1, 0))
        ++width;
    if (last.y >= anchor.y && onOuterEdge(monitors, last, 0, 1))
        ++height;
    return {left, top, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
}

bool makesScreenshot(const SelectionRect& rect) {
    return rect.width >= minimumScreenshotSize && rect.height >= minimumScreenshotSize;
}

bool clipToDesktop(SelectionRect& rect, const DesktopGeometry& desktop) {
    const std::int64_t left = std::max<std::int64_t>(rect.x, desktop.x);
    const std::int64_t top = std::max<std::int64_t>(rect.y, desktop.y);
    const std::int64_t right =
        std::min<std::int64_t>(std::int64_t{rect.x} + rect.width, std::int64_t{desktop.x} + desktop.width);
    const std::int64_t bottom =
        std::min<std::int64_t>(std::int64_t{rect.y} + rect.height, std::int64_t{desktop.y} + desktop.height);
    if (right <= left || bottom <= top)
        return false;
    rect = {static_cast<std::int32_t>(left), static_cast<std::int32_t>(top), static_cast<std::int32_t>(right - left),
            static_cast<std::int32_t>(bottom - top)};
    return true;
}

EdgeSums cutSelection(const std::uint8_t* frozen, const DesktopGeometry& desktop, const SelectionRect& rect,
                      std::uint8_t* image) {
    EdgeSums sums;
    if (rect.width <= 0 || rect.height <= 0)
        return sums;
    const std::size_t desktopWidth = static_cast<std::uint32_t>(desktop.width);
    const std::size_t column = static_cast<std::uint32_t>(rect.x - desktop.x);
    const std::size_t rowBytes = std::size_t(static_cast<std::uint32_t>(rect.width)) * 4;
    // Screen line top + j is memory row (height - 1) - (top - originY + j): the
    // rows are walked downwards through memory, each one a contiguous copy.
    const std::size_t firstLine = static_cast<std::uint32_t>(rect.y - desktop.y);
    const std::size_t lastMemoryRow = static_cast<std::uint32_t>(desktop.height - 1);
    for (std::int32_t j = 0; j < rect.height; ++j) {
        const std::size_t memoryRow = lastMemoryRow - (firstLine + static_cast<std::uint32_t>(j));
        const std::uint8_t* source = frozen + (memoryRow * desktopWidth + column) * 4;
        std::uint8_t* target = image + std::size_t(static_cast<std::uint32_t>(j)) * rowBytes;
        std::memcpy(target, source, rowBytes);
        if (j == 0 || j == rect.height - 1) {
            addRow(sums, target, rect.width);
        } else {
            addPixel(sums, target);
            if (rect.width > 1)
                addPixel(sums, target + rowBytes - 4);
        }
    }
    return sums;
}

std::uint32_t frameColor(const EdgeSums& sums) {
    const std::uint32_t red = inverse(sums.blue, sums.count);
    const std::uint32_t green = inverse(sums.green, sums.count);
    const std::uint32_t blue = inverse(sums.red, sums.count);
    return red | (green << 8) | (blue << 16);
}
