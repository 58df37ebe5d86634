// Region selection: the start of a capture, the per-monitor overlay windows
// ("Screen Capture", made and destroyed only here), the translucent selection
// rectangle ("Screen Capture2"), and the four operations that the overlays,
// the screenshot windows and the Escape key share. GUI thread only.
#pragma once

#include <windows.h>

#include <cstdint>

// What beginCapture did; the shell turns the failures into a message box (and
// for the overlays an exit code).
enum class CaptureOutcome { started, alreadyRunning, desktopUnreadable, overlayFailed };
// Starts a capture unless one is running: freezes the screen, shows one
// overlay per monitor and, once they are painted, keeps the frozen pixels
// ("Begin Capture" delays the call by a timer, not here). A screen that cannot
// be read leaves no capture running.
CaptureOutcome beginCapture();

LRESULT CALLBACK overlayWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK selectionWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// The screen point of a mouse message's client coordinates: where the pointer
// was when the message was made, not where it is when it is handled.
POINT messagePoint(HWND hwnd, LPARAM lp);
// A left press in an overlay at `press`: the anchor, and the selection window made or shown.
void beginSelection(POINT press);
// Every mouse move over an overlay, the selection window or a screenshot
// window: the pointer's point is stored, and the selection window takes the
// rectangle as it stood before this move.
void trackSelection(POINT cursor);
// A left release at `release`, the selection's end: ends a running capture and
// hands the rectangle to app.selectionEnded, whose owner makes a rectangle of
// at least 5 x 5 a screenshot window.
void endSelection(POINT release);
// Ends the capture: overlays and selection window destroyed, flags cleared
// (the button counts as released).
// The frozen desktop stays: whoever ended the capture releases it. Also the Escape key's cancel.
void tearDownSelection();
