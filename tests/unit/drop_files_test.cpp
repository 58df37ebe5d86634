#include <gtest/gtest.h>

#include "shots/drop_files.h"

namespace {

std::int32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::int32_t>(std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 |
                                     std::uint32_t{b[at + 2]} << 16 | std::uint32_t{b[at + 3]} << 24);
}

TEST(DropFileBlock, IsTheHeaderThePathAndTwoZeros) {
    const std::string path = "C:\\Users\\Bob\\AppData\\Local\\Lumagrab\\VELTO_CACHE\\1_2.png";
    const auto block = dropFileBlock(path, -1700, 33);
    ASSERT_EQ(block.size(), path.size() + 22);
    EXPECT_EQ(le32(block, 0), 20);
    EXPECT_EQ(le32(block, 4), -1700); // a monitor left of the primary one
    EXPECT_EQ(le32(block, 8), 33);
    EXPECT_EQ(le32(block, 12), 1);
    EXPECT_EQ(le32(block, 16), 0);
    EXPECT_EQ(std::string(block.begin() + 20, block.begin() + 20 + static_cast<long>(path.size())), path);
    EXPECT_EQ(block[block.size() - 2], 0);
    EXPECT_EQ(block[block.size() - 1], 0);
    EXPECT_EQ(dropFileBlock("", 0, 0).size(), 22u);
}

} // namespace
