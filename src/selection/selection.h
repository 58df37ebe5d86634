// Region selection: the per-monitor overlay windows ("Screen Capture"), the
// translucent selection rectangle ("Screen Capture2"), the four operations
// that the overlays, the screenshot windows and the Escape key share, and the
// birth of a screenshot window from a finished selection. GUI thread only.
#pragma once

#include <windows.h>

#include <cstdint>

LRESULT CALLBACK overlayWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK selectionWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// A left press in an overlay: the anchor, and the selection window made or shown.
void beginSelection();
// Every mouse move over an overlay, the selection window or a screenshot
// window: the cursor is stored, and the selection window takes the rectangle
// as it stood before this move.
void trackSelection();
// A left release: ends a running capture, and a rectangle of at least 5 x 5
// becomes a screenshot window.
void endSelection();
// Ends the capture: overlays and selection window destroyed, flags cleared
// (the button counts as released).
// The frozen desktop stays until the next capture. Also the Escape key's cancel.
void tearDownSelection();

// A "Capped" window over the rectangle (screen pixels), showing the frozen
// desktop's pixels there; registered, and its cache file queued. Ends the
// process if the window cannot be made.
void createScreenshot(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);
