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
