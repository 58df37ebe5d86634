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

// Catches a ladder that skips or repeats a rung, runs off either end, or drops
// the part of a fine wheel's turn that is short of a notch.
TEST(ShotZoom, StepsAlongTheLadderStopsAtItsEndsAndAddsUpSmallWheelTurns) {
    const ZoomSide across = plain(1920), down = plain(1080);
    EXPECT_EQ(steppedZoom(100, 1, across, down), 110);
    EXPECT_EQ(steppedZoom(100, -1, across, down), 90);
    EXPECT_EQ(steppedZoom(100, 5, across, down), 200);
    EXPECT_EQ(steppedZoom(110, -2, across, down), 90);
    EXPECT_EQ(steppedZoom(100, 0, across, down), 100);
    EXPECT_EQ(steppedZoom(800, 1, plain(400), plain(300)), 800);
    EXPECT_EQ(steppedZoom(10, -3, plain(400), plain(300)), 10);
    EXPECT_EQ(steppedZoom(100, 50, plain(400), plain(300)), 800);
    // Bounds: 1920 x 1080 stops at 800 % (15,360); 2500 px wide at 600 % (16,384 max).
    EXPECT_EQ(steppedZoom(100, 50, across, down), 800);
    EXPECT_EQ(steppedZoom(100, 50, plain(2500), plain(100)), 600);
    // 100 px high stops at 20 % (20 px): 15 % would be under 16 px; a 10 px picture never shrinks below 10.
    EXPECT_EQ(steppedZoom(100, -50, plain(400), plain(100)), 20);
    EXPECT_EQ(steppedZoom(100, -1, plain(20), plain(20)), 90);
    EXPECT_EQ(steppedZoom(100, -1, plain(12), plain(12)), 100); // 11 px: under 16
    EXPECT_EQ(steppedZoom(100, -1, plain(10), plain(10)), 100); // 9 px: under the picture's own 10

    std::int32_t remainder = 0;
    int notches = 0;
    for (int turn = 0; turn < 12; ++turn) // a touchpad: 30 units at a time
        notches += takeWheelNotches(remainder, 30);
    EXPECT_EQ(notches, 3);
    EXPECT_EQ(remainder, 0);
    EXPECT_EQ(takeWheelNotches(remainder, 100), 0);
    EXPECT_EQ(takeWheelNotches(remainder, -40), 0); // back the other way: 60 left
    EXPECT_EQ(remainder, 60);
    EXPECT_EQ(takeWheelNotches(remainder, -300), -2);
    EXPECT_EQ(remainder, 0);
    EXPECT_EQ(takeWheelNotches(remainder, 360), 3);
}

// Catches a size taken from the last window size instead of the captured one,
// rounding that is not half up, and the density factor left out.
TEST(ShotZoom, SizeIsTheCapturedSizeTimesZoomAndDensityWithinTheBounds) {
    EXPECT_EQ(zoomedLength(1920, 100, 96, 96), 1920);
    EXPECT_EQ(zoomedLength(1920, 33, 96, 96), 634); // 633.6
    EXPECT_EQ(zoomedLength(101, 50, 96, 96), 51);   // 50.5 rounds up
    EXPECT_EQ(zoomedLength(400, 150, 192, 96), 1200);
    EXPECT_EQ(zoomedLength(400, 100, 0, 96), 400);
    EXPECT_EQ(zoomedLength(100, 10, 96, 96), 16);
    EXPECT_EQ(zoomedLength(5, 10, 96, 96), 5);
    EXPECT_EQ(zoomedLength(4000, 800, 96, 96), 16384);
    EXPECT_EQ(zoomedLength(20000, 100, 96, 96), 16384);
}

// Catches a zoom that jumps away from the pointer, and rounding that drifts
// the window when it is zoomed in and out again about the same point.
TEST(ShotZoom, ThePointUnderThePointerStaysAndTenStepsInAndOutComeBackExactly) {
    // 400 px wide at x = 100; the pointer 101 px in. At 200 % that picture point is 202 px in.
    EXPECT_EQ(wholePixels(zoomedEdge(100 * edgeUnit, 201, 400, 800)), -1);
    EXPECT_EQ(wholePixels(zoomedEdge(-50 * edgeUnit, -30, 400, 400)), -50);
    EXPECT_EQ(wholePixels(edgeUnit / 2), 1);
    EXPECT_EQ(wholePixels(-edgeUnit / 2), 0);
    EXPECT_EQ(wholePixels(-edgeUnit / 2 - 1), -1);

    struct Case {
        std::int32_t imageWidth, left, cursor;
    };
    for (const Case& c : {Case{333, 17, 140}, Case{1920, 0, 1277}, Case{97, -2000, -1990}, Case{40, 300, 302}}) {
        std::int64_t edge = std::int64_t{c.left} * edgeUnit;
        std::int32_t percent = 100;
        std::int32_t length = c.imageWidth;
        const ZoomSide side = plain(c.imageWidth);
        // Ten steps in and out, then four out and in: each rung on the way is within the bounds.
        for (int step : {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 1, 1, 1}) {
            percent = steppedZoom(percent, step, side, side);
            const std::int32_t next = zoomedLength(c.imageWidth, percent, 96, 96);
            const std::int32_t before = c.cursor - wholePixels(edge);
            edge = zoomedEdge(edge, c.cursor, length, next);
            // The picture column under the pointer stays the one it was, within a pixel of the window.
            EXPECT_NEAR(double(c.cursor - wholePixels(edge)) / next, double(before) / length, 1.0 / next + 1e-9)
                << c.imageWidth << " at " << percent;
            length = next;
        }
        EXPECT_EQ(percent, 100) << c.imageWidth;
        EXPECT_EQ(wholePixels(edge), c.left) << c.imageWidth << ": the window drifted";
    }
}

// Catches blurred text at a whole multiple, and a 100 % picture that is not copied pixel for pixel.
TEST(ShotZoom, WholeMultiplesAreBlocksOtherSizesSmoothAndTheCapturedSizeACopy) {
    const struct {
        std::int32_t width, height;
        ShotScaling expected;
    } cases[] = {{400, 300, ShotScaling::copy},    {800, 600, ShotScaling::blocks}, {1200, 900, ShotScaling::blocks},
                 {440, 330, ShotScaling::smooth},  {200, 150, ShotScaling::smooth}, {800, 900, ShotScaling::smooth},
                 {800, 300, ShotScaling::smooth}, {600, 450, ShotScaling::smooth}};
    for (const auto& c : cases)
        EXPECT_EQ(shotScaling(400, 300, c.width, c.height), c.expected) << c.width << " x " << c.height;
}

// Catches an opacity that goes past 100 % or down to an invisible pin, and a
// layered style left on an opaque one.
TEST(ShotOpacity, StepsByTenBetweenTwentyAndOneHundredAndIsLayeredOnlyBelow) {
    EXPECT_EQ(steppedOpacity(100, -1), 90);
    EXPECT_EQ(steppedOpacity(100, 1), 100);
    EXPECT_EQ(steppedOpacity(30, -1), 20);
    EXPECT_EQ(steppedOpacity(20, -5), 20);
    EXPECT_EQ(steppedOpacity(20, 20), 100);
    EXPECT_EQ(opacityAlpha(100), 255);
    EXPECT_EQ(opacityAlpha(20), 51);
    EXPECT_EQ(opacityAlpha(60), 153);
    EXPECT_FALSE(layeredAt(100));
    EXPECT_TRUE(layeredAt(90));
    EXPECT_EQ(zoomNote(150), "150 %");
    EXPECT_EQ(opacityNote(60), "Opacity 60 %");
}

// Catches a held Escape (its press went to a capture's overlay) closing the
// pin, and Ctrl+C, Ctrl+S or the arrows doing the wrong thing.
TEST(ShotKeys, PressesActHeldKeysOnlyMove) {
    constexpr std::uint32_t escape = 0x1B, left = 0x25, up = 0x26, right = 0x27, down = 0x28;
    const struct {
        std::uint32_t key;
        bool ctrl, shift, repeat;
        ShotKeyAction action;
        std::int32_t dx, dy;
    } cases[] = {
        {escape, false, false, false, ShotKeyAction::close, 0, 0}, {escape, false, false, true, ShotKeyAction::none, 0, 0},
        {'C', true, false, false, ShotKeyAction::copy, 0, 0},      {'C', false, false, false, ShotKeyAction::none, 0, 0},
        {'C', true, false, true, ShotKeyAction::none, 0, 0},       {'S', true, false, false, ShotKeyAction::saveAs, 0, 0},
        {left, false, false, false, ShotKeyAction::move, -1, 0},   {right, false, true, false, ShotKeyAction::move, 10, 0},
        {up, false, true, true, ShotKeyAction::move, 0, -10},      {down, false, false, false, ShotKeyAction::move, 0, 1},
        {'X', true, false, false, ShotKeyAction::none, 0, 0},
    };
    for (const auto& c : cases) {
        const ShotKey got = shotKeyAction(c.key, c.ctrl, c.shift, c.repeat);
        EXPECT_EQ(got.action, c.action) << c.key;
        EXPECT_EQ(got.dx, c.dx) << c.key;
        EXPECT_EQ(got.dy, c.dy) << c.key;
    }
}

} // namespace
