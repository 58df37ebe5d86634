// The portable rules of screenshot windows: the drop-file block a drag hands
// out, the size and place of a window on a monitor of another DPI, and Quick
// Save names. No Win32 header: the native tests reach all of it.
#pragma once

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
