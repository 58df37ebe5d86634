// The pure decisions of a selection and of the screenshot made from it: the
// rectangle spanned by two points, the 5 x 5 minimum, the cut out of the
// frozen desktop (bottom-up rows in, top-down rows out) and the frame colour.
// Portable; the window procedures act around them.
#pragma once

#include <cstdint>

#include "state/pixel_rect.h"

struct ScreenPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// A selection in screen pixels.
using SelectionRect = PixelRect;

// The rectangle between the press point and the cursor, whichever corner each
// is; the right and bottom edges exclusive. The pointer cannot pass the last
// column (row) of a monitor with no neighbour beyond it, so an end point
// there takes that column (row) in as well.
SelectionRect selectionRect(ScreenPoint anchor, ScreenPoint last, const MonitorTable& monitors);

constexpr std::int32_t minimumScreenshotSize = 5;
// 4 pixels or less in either direction make no screenshot.
bool makesScreenshot(const SelectionRect& rect);

// Where the frozen desktop lies: desktop point (x, y) is its top-left pixel,
// the first pixel of its last row in memory.
using DesktopGeometry = PixelRect;

// Clips `rect` to the frozen desktop, so that a cut never reads outside it
// (the monitors are learnt at start-up, the desktop at every capture). False
// when nothing is left.
bool clipToDesktop(SelectionRect& rect, const DesktopGeometry& desktop);

// Sums of the blue, green and red bytes over the rectangle's edge pixels,
// each pixel counted once.
struct EdgeSums {
    std::uint32_t blue = 0;
    std::uint32_t green = 0;
    std::uint32_t red = 0;
    std::uint32_t count = 0;
};

// Copies `rect` (inside `desktop`) out of the bottom-up `frozen` BGRA pixels
// into `image` as top-down rows of rect.width pixels, all four bytes as they
// are, row by row; sums the edge pixels on the way.
EdgeSums cutSelection(const std::uint8_t* frozen, const DesktopGeometry& desktop, const SelectionRect& rect,
                      std::uint8_t* image);

// The frame colour as a COLORREF (0x00BBGGRR): red = 255 - average blue,
// green = 255 - average green, blue = 255 - average red. The averages of red
// and blue trade places: a pure red edge gives (255, 255, 0).
std::uint32_t frameColor(const EdgeSums& sums);
