// The frozen desktop's pixel passes: only the alpha byte changes, at every
// length (the fill runs in whole vectors with a tail), and the copy is exact;
// what no monitor covers turns black.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "capture/capture.h"

namespace {

std::vector<std::uint8_t> pattern(std::size_t pixelCount) {
    std::vector<std::uint8_t> bytes(pixelCount * 4 + 8);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
    return bytes;
}

// Catches a fill past the last pixel, a colour byte touched, or a copy left transparent.
TEST(DesktopPixels, CopyOpaqueSetsOnlyTheAlphaInBothBlocksAndCopiesEveryPixel) {
    for (std::size_t count : {0u, 1u, 3u, 7u, 8u, 9u, 31u, 64u, 1001u, 4099u}) {
        const std::vector<std::uint8_t> before = pattern(count);
        std::vector<std::uint8_t> after = before;
        std::vector<std::uint8_t> copy(before.size(), 0x5A);
        copyOpaque(after.data(), copy.data(), count);
        for (std::size_t i = 0; i < after.size(); ++i) {
            const bool inside = i < count * 4;
            const bool alpha = inside && i % 4 == 3;
            ASSERT_EQ(after[i], alpha ? 255 : before[i]) << "byte " << i << " of " << count << " pixels";
            ASSERT_EQ(copy[i], inside ? after[i] : 0x5A) << "copied byte " << i << " of " << count << " pixels";
        }
    }
}

// Catches an uncovered corner of the virtual screen keeping what the read or
// an earlier capture left there, or a covered pixel blackened.
TEST(DesktopPixels, WhatNoMonitorCoversTurnsBlackAndNothingElse) {
    // A 1280x1024-like monitor left of and above a taller one, in miniature:
    // the virtual screen is x -4..6, y -3..5.
    const MonitorTable monitors{{-4, -3, 4, 3}, {0, 0, 6, 5}, {0, 0, 2, 2}};
    const HdrTarget shape{nullptr, -4, -3, 10, 8};
    std::vector<std::uint8_t> before = pattern(std::size_t(shape.width * shape.height));
    std::vector<std::uint8_t> after = before;
    HdrTarget target = shape;
    target.pixels = after.data();
    blackenUncovered(target, monitors);
    for (std::int32_t line = 0; line < shape.height; ++line)
        for (std::int32_t column = 0; column < shape.width; ++column) {
            const std::int32_t x = shape.originX + column, y = shape.originY + line;
            const bool covered = (x < 0 && y < 0) || (x >= 0 && y >= 0 && y < 5);
            const std::size_t at =
                (std::size_t(shape.height - 1 - line) * std::size_t(shape.width) + std::size_t(column)) * 4;
            for (std::size_t byte = 0; byte < 4; ++byte)
                ASSERT_EQ(after[at + byte], covered || byte == 3 ? before[at + byte] : 0) << x << ", " << y;
        }
    EXPECT_EQ(after.back(), before.back()); // nothing past the block
}

} // namespace
