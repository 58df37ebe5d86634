// The frozen desktop's pixel passes: only the alpha byte changes, at every
// length (the fill runs in whole vectors with a tail), and the copy is exact.
#include <cstring>
#include <memory>
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

TEST(DesktopPixels, SetOpaqueChangesOnlyTheAlphaOfTheGivenPixels) {
    for (std::size_t count : {0u, 1u, 3u, 7u, 8u, 9u, 31u, 64u, 1001u}) {
        const std::vector<std::uint8_t> before = pattern(count);
        std::vector<std::uint8_t> after = before;
        setOpaque(after.data(), count);
        for (std::size_t i = 0; i < after.size(); ++i) {
            const bool alpha = i < count * 4 && i % 4 == 3;
            ASSERT_EQ(after[i], alpha ? 255 : before[i]) << "byte " << i << " of " << count << " pixels";
        }
    }
}

TEST(DesktopPixels, CopyHoldsEveryByte) {
    const std::vector<std::uint8_t> bits = pattern(4099);
    const std::unique_ptr<std::uint8_t[]> copy = copyDesktopPixels(bits.data(), 4099);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::memcmp(copy.get(), bits.data(), 4099 * 4), 0);
}

} // namespace
