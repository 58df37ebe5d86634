// The save dispatch's byte shuffles against the per-byte mapping, for every
// count around the four-pixel words (tails included) and unaligned buffers.
#include <gtest/gtest.h>

#include "output/pixel_layout.h"
#include "test_support.h"

using namespace testing_support;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::size_t counts[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 33, 63, 64, 65, 1001};

TEST(PixelLayout, SwapRedAndBlueExchangesBytesZeroAndTwo) {
    for (const std::size_t count : counts) {
        const Bytes in = noiseBytes(count * 4 + 1, static_cast<std::uint32_t>(count));
        Bytes out(count * 4 + 2, 0xA5);
        swapRedAndBlue(in.data() + 1, out.data() + 1, count); // both unaligned
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* p = &in[1 + i * 4];
            ASSERT_EQ(Bytes(out.begin() + 1 + long(i) * 4, out.begin() + 5 + long(i) * 4),
                      (Bytes{p[2], p[1], p[0], p[3]}))
                << count << " pixels, pixel " << i;
        }
        EXPECT_EQ(out.front(), 0xA5);
        EXPECT_EQ(out.back(), 0xA5) << "wrote past " << count << " pixels";
    }
}

TEST(PixelLayout, DropAlphaPacksThreeBytesInEitherOrder) {
    for (const bool swap : {false, true})
        for (const std::size_t count : counts) {
            const Bytes in = noiseBytes(count * 4 + 3, static_cast<std::uint32_t>(count + 7));
            Bytes out(count * 3 + 2, 0xA5);
            dropAlpha(in.data() + 3, out.data() + 1, count, swap);
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint8_t* p = &in[3 + i * 4];
                const Bytes expected = swap ? Bytes{p[2], p[1], p[0]} : Bytes{p[0], p[1], p[2]};
                ASSERT_EQ(Bytes(out.begin() + 1 + long(i) * 3, out.begin() + 4 + long(i) * 3), expected)
                    << count << " pixels, swap " << swap << ", pixel " << i;
            }
            EXPECT_EQ(out.front(), 0xA5);
            EXPECT_EQ(out.back(), 0xA5) << "wrote past " << count << " pixels";
        }
}

} // namespace
