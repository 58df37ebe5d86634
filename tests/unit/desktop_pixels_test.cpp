// The frozen desktop's pixel pass: only the alpha byte changes, at every
// length (the fill runs in whole vectors with a tail), and the copy is exact.
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

} // namespace
