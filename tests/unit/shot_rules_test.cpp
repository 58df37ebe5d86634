#include <algorithm>

#include <gtest/gtest.h>

#include "shots/shot_rules.h"

namespace {

std::int32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::int32_t>(std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 |
                                     std::uint32_t{b[at + 2]} << 16 | std::uint32_t{b[at + 3]} << 24);
}

TEST(DropFileBlock, IsTheHeaderTheWidePathAndTwoWideZeros) {
    const std::u16string path = u"C:\\Users\\Jos\u00E9\\AppData\\Local\\Lumagrab\\VELTO_CACHE\\1_2.png";
    const auto block = dropFileBlock(path, -1700, 33);
    ASSERT_EQ(block.size(), 20 + 2 * (path.size() + 2));
    EXPECT_EQ(le32(block, 0), 20);
    EXPECT_EQ(le32(block, 4), -1700); // a monitor left of the primary one
    EXPECT_EQ(le32(block, 8), 33);
    EXPECT_EQ(le32(block, 12), 1);
    EXPECT_EQ(le32(block, 16), 1);
    std::u16string list;
    for (std::size_t at = 20; at + 1 < block.size(); at += 2)
        list += static_cast<char16_t>(block[at] | block[at + 1] << 8);
    EXPECT_EQ(list, path + u'\0' + u'\0');
    EXPECT_EQ(dropFileBlock(u"", 0, 0).size(), 24u);
}

} // namespace

namespace {

// A window dragged between monitors keeps its physical size and the grabbed point.
TEST(ShotRescale, DoublesOnTwiceTheDpiAndComesBackExactly) {
    EXPECT_EQ(rescaledLength(400, 192, 96), 800);
    EXPECT_EQ(rescaledLength(300, 192, 96), 600);
    EXPECT_EQ(rescaledLength(400, 96, 96), 400);  // back on the first monitor: measured from the creation DPI
    EXPECT_EQ(rescaledLength(401, 144, 96), 602); // 601.5 rounds up
    EXPECT_EQ(rescaledLength(5, 96, 192), 3);     // 2.5 rounds up
    EXPECT_EQ(rescaledLength(1, 24, 192), 1);     // never 0
    EXPECT_EQ(rescaledLength(2000000000, 192, 96), 2147483647);
    EXPECT_EQ(rescaledLength(400, 0, 96), 400);
    EXPECT_EQ(rescaledLength(400, 192, 0), 400);
}

// Catches a window made across two monitors taking its density from the one it
// covers most while a move asks the one under the pointer: it resized on its first 1-px move.
TEST(ShotRescale, CreationAndMovesFollowTheMonitorUnderThePointer) {
    const MonitorTable desk{{0, 0, 1920, 1080}, {1920, 0, 3840, 2160}, {-1280, -1024, 1280, 1024}};
    // Released at (1900, 500) with most of the window on the second monitor, then moved by one pixel.
    EXPECT_EQ(pointerMonitor(desk, 1900, 500), 0u);
    EXPECT_EQ(pointerMonitor(desk, 1901, 500), 0u);
    EXPECT_EQ(pointerMonitor(desk, 1920, 500), 1u);
    EXPECT_EQ(pointerMonitor(desk, -1, -1), 2u);
    EXPECT_EQ(pointerMonitor(desk, 0, -1), 0u);      // on none, one pixel from the first and the third: the first
    EXPECT_EQ(pointerMonitor(desk, 1000, 1500), 0u); // on none: the nearest
    EXPECT_EQ(pointerMonitor({}, 5, 5), 0u);
}

TEST(ShotRescale, TheGrabbedPointStaysUnderThePointer) {
    // Grabbed 100 px into a 400 px window; at 800 px that point is 200 px in.
    EXPECT_EQ(grabbedEdge(2500, 100, 800, 400), 2300);
    EXPECT_EQ(grabbedEdge(2500, 100, 400, 400), 2400);
    EXPECT_EQ(grabbedEdge(-300, 3, 800, 400), -306); // a monitor left of the primary one
    EXPECT_EQ(grabbedEdge(10, 1, 3, 2), 8);          // 1.5 rounds away from zero
}

TEST(ShotRescale, MulDivRoundsHalfAwayFromZeroAndReportsOverflow) {
    EXPECT_EQ(mulDivRounded(3, 1, 2), 2);
    EXPECT_EQ(mulDivRounded(-3, 1, 2), -2);
    EXPECT_EQ(mulDivRounded(3, -1, 2), -2);
    EXPECT_EQ(mulDivRounded(-3, -1, -2), -2);
    EXPECT_EQ(mulDivRounded(7, 5, 0), -1);
    EXPECT_EQ(mulDivRounded(2147483647, 2, 1), -1);
    EXPECT_EQ(mulDivRounded(2147483647, 2147483647, 2147483647), 2147483647);
}

TEST(QuickSaveName, IsFolderStemSecondsAndTheFormatsExtension) {
    const auto none = [](const std::string&) { return false; };
    EXPECT_EQ(quickSaveName("D:/shots/", 1700000000, 0, none), "D:/shots/ScreenCapture1700000000.jpg");
    EXPECT_EQ(quickSaveName("D:/shots/", 1700000000, 1, none), "D:/shots/ScreenCapture1700000000.png");
    EXPECT_EQ(quickSaveName("D:/shots/", 1700000000, 2, none), "D:/shots/ScreenCapture1700000000.bmp");
    EXPECT_EQ(quickSaveName("D:/shots/", 1700000000, 7, none), "D:/shots/ScreenCapture1700000000.png");
}

TEST(QuickSaveName, ANameInUseGetsTheNextFreeNumber) {
    const std::vector<std::string> used = {"C:/q/ScreenCapture5.png", "C:/q/ScreenCapture5 (2).png"};
    const auto taken = [&](const std::string& name) { return std::find(used.begin(), used.end(), name) != used.end(); };
    EXPECT_EQ(quickSaveName("C:/q/", 5, 1, taken), "C:/q/ScreenCapture5 (3).png");
    EXPECT_EQ(quickSaveName("C:/q/", 5, 0, taken), "C:/q/ScreenCapture5.jpg"); // another format is free
    EXPECT_EQ(quickSaveName("C:/q/", 6, 1, taken), "C:/q/ScreenCapture6.png");
}

} // namespace
