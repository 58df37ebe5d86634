// The portable rules of screenshot windows: the drop-file block a drag hands
// out, the size and place of a window on a monitor of another DPI or at a
// zoom, its opacity and keys, and Quick Save names. No Win32 header: the
// native tests reach all of it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "output/output.h"
#include "state/pixel_rect.h"

// --- Drag and drop ---------------------------------------------------------

// 20-byte DROPFILES header (list offset 20, cursor x and y, non-client flag 1,
// wide flag 1; little-endian), the UTF-16 path and its zero, and the zero
// that ends the list: 20 + 2 x (path.size() + 2) bytes. Wide, because a drop
// target reads a narrow list in its own legacy code page, not in UTF-8.
std::vector<std::uint8_t> dropFileBlock(std::u16string_view path, std::int32_t cursorX, std::int32_t cursorY);

// Whether a drag-out that ended in a drop took the screenshot's file away, so
// that its window closes as after a move. A drop with no effect is what a
// window that takes no files gives too: only a file gone from its path or a
// target that says it moved it ("Performed DropEffect") counts then.
bool dragOutMovedFile(bool moveEffect, bool targetSaysMoved, bool fileStillThere);

// --- DPI rescale -----------------------------------------------------------

// imageLength x newDpi / creationDpi, rounded half up, clamped to 1..INT32_MAX;
// imageLength itself when either DPI is 0.
std::int32_t rescaledLength(std::int32_t imageLength, std::uint32_t newDpi, std::uint32_t creationDpi);

// The monitor whose density a screenshot window follows, at its creation (the
// pointer where the selection was released) and on every move alike: the one
// under the pointer, else the nearest (the first of equals). An index into
// `monitors`; monitors.size() when there is none.
std::size_t pointerMonitor(const MonitorTable& monitors, std::int32_t x, std::int32_t y);

// MulDiv as Win32 has it: a x b / c in 64 bits, rounded half away from zero;
// -1 when c is 0 or the result does not fit in 32 bits.
std::int32_t mulDivRounded(std::int32_t a, std::int32_t b, std::int32_t c);

// Where the window's edge goes so that the point grabbed `grabOffset` into a
// window of `grabLength` stays under the cursor at the new length.
std::int32_t grabbedEdge(std::int32_t cursor, std::int32_t grabOffset, std::int32_t newLength, std::int32_t grabLength);

// --- Zoom and opacity ------------------------------------------------------

// One notch of a wheel; finer wheels and touchpads send parts of it.
constexpr std::int32_t wheelNotch = 120;
// The whole notches in `remainder` + `delta` (up positive); what is short of
// a notch stays in `remainder` for the next turn, in either direction.
std::int32_t takeWheelNotches(std::int32_t& remainder, std::int32_t delta);

// The rungs of the zoom, in percent; 100 is the captured size.
constexpr std::array<std::int32_t, 21> zoomLadder{10,  15,  20,  25,  33,  50,  67,  75,  90,  100, 110,
                                                  125, 150, 175, 200, 250, 300, 400, 500, 600, 800};
// No window side is made shorter (unless the picture itself is) nor longer.
constexpr std::int32_t shortestShotSide = 16;
constexpr std::int32_t longestShotSide = 16384;

// A window side: imageLength x percent / 100 x dpi / creationDpi (the density
// factor, 1 while "Resize screenshot windows" has not rescaled it), rounded
// half up, kept within the bounds. Always from the captured length, so a zoom
// gives one size however it was reached.
std::int32_t zoomedLength(std::int32_t imageLength, std::int32_t percent, std::uint32_t dpi, std::uint32_t creationDpi);

// What one side needs to zoom: its captured length and the density factor.
struct ZoomSide {
    std::int32_t imageLength;
    std::uint32_t dpi;
    std::uint32_t creationDpi;
};
// The zoom `notches` rungs from `percent` (up zooms in), stopping at either
// end of the ladder and at the last rung whose size stays within the bounds
// on both sides, so that a picture never loses its shape.
std::int32_t steppedZoom(std::int32_t percent, std::int32_t notches, ZoomSide across, ZoomSide down);

// Window edges in 1/65536 px: kept between zoom steps so that rounding to
// whole pixels never adds up.
constexpr std::int64_t edgeUnit = 65536;
// The new edge so that the picture point under `cursor` stays under it when
// the window's side goes from `oldLength` to `newLength`.
std::int64_t zoomedEdge(std::int64_t edge, std::int32_t cursor, std::int32_t oldLength, std::int32_t newLength);
// The whole pixel of a fixed-point edge, half up.
std::int32_t wholePixels(std::int64_t edge);

// How a picture fills its window: `copy` at its own size (exactly the
// captured pixels), `blocks` at a whole multiple (each pixel a crisp square),
// `smooth` at any other size.
enum class ShotScaling { copy, blocks, smooth };
ShotScaling shotScaling(std::int32_t imageWidth, std::int32_t imageHeight, std::int32_t width, std::int32_t height);

// Opacity in percent, 10 a notch between 20 (a pin still catches its click)
// and 100.
constexpr std::int32_t lowestOpacity = 20;
constexpr std::int32_t opacityStep = 10;
std::int32_t steppedOpacity(std::int32_t percent, std::int32_t notches);
// The constant alpha for a layered window at `percent`.
std::uint8_t opacityAlpha(std::int32_t percent);
// Only a pin below 100 % is a layered window: an opaque one stays as it was.
inline bool layeredAt(std::int32_t opacityPercent) { return opacityPercent < 100; }

// The note shown for a moment after a change: "150 %", "Opacity 60 %".
std::string zoomNote(std::int32_t percent);
std::string opacityNote(std::int32_t percent);

// --- Keys on the active pin ------------------------------------------------

enum class ShotKeyAction { none, close, copy, saveAs, move };
struct ShotKey {
    ShotKeyAction action = ShotKeyAction::none;
    std::int32_t dx = 0;
    std::int32_t dy = 0;
};
// What a key press does: Escape closes, Ctrl+C copies, Ctrl+S saves as, the
// arrows move 1 px (10 with Shift). `repeat`: the key was already down (held,
// or pressed while another window had the keyboard): only an arrow acts on
// it, so a held arrow keeps moving but a held Escape closes nothing.
ShotKey shotKeyAction(std::uint32_t virtualKey, bool ctrl, bool shift, bool repeat);

// --- Quick Save ------------------------------------------------------------

// folder + "ScreenCapture" + seconds + extension. When `taken` says that name
// is used (on disk or by a queued save), " (2)", " (3)" ... go before the
// extension until a free one is found.
std::string quickSaveName(std::string_view folder, std::int64_t seconds, std::int32_t format,
                          const std::function<bool(const std::string&)>& taken);

// What makes a Quick Save folder unusable, judged before anything is made or
// written: a file name Windows would read another way must not be tried.
enum class FolderProblem {
    none,
    empty,
    notFull,      // not "X:\..." nor "\\server\share\...", or no separator at the end
    tooLong,      // no room left for a Quick Save name within the path limit
    badCharacter, // < > " | ? *, a control character, or ":" past the drive
    deviceName,   // a segment such as CON, NUL, COM1, "nul.txt", or the "\\.\" namespace
    badEnding,    // a segment ending in a dot or a space (Windows drops them)
};
// The longest path the ANSI file calls take, without its terminating NUL.
constexpr std::size_t pathLimit = 259;
// Room a Quick Save name needs after its folder: "ScreenCapture", ten digits,
// " (99)", ".png", and what its temporary name adds while it is written.
constexpr std::size_t quickSaveNameRoom = 32 + temporaryNameRoom;
FolderProblem quickSaveFolderProblem(std::string_view folder);

// The levels of `folder` that may have to be made, outermost first, each
// without its closing separator. Its root is never one: a drive ("C:\", or
// "C:" before a drive-relative path), a share ("\\server\share\"), or after
// "\\?\" the drive or "UNC\server\share\".
std::vector<std::string> folderLevelsToMake(std::string_view folder);
