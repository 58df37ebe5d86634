// The pixel passes over the frozen desktop that run on every capture.
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "capture/capture.h"

void copyOpaque(std::uint8_t* bgra, std::uint8_t* copy, std::size_t pixelCount) {
    // Whole words, so the compiler can vectorise; the byte order of a word
    // does not matter for an OR that sets the fourth byte of every pixel.
    std::uint32_t alpha = 0;
    const std::uint8_t opaque[4] = {0, 0, 0, 255};
    std::memcpy(&alpha, opaque, 4);
    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::uint32_t pixel;
        std::memcpy(&pixel, bgra + i * 4, 4);
        pixel |= alpha;
        std::memcpy(bgra + i * 4, &pixel, 4);
        std::memcpy(copy + i * 4, &pixel, 4);
    }
}

void blackenUncovered(const HdrTarget& target, const MonitorTable& monitors) {
    std::vector<std::pair<std::int64_t, std::int64_t>> covered; // columns [from, to) of one line
    const std::int64_t width = target.width;
    for (std::int32_t line = 0; line < target.height; ++line) {
        const std::int64_t y = std::int64_t{target.originY} + line;
        covered.clear();
        for (const MonitorRect& m : monitors)
            if (y >= m.y && y < std::int64_t{m.y} + m.height)
                covered.emplace_back(std::clamp<std::int64_t>(std::int64_t{m.x} - target.originX, 0, width),
                                     std::clamp<std::int64_t>(std::int64_t{m.x} + m.width - target.originX, 0, width));
        std::sort(covered.begin(), covered.end());
        covered.emplace_back(width, width);
        std::uint8_t* row = target.pixels + std::size_t(target.height - 1 - line) * std::size_t(width) * 4;
        std::int64_t column = 0;
        for (const auto& [from, to] : covered) {
            for (; column < from; ++column)
                std::memset(row + column * 4, 0, 3);
            column = std::max(column, to);
        }
    }
}
