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

// --- Zoom, opacity and keys of a pin ---

constexpr ZoomSide plain(std::int32_t length) { return {length, 96, 96}; }

// Catches a ladder that skips a rung or runs off an end, a size out of its
// bounds or not from the captured size, and a fine wheel's part-notches lost.
TEST(ShotZoom, StepsAlongTheLadderWithinTheBoundsAndAddsUpSmallWheelTurns) {
    const struct {
        std::int32_t percent, notches, width, height, expected;
    } steps[] = {{100, 1, 1920, 1080, 110}, {110, -2, 1920, 1080, 90}, {100, 5, 1920, 1080, 200},
                 {800, 1, 400, 300, 800},   {10, -3, 400, 300, 10},    {100, 50, 1920, 1080, 800},
                 {100, 50, 2500, 100, 600}, {100, -50, 400, 100, 20},  {100, -1, 12, 12, 100},
                 {100, -1, 20, 20, 90}}; // 16,384 px at most; 16 at least, or the picture's own if smaller
    for (const auto& c : steps)
        EXPECT_EQ(steppedZoom(c.percent, c.notches, plain(c.width), plain(c.height)), c.expected)
            << c.percent << " " << c.notches << " " << c.width << " x " << c.height;
    EXPECT_EQ(zoomedLength(1920, 33, 96, 96), 634);   // 633.6
    EXPECT_EQ(zoomedLength(101, 50, 96, 96), 51);     // 50.5 rounds up
    EXPECT_EQ(zoomedLength(400, 150, 192, 96), 1200); // the density factor of a DPI rescale
    EXPECT_EQ(zoomedLength(5, 10, 96, 96), 5);

    std::int32_t remainder = 0, notches = 0;
    for (int turn = 0; turn < 12; ++turn) // a touchpad: 30 units at a time
        notches += takeWheelNotches(remainder, 30);
    EXPECT_EQ(notches, 3);
    EXPECT_EQ(takeWheelNotches(remainder, 100), 0);
    EXPECT_EQ(takeWheelNotches(remainder, -40), 0); // back the other way: 60 left
    EXPECT_EQ(takeWheelNotches(remainder, -300), -2);
    EXPECT_EQ(remainder, 0);
}

// Catches a zoom that jumps away from the pointer, and rounding that drifts
// the window when it is zoomed in and out again about the same point.
TEST(ShotZoom, ThePointUnderThePointerStaysAndTenStepsInAndOutComeBackExactly) {
    EXPECT_EQ(wholePixels(zoomedEdge(100 * edgeUnit, 201, 400, 800)), -1); // 101 px in becomes 202
    EXPECT_EQ(wholePixels(-edgeUnit / 2 - 1), -1);
    struct Case {
        std::int32_t imageWidth, left, cursor;
    };
    for (const Case& c : {Case{333, 17, 140}, Case{1920, 0, 1277}, Case{97, -2000, -1990}, Case{40, 300, 302}}) {
        std::int64_t edge = std::int64_t{c.left} * edgeUnit;
        std::int32_t percent = 100, length = c.imageWidth;
        for (int step :
             {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 1, 1, 1}) {
            percent = steppedZoom(percent, step, plain(c.imageWidth), plain(c.imageWidth));
            const std::int32_t next = zoomedLength(c.imageWidth, percent, 96, 96);
            const std::int32_t before = c.cursor - wholePixels(edge);
            edge = zoomedEdge(edge, c.cursor, length, next);
            EXPECT_NEAR(double(c.cursor - wholePixels(edge)) / next, double(before) / length, 1.0 / next + 1e-9);
            length = next;
        }
        EXPECT_EQ(wholePixels(edge), c.left) << c.imageWidth << ": the window drifted";
    }
}

// Catches blurred text at a whole multiple, a 100 % picture not copied pixel
// for pixel, and an opacity past its bounds (the layered style: the pin scenario).
TEST(ShotZoom, ScalingAndOpacityFollowTheirRules) {
    EXPECT_EQ(shotScaling(400, 300, 400, 300), ShotScaling::copy);
    EXPECT_EQ(shotScaling(400, 300, 1200, 900), ShotScaling::blocks);
    for (auto [width, height] : {std::pair{440, 330}, std::pair{200, 150}, std::pair{800, 900}})
        EXPECT_EQ(shotScaling(400, 300, width, height), ShotScaling::smooth) << width;
    EXPECT_EQ(steppedOpacity(100, -1), 90);
    EXPECT_EQ(steppedOpacity(100, 1), 100);
    EXPECT_EQ(steppedOpacity(30, -5), 20);
}

// Catches Ctrl+S or a held arrow doing the wrong thing, and a plain C copying.
// Escape, Ctrl+C and the arrows' steps: the pin scenario; a held Escape: the Win32 test.
TEST(ShotKeys, PressesActHeldKeysOnlyMove) {
    constexpr std::uint32_t up = 0x26;
    const struct {
        std::uint32_t key;
        bool ctrl, shift, repeat;
        ShotKeyAction action;
        std::int32_t dx, dy;
    } cases[] = {{'C', false, false, false, ShotKeyAction::none, 0, 0},
                 {'S', true, false, false, ShotKeyAction::saveAs, 0, 0},
                 {up, false, true, true, ShotKeyAction::move, 0, -10}};
    for (const auto& c : cases) {
        const ShotKey got = shotKeyAction(c.key, c.ctrl, c.shift, c.repeat);
        EXPECT_TRUE(got.action == c.action && got.dx == c.dx && got.dy == c.dy) << c.key << " " << c.repeat;
    }
}

} // namespace
