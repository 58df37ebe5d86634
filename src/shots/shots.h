// Screenshot windows: the records in app.screenshots, their window procedure
// ("Capped") and the drag-and-drop source. GUI thread only.
#pragma once

#include <windows.h>

#include <memory>

#include "app/app_state.h"

// Frees one record and what it owns, in this order: pixels; bitmap out of the
// memory DC, bitmap, memory DC; the cache file unless keepFile; cachePath;
// the record. The window itself is not touched. `slot` is null afterwards.
void releaseScreenshot(std::unique_ptr<ScreenshotWindow>& slot);

// Closes the window in `slot` and gives the slot back: DestroyWindow, the
// record released, the records above move down one slot, the index follows.
void closeScreenshot(std::uint32_t slot);

// "Close All": every window leaves screenshotIndex before it is destroyed (so
// its last messages get default processing), then its record is released.
void closeAllScreenshots();

LRESULT CALLBACK screenshotWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Fills the operation tables of the drag-and-drop objects; after OleInitialize.
void prepareDragDropTables();
