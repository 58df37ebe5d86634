// The zoom ladder, the window's size and place at a zoom, the way its picture
// is scaled, its opacity steps and its keys: the decisions the Win32 side of
// a screenshot window acts on.
#include <algorithm>
#include <iterator>

#include "shots/shot_rules.h"

namespace {

// a x b / c rounded half away from zero, in 128 bits: a fixed-point edge times a length.
std::int64_t scaledRounded(std::int64_t a, std::int64_t b, std::int64_t c) {
    const __int128 product = static_cast<__int128>(a) * b;
    const __int128 half = c / 2;
    return static_cast<std::int64_t>(product >= 0 ? (product + half) / c : (product - half) / c);
}

// The rung at or nearest below `percent` (a percent off the ladder never comes from here, but is safe).
std::size_t rungOf(std::int32_t percent) {
    const auto above = std::upper_bound(zoomLadder.begin(), zoomLadder.end(), percent);
    return above == zoomLadder.begin() ? 0 : static_cast<std::size_t>(std::distance(zoomLadder.begin(), above) - 1);
}

std::uint64_t unclampedLength(ZoomSide side, std::int32_t percent) {
    const std::uint64_t dpi = side.dpi && side.creationDpi ? side.dpi : 1;
    const std::uint64_t creation = side.dpi && side.creationDpi ? side.creationDpi : 1;
    const std::uint64_t denominator = 100 * creation;
    return (static_cast<std::uint64_t>(std::max(side.imageLength, 0)) * static_cast<std::uint64_t>(percent) * dpi +
            denominator / 2) /
           denominator;
}

bool withinBounds(ZoomSide side, std::int32_t percent) {
    const std::uint64_t length = unclampedLength(side, percent);
    return length >= static_cast<std::uint64_t>(std::min(side.imageLength, shortestShotSide)) &&
           length <= static_cast<std::uint64_t>(longestShotSide);
}

} // namespace

std::int32_t takeWheelNotches(std::int32_t& remainder, std::int32_t delta) {
    // A turn back the other way starts from what was short of a notch, not from nothing.
    const std::int64_t total = static_cast<std::int64_t>(remainder) + delta;
    const std::int64_t notches = total / wheelNotch; // toward zero: what is left keeps its sign
    remainder = static_cast<std::int32_t>(total - notches * wheelNotch);
    return static_cast<std::int32_t>(notches);
}

std::int32_t zoomedLength(std::int32_t imageLength, std::int32_t percent, std::uint32_t dpi,
                          std::uint32_t creationDpi) {
    const std::uint64_t length = unclampedLength({imageLength, dpi, creationDpi}, percent);
    const std::int32_t shortest = std::max(std::min(imageLength, shortestShotSide), 1);
    return static_cast<std::int32_t>(std::clamp<std::uint64_t>(length, static_cast<std::uint64_t>(shortest),
                                                               static_cast<std::uint64_t>(longestShotSide)));
}

std::int32_t steppedZoom(std::int32_t percent, std::int32_t notches, ZoomSide across, ZoomSide down) {
    if (notches == 0)
        return percent;
    std::size_t rung = rungOf(percent);
    const std::int32_t step = notches > 0 ? 1 : -1;
    for (std::int32_t taken = 0; taken != notches; taken += step) {
        const std::size_t next = rung + static_cast<std::size_t>(step); // wraps past 0: caught below
        if (next >= zoomLadder.size() || !withinBounds(across, zoomLadder[next]) ||
            !withinBounds(down, zoomLadder[next]))
            break;
        rung = next;
    }
    return zoomLadder[rung];
}

std::int64_t zoomedEdge(std::int64_t edge, std::int32_t cursor, std::int32_t oldLength, std::int32_t newLength) {
    if (oldLength <= 0)
        return edge;
    const std::int64_t pointer = static_cast<std::int64_t>(cursor) * edgeUnit;
    return pointer - scaledRounded(pointer - edge, newLength, oldLength);
}

std::int32_t wholePixels(std::int64_t edge) {
    const std::int64_t floored = edge >= 0 ? edge / edgeUnit : -((-edge + edgeUnit - 1) / edgeUnit);
    return static_cast<std::int32_t>(floored + (edge - floored * edgeUnit >= edgeUnit / 2 ? 1 : 0));
}

ShotScaling shotScaling(std::int32_t imageWidth, std::int32_t imageHeight, std::int32_t width, std::int32_t height) {
    if (imageWidth <= 0 || imageHeight <= 0 || (width == imageWidth && height == imageHeight))
        return ShotScaling::copy;
    if (width > imageWidth && width % imageWidth == 0 && height % imageHeight == 0 &&
        width / imageWidth == height / imageHeight)
        return ShotScaling::blocks;
    return ShotScaling::smooth;
}

std::int32_t steppedOpacity(std::int32_t percent, std::int32_t notches) {
    const std::int64_t stepped = static_cast<std::int64_t>(percent) + static_cast<std::int64_t>(notches) * opacityStep;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(stepped, lowestOpacity, 100));
}

std::uint8_t opacityAlpha(std::int32_t percent) {
    return static_cast<std::uint8_t>((std::clamp(percent, 0, 100) * 255 + 50) / 100);
}

std::string zoomNote(std::int32_t percent) { return std::to_string(percent) + " %"; }

std::string opacityNote(std::int32_t percent) { return "Opacity " + std::to_string(percent) + " %"; }

ShotKey shotKeyAction(std::uint32_t virtualKey, bool ctrl, bool shift, bool repeat) {
    constexpr std::uint32_t escape = 0x1B, left = 0x25, up = 0x26, right = 0x27, down = 0x28;
    const std::int32_t distance = shift ? 10 : 1;
    switch (virtualKey) {
    case left:
        return {ShotKeyAction::move, -distance, 0};
    case right:
        return {ShotKeyAction::move, distance, 0};
    case up:
        return {ShotKeyAction::move, 0, -distance};
    case down:
        return {ShotKeyAction::move, 0, distance};
    default:
        break;
    }
    if (repeat)
        return {};
    if (virtualKey == escape && !ctrl)
        return {ShotKeyAction::close};
    if (virtualKey == 'C' && ctrl)
        return {ShotKeyAction::copy};
    if (virtualKey == 'S' && ctrl)
        return {ShotKeyAction::saveAs};
    return {};
}
