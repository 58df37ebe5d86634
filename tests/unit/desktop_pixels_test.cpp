// The frozen desktop's bands and pixel pass: the bands cover every row once,
// only the alpha byte changes, at every length (the fill runs in whole vectors
// with a tail), and the copy is exact.
#include <algorithm>
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

// Catches a row read twice or never, or more bands than rows.
TEST(DesktopPixels, TheBandsCoverEveryRowOnceTopToBottom) {
    EXPECT_EQ(screenBandCount(0), 0u);
    for (std::int32_t height : {1, 2, 3, 4, 5, 7, 1080, 2161}) {
        const std::uint32_t count = screenBandCount(height);
        EXPECT_EQ(count, std::min<std::uint32_t>(screenBandLimit, static_cast<std::uint32_t>(height)));
        std::int32_t next = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            const BandRows band = screenBand(height, i);
            EXPECT_EQ(band.top, next) << height << " rows, band " << i;
            EXPECT_GE(band.height, height / std::int32_t(count)) << height << " rows, band " << i;
            next = band.top + band.height;
        }
        EXPECT_EQ(next, height);
        EXPECT_EQ(screenBand(height, count).height, 0);
    }
}

} // namespace
