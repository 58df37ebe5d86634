// The pure rules of a selection and of a new screenshot: the rectangle, the
// 5 x 5 minimum, clipping, the cut out of a bottom-up desktop with its edge
// sums and the frame colour.
#include <vector>

#include <gtest/gtest.h>

#include "selection/selection_rules.h"
#include "test_support.h"

namespace {

struct RectCase {
    ScreenPoint anchor;
    ScreenPoint last;
    SelectionRect rect;
    MonitorTable monitors = {};
};

class SelectionRectangle : public ::testing::TestWithParam<RectCase> {};

TEST_P(SelectionRectangle, SpansBothPointsWhicheverCornerEachIs) {
    EXPECT_EQ(selectionRect(GetParam().anchor, GetParam().last, GetParam().monitors), GetParam().rect);
}

INSTANTIATE_TEST_SUITE_P(Corners, SelectionRectangle,
                         ::testing::Values(RectCase{{10, 20}, {110, 70}, {10, 20, 100, 50}},
                                           RectCase{{110, 70}, {10, 20}, {10, 20, 100, 50}}, // up and to the left
                                           RectCase{{110, 20}, {10, 70}, {10, 20, 100, 50}},
                                           RectCase{{-1280, -5}, {-1200, 40}, {-1280, -5, 80, 45}},
                                           RectCase{{-10, 300}, {30, 300}, {-10, 300, 40, 0}},
                                           RectCase{{7, 7}, {7, 7}, {7, 7, 0, 0}}));

// Catches the last column and row of an outer edge left out: the pointer stops on them.
const MonitorTable oneMonitor{{0, 0, 1920, 1080}};
const MonitorTable twoMonitors{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
INSTANTIATE_TEST_SUITE_P(
    OuterEdges, SelectionRectangle,
    ::testing::Values(RectCase{{0, 0}, {1919, 1079}, {0, 0, 1920, 1080}, oneMonitor}, // corner to corner
                      RectCase{{100, 100}, {0, 0}, {0, 0, 100, 100}, oneMonitor},     // the end at the top left
                      RectCase{{1919, 1079}, {1800, 1000}, {1800, 1000, 119, 79}, oneMonitor}, // only the end point
                      RectCase{{100, 100}, {1919, 500}, {100, 100, 1819, 400}, twoMonitors},   // a neighbour beyond
                      RectCase{{100, 100}, {1919, 1079}, {100, 100, 1820, 980}, twoMonitors},  // none below its foot
                      RectCase{{2000, 100}, {3199, 1023}, {2000, 100, 1200, 924}, twoMonitors},
                      RectCase{{2000, 100}, {2100, 1050}, {2000, 100, 100, 950}, twoMonitors})); // on no monitor

struct SizeCase {
    std::int32_t width;
    std::int32_t height;
    bool screenshot;
};

class ScreenshotSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ScreenshotSize, NeedsFiveByFive) {
    EXPECT_EQ(makesScreenshot({0, 0, GetParam().width, GetParam().height}), GetParam().screenshot);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ScreenshotSize,
                         ::testing::Values(SizeCase{5, 5, true}, SizeCase{4, 40, false}, SizeCase{40, 4, false},
                                           SizeCase{0, 0, false}, SizeCase{5, 4, false}, SizeCase{1920, 1080, true}));

struct ClipCase {
    SelectionRect rect;
    bool kept;
    SelectionRect clipped;
};

class ClipToDesktop : public ::testing::TestWithParam<ClipCase> {};

TEST_P(ClipToDesktop, KeepsOnlyWhatTheCaptureHolds) {
    const DesktopGeometry desktop{-1280, -100, 3200, 1180}; // x -1280 .. 1920, y -100 .. 1080
    SelectionRect rect = GetParam().rect;
    EXPECT_EQ(clipToDesktop(rect, desktop), GetParam().kept);
    if (GetParam().kept) {
        EXPECT_EQ(rect, GetParam().clipped);
    }
}

INSTANTIATE_TEST_SUITE_P(Rects, ClipToDesktop,
                         ::testing::Values(ClipCase{{-1280, -100, 3200, 1180}, true, {-1280, -100, 3200, 1180}},
                                           ClipCase{{100, 100, 50, 50}, true, {100, 100, 50, 50}},
                                           ClipCase{{1900, 1000, 100, 200}, true, {1900, 1000, 20, 80}},
                                           ClipCase{{-1300, -120, 40, 40}, true, {-1280, -100, 20, 20}},
                                           ClipCase{{1920, 0, 10, 10}, false, {}},
                                           ClipCase{{0, -200, 10, 100}, false, {}}));

// A bottom-up desktop made from a top-down picture, as the capture holds it.
struct FrozenPicture {
    DesktopGeometry geometry;
    std::vector<std::uint8_t> topDown;
    std::vector<std::uint8_t> bottomUp;

    FrozenPicture(std::int32_t originX, std::int32_t originY, std::uint32_t width, std::uint32_t height)
        : geometry{originX, originY, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)},
          topDown(testing_support::makeFPictureBgra(width, height)), bottomUp(topDown.size()) {
        const std::size_t row = std::size_t{width} * 4;
        for (std::uint32_t y = 0; y < height; ++y)
            std::copy_n(&topDown[y * row], row, &bottomUp[(height - 1 - y) * row]);
    }

    // The desktop pixel at screen point (x, y), read from the top-down picture.
    const std::uint8_t* at(std::int32_t x, std::int32_t y) const {
        const auto column = static_cast<std::size_t>(x - geometry.x);
        const auto line = static_cast<std::size_t>(y - geometry.y);
        return &topDown[(line * static_cast<std::size_t>(geometry.width) + column) * 4];
    }
};

class Cut : public ::testing::TestWithParam<SelectionRect> {};

TEST_P(Cut, CopiesTheRectangleTopDownWithAllFourBytesAndSumsTheEdgeOnce) {
    const FrozenPicture desktop(-64, -24, 160, 96);
    const SelectionRect rect = GetParam();
    std::vector<std::uint8_t> image(std::size_t(rect.width) * std::size_t(rect.height) * 4, 0xEE);
    const EdgeSums sums = cutSelection(desktop.bottomUp.data(), desktop.geometry, rect, image.data());

    EdgeSums expected;
    for (std::int32_t i = 0; i < rect.width; ++i)
        for (std::int32_t j = 0; j < rect.height; ++j) {
            const std::uint8_t* want = desktop.at(rect.x + i, rect.y + j);
            const std::uint8_t* got = &image[(std::size_t(j) * std::size_t(rect.width) + std::size_t(i)) * 4];
            ASSERT_EQ(std::vector<std::uint8_t>(got, got + 4), std::vector<std::uint8_t>(want, want + 4))
                << "pixel " << i << ", " << j;
            if (i == 0 || j == 0 || i == rect.width - 1 || j == rect.height - 1) {
                expected.blue += want[0];
                expected.green += want[1];
                expected.red += want[2];
                ++expected.count;
            }
        }
    EXPECT_EQ(sums.blue, expected.blue);
    EXPECT_EQ(sums.green, expected.green);
    EXPECT_EQ(sums.red, expected.red);
    EXPECT_EQ(sums.count, expected.count);
}

INSTANTIATE_TEST_SUITE_P(Rects, Cut,
                         ::testing::Values(SelectionRect{-64, -24, 160, 96}, // the whole desktop
                                           SelectionRect{-64, -24, 5, 5}, SelectionRect{91, 67, 5, 5},
                                           SelectionRect{-10, -3, 37, 21}, SelectionRect{0, 0, 1, 9},
                                           SelectionRect{3, 50, 9, 1}, SelectionRect{12, 40, 1, 1}));

TEST(CutEdge, AFiveByFiveSelectionCountsSixteenEdgePixels) {
    const FrozenPicture desktop(0, 0, 20, 20);
    std::vector<std::uint8_t> image(5 * 5 * 4);
    EXPECT_EQ(cutSelection(desktop.bottomUp.data(), desktop.geometry, {3, 4, 5, 5}, image.data()).count, 16u);
}

constexpr std::uint32_t rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return r | (g << 8) | (b << 16); }

struct FrameCase {
    EdgeSums sums;
    std::uint32_t colour; // 0x00BBGGRR
};

class FrameColour : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameColour, InvertsTheEdgeAverageWithRedAndBlueTradingPlaces) {
    EXPECT_EQ(frameColor(GetParam().sums), GetParam().colour);
}

INSTANTIATE_TEST_SUITE_P(Edges, FrameColour,
                         ::testing::Values(FrameCase{{0, 0, 255 * 16, 16}, rgb(255, 255, 0)}, // pure red edge
                                           FrameCase{{0, 0, 0, 16}, rgb(255, 255, 255)},      // black gives white
                                           FrameCase{{255 * 4, 255 * 4, 255 * 4, 4}, rgb(0, 0, 0)},
                                           FrameCase{{100 * 3, 100 * 3, 100 * 3, 3}, rgb(155, 155, 155)},
                                           // Averages truncate: 10 / 4 is 2.
                                           FrameCase{{10, 20, 30, 4}, rgb(253, 250, 248)}));

} // namespace
