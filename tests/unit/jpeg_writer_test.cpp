#include <cmath>

#include <gtest/gtest.h>

#include "jpeg_memory.h"
#include "jpeg_reference.h"
#include "jpeg_scan_reader.h"
#include "output/output.h"
#include "test_support.h"

using namespace testing_support;
using Bytes = std::vector<std::uint8_t>;

namespace {

const std::array<int, 64>& zigZagOrder() { return jpeg_reference::zigZag(); }

Bytes grey(std::uint32_t width, std::uint32_t height, std::uint8_t level) {
    return Bytes(std::size_t{width} * height * 3, level);
}

jpeg_inspect::ParsedJpeg encodeAndParse(const Bytes& rgb, std::uint32_t width, std::uint32_t height) {
    auto parsed = jpeg_inspect::parse(encodeJpegToMemory(rgb, width, height));
    EXPECT_EQ(parsed.error, "");
    return parsed;
}

TEST(JpegLayout, SegmentsComeInOrderWithTheFixedHeaderBytes) {
    const Bytes file = encodeJpegToMemory(grey(300, 2, 90), 300, 2);
    const auto jpeg = jpeg_inspect::parse(file);
    ASSERT_EQ(jpeg.error, "");
    std::vector<int> markers;
    for (const auto& s : jpeg.headers)
        markers.push_back(s.marker);
    EXPECT_EQ(markers, (std::vector<int>{0xE0, 0xFE, 0xDB, 0xC0, 0xC4, 0xDA}));
    EXPECT_TRUE(jpeg.endsWithEoi);

    EXPECT_EQ(Bytes(file.begin(), file.begin() + 20),
              (Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}));
    const std::string comment = "Captured with Lumagrab";
    EXPECT_EQ(jpeg.headers[1].payload, Bytes(comment.begin(), comment.end()));
    // Height before width: 2 then 300.
    EXPECT_EQ(jpeg_inspect::find(jpeg, 0xC0)->payload,
              (Bytes{0x08, 0x00, 0x02, 0x01, 0x2C, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01}));
    EXPECT_EQ(jpeg_inspect::find(jpeg, 0xDA)->payload,
              (Bytes{0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00}));

    // One DHT segment of 418 bytes with the four tables, DC/AC luminance then chrominance.
    const Bytes& dht = jpeg_inspect::find(jpeg, 0xC4)->payload;
    ASSERT_EQ(dht.size(), 416u);
    std::vector<int> ids;
    std::vector<int> totals;
    for (std::size_t p = 0; p < dht.size();) {
        ids.push_back(dht[p]);
        int total = 0;
        for (int i = 1; i <= 16; ++i)
            total += dht[p + i];
        totals.push_back(total);
        p += 17 + static_cast<std::size_t>(total);
    }
    EXPECT_EQ(ids, (std::vector<int>{0x00, 0x10, 0x01, 0x11}));
    EXPECT_EQ(totals, (std::vector<int>{12, 162, 12, 162}));
}

TEST(JpegLayout, QuantisationTablesAreTheQuality90Ones) {
    const int luminance[64] = {3,  2,  2,  3,  5,  8,  10, 12, 2,  2,  3,  4,  5,  12, 12, 11, 3,  3,  3,  5, 8,  11,
                               14, 11, 3,  3,  4,  6,  10, 17, 16, 12, 4,  4,  7,  11, 14, 22, 21, 15, 5,  7, 11, 13,
                               16, 21, 23, 18, 10, 13, 16, 17, 21, 24, 24, 20, 14, 18, 19, 20, 22, 20, 21, 20};
    int chrominance[64];
    const int chromaTop[32] = {3, 4, 5,  9,  20, 20, 20, 20, 4, 4,  5,  13, 20, 20, 20, 20,
                               5, 5, 11, 20, 20, 20, 20, 20, 9, 13, 20, 20, 20, 20, 20, 20};
    for (int i = 0; i < 64; ++i)
        chrominance[i] = i < 32 ? chromaTop[i] : 20;

    const auto jpeg = encodeAndParse(grey(8, 8, 0), 8, 8);
    const Bytes& dqt = jpeg_inspect::find(jpeg, 0xDB)->payload;
    ASSERT_EQ(dqt.size(), 130u);
    EXPECT_EQ(dqt[0], 0x00);
    EXPECT_EQ(dqt[65], 0x01);
    const auto& order = zigZagOrder();
    for (std::size_t i = 0; i < 64; ++i) {
        EXPECT_EQ(dqt[1 + i], luminance[order[i]]) << "luminance, zig-zag position " << i;
        EXPECT_EQ(dqt[66 + i], chrominance[order[i]]) << "chrominance, zig-zag position " << i;
    }
}

TEST(JpegLayout, CommentIsWrittenOnlyWhenGivenAndNeverStuffed) {
    const Bytes rgb = grey(8, 8, 50);
    auto count = [](const jpeg_inspect::ParsedJpeg& j) {
        int n = 0;
        for (const auto& s : j.headers)
            n += s.marker == 0xFE;
        return n;
    };
    const auto none = jpeg_inspect::parse(encodeJpegToMemory(rgb, 8, 8, nullptr));
    EXPECT_EQ(count(none), 0);

    const Bytes empty = encodeJpegToMemory(rgb, 8, 8, "");
    EXPECT_EQ(Bytes(empty.begin() + 20, empty.begin() + 24), (Bytes{0xFF, 0xFE, 0x00, 0x02}));

    const auto ff = jpeg_inspect::parse(encodeJpegToMemory(rgb, 8, 8, "\xFF\xFF"));
    ASSERT_EQ(ff.error, "");
    EXPECT_EQ(jpeg_inspect::find(ff, 0xFE)->payload, (Bytes{0xFF, 0xFF}));
}

TEST(JpegLayout, RefusesAbsentPixelsAndZeroSizesWithoutEmitting) {
    static int emitted = 0;
    const JpegByteSink counting = [](std::uint8_t) { ++emitted; };
    const std::uint8_t pixel[3] = {1, 2, 3};
    EXPECT_FALSE(encodeJpeg(counting, nullptr, 8, 8, true, 90, false, nullptr));
    EXPECT_FALSE(encodeJpeg(counting, pixel, 0, 1, true, 90, false, nullptr));
    EXPECT_FALSE(encodeJpeg(counting, pixel, 1, 0, true, 90, false, nullptr));
    EXPECT_EQ(emitted, 0);
    EXPECT_TRUE(encodeJpeg(counting, pixel, 1, 1, true, 90, false, nullptr));
    EXPECT_GT(emitted, 0);
}

TEST(JpegLayout, AcceptsTheLargestSizesInEitherDirection) {
    for (auto [w, h] : {std::pair<std::uint32_t, std::uint32_t>{65535, 1}, {1, 65535}}) {
        const auto jpeg = encodeAndParse(grey(w, h, 7), w, h);
        const Bytes& sof = jpeg_inspect::find(jpeg, 0xC0)->payload;
        EXPECT_EQ((sof[1] << 8 | sof[2]), static_cast<int>(h));
        EXPECT_EQ((sof[3] << 8 | sof[4]), static_cast<int>(w));
        EXPECT_EQ(jpeg.blocks.size(), 3u * 8192u);
    }
}

TEST(JpegEntropy, OnePixelGivesThreeBlocksOfDcAndEob) {
    const Bytes grey128 = encodeJpegToMemory(grey(1, 1, 128), 1, 1);
    // Y, Cb, Cr all zero: DC category 0 ("00"), EOB ("1010" luminance, "00"
    // chrominance), then seven 1-bits of padding: 00101000 00000011.
    EXPECT_EQ(Bytes(grey128.end() - 4, grey128.end()), (Bytes{0x28, 0x03, 0xFF, 0xD9}));

    const auto red = encodeAndParse({255, 0, 0}, 1, 1);
    ASSERT_EQ(red.blocks.size(), 3u);
    for (const auto& block : red.blocks) {
        EXPECT_NE(block.dcCategory, 0);
        EXPECT_EQ(block.acSymbols, Bytes{0x00});
    }
}

TEST(JpegEntropy, EdgeBlocksRepeatTheLastColumnAndRow) {
    // A 9 x 9 picture codes exactly like the 16 x 16 one made by repeating column 8 and row 8.
    const Bytes small = noiseBytes(9 * 9 * 3, 9);
    Bytes large(16 * 16 * 3);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            for (int c = 0; c < 3; ++c)
                large[(y * 16 + x) * 3 + c] = small[(std::min(y, 8) * 9 + std::min(x, 8)) * 3 + c];
    const auto a = encodeAndParse(small, 9, 9);
    const auto b = encodeAndParse(large, 16, 16);
    EXPECT_EQ(a.blocks.size(), 12u);
    EXPECT_EQ(a.entropy, b.entropy);
    // The lower right MCU is one repeated pixel: DC only.
    EXPECT_EQ(a.blocks[9].acSymbols, Bytes{0x00});
}

TEST(JpegEntropy, RepeatedDcIsCodedAsCategoryZero) {
    const auto jpeg = encodeAndParse(grey(16, 8, 200), 16, 8);
    ASSERT_EQ(jpeg.blocks.size(), 6u);
    EXPECT_NE(jpeg.blocks[0].dcCategory, 0);
    for (int component = 0; component < 3; ++component) {
        EXPECT_EQ(jpeg.blocks[3 + component].dcCategory, 0);
        EXPECT_EQ(jpeg.blocks[3 + component].dcDiff, 0);
    }
}

// A grey 8 x 8 block holding one DCT basis function: after quantisation a
// single AC coefficient is left, at the given zig-zag position.
Bytes basisBlock(int zigZagPosition, double amplitude) {
    const int n = zigZagOrder()[static_cast<std::size_t>(zigZagPosition)];
    const int v = n / 8, u = n % 8;
    const double pi = std::acos(-1.0);
    Bytes rgb(8 * 8 * 3);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const double value =
                128 + amplitude * std::cos((2 * x + 1) * u * pi / 16) * std::cos((2 * y + 1) * v * pi / 16);
            const auto level = static_cast<std::uint8_t>(std::lround(value));
            for (int c = 0; c < 3; ++c)
                rgb[(y * 8 + x) * 3 + c] = level;
        }
    return rgb;
}

TEST(JpegEntropy, SixteenZerosGiveZrlAndFifteenGiveRunFifteen) {
    const auto afterSixteen = encodeAndParse(basisBlock(17, 60), 8, 8);
    ASSERT_EQ(afterSixteen.blocks[0].acSymbols.size(), 3u);
    EXPECT_EQ(afterSixteen.blocks[0].acSymbols[0], 0xF0);
    EXPECT_EQ(afterSixteen.blocks[0].acSymbols[1] >> 4, 0);
    EXPECT_EQ(afterSixteen.blocks[0].acSymbols[2], 0x00);

    const auto afterFifteen = encodeAndParse(basisBlock(16, 60), 8, 8);
    ASSERT_EQ(afterFifteen.blocks[0].acSymbols.size(), 2u);
    EXPECT_EQ(afterFifteen.blocks[0].acSymbols[0] >> 4, 15);
    EXPECT_EQ(afterFifteen.blocks[0].acSymbols[1], 0x00);

    // Thirty-two zeros before coefficient 33: two ZRLs.
    const auto afterThirtyTwo = encodeAndParse(basisBlock(33, 60), 8, 8);
    EXPECT_EQ(afterThirtyTwo.blocks[0].acSymbols, (Bytes{0xF0, 0xF0, afterThirtyTwo.blocks[0].acSymbols[2], 0x00}));
    EXPECT_EQ(afterThirtyTwo.blocks[0].acSymbols[2] >> 4, 0);
}

TEST(JpegEntropy, StuffsEveryFfInTheDataAndPadsWithOnes) {
    for (std::uint32_t size : {1u, 7u, 8u, 13u, 40u}) {
        const Bytes rgb = noiseBytes(std::size_t{size} * size * 3, size);
        const auto jpeg = encodeAndParse(rgb, size, size);
        EXPECT_TRUE(jpeg.endsWithEoi);
        EXPECT_GE(jpeg.paddingBits, 0);
        EXPECT_LT(jpeg.paddingBits, 8);
        EXPECT_TRUE(jpeg.paddingAllOnes);
        if (size == 40) {
            int stuffed = 0;
            for (std::size_t i = 0; i + 1 < jpeg.entropy.size(); ++i)
                stuffed += jpeg.entropy[i] == 0xFF;
            EXPECT_GT(stuffed, 0) << "the noise picture should produce FF bytes";
        }
    }
}

} // namespace
