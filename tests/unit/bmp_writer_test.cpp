#include <gtest/gtest.h>

#include "output/output.h"
#include "test_support.h"

using namespace testing_support;

namespace {

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}

TEST(BmpWriter, WritesTheTwoByTwoExampleByteForByte) {
    TempDir dir;
    const std::uint8_t bgr[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}; // top row, then bottom row
    writeBmp(dir.file("a.bmp").c_str(), 2, 2, bgr);
    const std::vector<std::uint8_t> expected = {
        0x42, 0x4D, 0x46, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x36, 0x00, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00,
        0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x18, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x23, 0x2E, 0x00, 0x00, 0x23, 0x2E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        7,    8,    9,    10,   11,   12,   0,    0,    1,    2,    3,    4,    5,    6,    0,    0};
    EXPECT_EQ(readFileBytes(dir.file("a.bmp")), expected);
}

struct RowCase {
    std::uint32_t width, height, rowSize, fileSize;
};

class BmpRowLayout : public ::testing::TestWithParam<RowCase> {};

TEST_P(BmpRowLayout, PadsEachRowWithZerosAndStoresRowsBottomUp) {
    const RowCase c = GetParam();
    TempDir dir;
    // Every input byte distinct per row, so a wrong row order or offset shows.
    std::vector<std::uint8_t> bgr(std::size_t{c.width} * c.height * 3);
    for (std::size_t i = 0; i < bgr.size(); ++i)
        bgr[i] = static_cast<std::uint8_t>(i * 7 + 1);
    writeBmp(dir.file("r.bmp").c_str(), c.width, c.height, bgr.data());
    const auto file = readFileBytes(dir.file("r.bmp"));
    ASSERT_EQ(file.size(), c.fileSize);
    EXPECT_EQ(le32(file, 2), c.fileSize);
    EXPECT_EQ(le32(file, 18), c.width);
    EXPECT_EQ(le32(file, 22), c.height);
    for (std::uint32_t i = 0; i < c.height; ++i) {
        const std::size_t fileRow = 54 + i * std::size_t{c.rowSize};
        const std::size_t imageRow = (c.height - 1 - i) * std::size_t{c.width} * 3;
        for (std::uint32_t k = 0; k < c.width * 3; ++k)
            ASSERT_EQ(file[fileRow + k], bgr[imageRow + k]) << "file row " << i << " byte " << k;
        for (std::uint32_t k = c.width * 3; k < c.rowSize; ++k)
            ASSERT_EQ(file[fileRow + k], 0) << "padding of file row " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, BmpRowLayout,
                         ::testing::Values(RowCase{4, 3, 12, 54 + 36}, RowCase{5, 3, 16, 54 + 48},
                                           RowCase{6, 3, 20, 54 + 60}, RowCase{7, 3, 24, 54 + 72}, RowCase{1, 5, 4, 74},
                                           RowCase{1, 1, 4, 58}));

TEST(BmpWriter, OnePixelEndsWithItsBytesAndOnePaddingByte) {
    TempDir dir;
    const std::uint8_t bgr[3] = {1, 2, 3};
    writeBmp(dir.file("p.bmp").c_str(), 1, 1, bgr);
    const auto file = readFileBytes(dir.file("p.bmp"));
    ASSERT_EQ(file.size(), 58u);
    EXPECT_EQ(le32(file, 2), 58u);
    EXPECT_EQ(std::vector<std::uint8_t>(file.end() - 4, file.end()), (std::vector<std::uint8_t>{1, 2, 3, 0}));
}

TEST(BmpWriter, ZeroSizedImagesGiveTheHeaderAlone) {
    TempDir dir;
    const std::uint8_t none[1] = {0};
    writeBmp(dir.file("w.bmp").c_str(), 0, 3, none);
    writeBmp(dir.file("h.bmp").c_str(), 3, 0, none);
    const auto w = readFileBytes(dir.file("w.bmp"));
    const auto h = readFileBytes(dir.file("h.bmp"));
    ASSERT_EQ(w.size(), 54u);
    ASSERT_EQ(h.size(), 54u);
    EXPECT_EQ(le32(w, 2), 54u);
    EXPECT_EQ(le32(w, 18), 0u);
    EXPECT_EQ(le32(w, 22), 3u);
    EXPECT_EQ(le32(h, 18), 3u);
    EXPECT_EQ(le32(h, 22), 0u);
}

TEST(BmpWriter, ReplacesAnExistingFileAndIgnoresUnwritableTargets) {
    TempDir dir;
    writeFileBytes(dir.path() / "old.bmp", std::vector<std::uint8_t>(5000, 0xAB));
    const std::uint8_t bgr[3] = {9, 8, 7};
    writeBmp(dir.file("old.bmp").c_str(), 1, 1, bgr);
    EXPECT_EQ(readFileBytes(dir.file("old.bmp")).size(), 58u);

    writeBmp(dir.file("missing/x.bmp").c_str(), 1, 1, bgr);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

} // namespace
