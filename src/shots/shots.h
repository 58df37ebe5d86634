// Screenshot windows: the records in app.screenshots, their window procedure
// ("Capped") and the drag-and-drop source. GUI thread only.
#pragma once

#include <windows.h>

#include <memory>

#include "state/app_state.h"
#include "state/state.h"

// What became of a finished selection; the shell turns the two failures into
// their exit codes.
enum class ScreenshotOutcome { made, nothingToShow, windowFailed, exceptionThrown };
// A "Capped" window over the rectangle (screen pixels), showing the frozen
// desktop's pixels there; registered, and its cache file queued. Nothing is
// made when the frozen desktop does not hold the rectangle or it is under 5 x 5.
ScreenshotOutcome createScreenshot(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);

// Frees one record and what it owns, in this order: pixels; the cache file
// and its save unless keepFile (never waiting for the worker); cachePath; the
// record. The window itself is not touched. `slot` is null afterwards.
void releaseScreenshot(std::unique_ptr<ScreenshotWindow>& slot);

// Closes the window in `slot` and gives the slot back: DestroyWindow, the
// record released, the records above move down one slot, the index follows.
void closeScreenshot(std::uint32_t slot);

// "Close All": every window leaves screenshotIndex before it is destroyed (so
// its last messages get default processing), then its record is released.
void closeAllScreenshots();

LRESULT CALLBACK screenshotWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// How a pin shows its picture (screenshot_view_win.cpp): the paint at its
// zoom with its frame and note; the wheel zooms about the pointer, Ctrl+wheel
// sets the opacity, the middle button resets both; the note's timer ends it.
LRESULT paintScreenshot(ScreenshotWindow& shot);
LRESULT onShotWheel(ScreenshotWindow& shot, WPARAM wp, LPARAM lp);
LRESULT onShotMiddleDown(ScreenshotWindow& shot);
LRESULT onShotTimer(ScreenshotWindow& shot, WPARAM timer);
// The window's size at its zoom on a monitor of this DPI, noted as its
// density: the DPI rescale keeps the zoom.
SIZE rescaledShotSize(ScreenshotWindow& shot, UINT dpiX, UINT dpiY);
// The pin's keys (Escape, Ctrl+C, Ctrl+S, arrows) and WM_CLOSE, which closes
// it as a click does (screenshot_keys_win.cpp). Each looks the window up itself.
LRESULT onShotKeyDown(HWND hwnd, WPARAM wp, LPARAM lp);
LRESULT onShotClose(HWND hwnd);

// A monitor's DPI: the raw one first, the effective one when that fails or
// reads 0, 96 when both do (a failed query leaves its answers undefined).
void monitorDpi(HMONITOR monitor, UINT& dpiX, UINT& dpiY);
// The monitor a screenshot window's size follows, by pointerMonitor.
HMONITOR monitorUnderPointer(POINT pointer);

// The menu of every screenshot window (app.shotMenu), made once at start-up:
// "Save As", "Quick Save", "Copy", "Close All".
constexpr UINT_PTR shotSaveAsCommand = 1000;
constexpr UINT_PTR shotCopyCommand = 1001;
constexpr UINT_PTR shotCloseAllCommand = 1002;
constexpr UINT_PTR shotQuickSaveCommand = 1003;
HMENU createShotMenu();

// What a Ctrl + left press did: nothing (another drag waits, the file is not
// there yet, or the drag objects could not be made), or a drag that ran.
enum class DragOutcome { notStarted, dragged };
// Ctrl + left press: drags the cache file out (waiting for its save first).
// The window may be closed by the time it returns.
DragOutcome dragScreenshotFile(ScreenshotWindow& shot, HWND hwnd);
// "Copy": the image at its captured size onto the clipboard as CF_BITMAP.
void copyScreenshot(const ScreenshotWindow& shot);
// "Save As": the save dialog, then a queued save of a copy of the image; a
// name that gets no format, or a file that cannot be written, is told in a
// "Save As" message.
void saveScreenshotAs(const ScreenshotWindow& shot);
// "Quick Save": a free name in the Quick Save folder (made when missing). When
// closeScreenshotOnSave is set the window is hidden as the save is queued and
// closed once the file is written; it stays, or comes back where it was, with
// a message, when the folder cannot be made or the file cannot be written.
void quickSaveScreenshot(const ScreenshotWindow& shot);
// The tray window's handling of quickSaveWrittenMessage (state/state.h).
void onQuickSaveWritten(WPARAM serial, bool written);
// The tray window's handling of saveAsWrittenMessage: a "Save As" message naming the
// file when it was not written; the window stays open.
void onSaveAsWritten(WPARAM serial, bool written);
