// The geometry of screenshot windows: DPI rescale, the monitor they follow, MulDiv.
#include <limits>

#include "shots/shot_rules.h"

std::int32_t rescaledLength(std::int32_t imageLength, std::uint32_t newDpi, std::uint32_t creationDpi) {
    if (newDpi == 0 || creationDpi == 0)
        return imageLength;
    // The reference is always the creation DPI, so the way back gives the image size again.
    const std::uint64_t scaled =
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(imageLength)) * newDpi + creationDpi / 2) / creationDpi;
    if (scaled == 0)
        return 1;
    if (scaled > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(scaled);
}

std::size_t pointerMonitor(const MonitorTable& monitors, std::int32_t x, std::int32_t y) {
    std::size_t nearest = monitors.size();
    std::int64_t nearestDistance = 0;
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        const MonitorRect& m = monitors[i];
        const std::int64_t right = std::int64_t{m.x} + m.width - 1, bottom = std::int64_t{m.y} + m.height - 1;
        const std::int64_t dx = x < m.x ? m.x - std::int64_t{x} : x > right ? x - right : 0;
        const std::int64_t dy = y < m.y ? m.y - std::int64_t{y} : y > bottom ? y - bottom : 0;
        const std::int64_t distance = dx * dx + dy * dy;
        if (nearest == monitors.size() || distance < nearestDistance) {
            nearest = i;
            nearestDistance = distance;
        }
    }
    return nearest;
}

std::int32_t mulDivRounded(std::int32_t a, std::int32_t b, std::int32_t c) {
    if (c == 0)
        return -1;
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    const bool negative = (product < 0) != (c < 0);
    const std::uint64_t magnitude = static_cast<std::uint64_t>(product < 0 ? -product : product);
    const std::uint64_t divisor = static_cast<std::uint64_t>(c < 0 ? -static_cast<std::int64_t>(c) : c);
    const std::uint64_t quotient = (magnitude + divisor / 2) / divisor;
    if (quotient > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        return -1;
    const auto result = static_cast<std::int32_t>(quotient);
    return negative ? -result : result;
}

std::int32_t grabbedEdge(std::int32_t cursor, std::int32_t grabOffset, std::int32_t newLength,
                         std::int32_t grabLength) {
    return cursor - mulDivRounded(grabOffset, newLength, grabLength);
}
