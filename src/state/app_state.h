// The process-wide state of the GUI thread: one AppState record, `app`, that
// every subsystem reaches directly. Start-up fills it in a fixed order and
// shutdown releases it in a fixed order (app/startup_win.cpp); nothing here
// frees itself in a destructor.
//
// What lives outside it, and why:
// - output/save_queue.cpp: the queue, its lock, `running`, the worker's wake-ups
//   and the express job; the GUI thread and the save threads, under saveQueueLock
//   (`running` is atomic). output/save_worker.cpp: the worker thread (GUI thread).
// - output/save_image.cpp: the save stream and its buffer, one per saving thread;
//   output/png_memory.cpp: the kept PNG blocks, held by one saving thread at a time.
// - prefs/preferences.cpp: the settings, prefs.txt's path and the Quick Save
//   folder; GUI thread, portable code below this header.
// - capture/duplication.cpp: the duplication cache (GUI thread, portable);
//   capture/duplication_win.cpp: the DXGI and Direct3D entry points, loaded
//   once, and the system duplication (GUI thread).
// - state/gdi_ledger_win.cpp: the ledger's count (ledger build; any thread).
// - Function-local statics that pick a SIMD variant or build a table are set
//   once, at their first call (any thread), and only read after that.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "state/pixel_rect.h"

// The frozen virtual screen of the capture in progress: one bottom-up 32-bit
// DIB section held by `memoryDC`, read by one BitBlt, so the picture is one
// moment of the screen; `pixels` is its opaque copy that selections are cut
// from (first row = bottom screen line). Released once the capture ends.
struct FrozenDesktop {
    bool valid = false;
    bool pixelsKept = false; // `pixels` holds this capture's copy, and the DIB is opaque
    HDC memoryDC = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    std::uint8_t* bits = nullptr;
    std::unique_ptr<std::uint8_t[]> pixels;
    std::int32_t originX = 0;
    std::int32_t originY = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// One pinned screenshot window. Owns `pixels`, which it paints from, and the
// cache file at `cachePath` (deleted on release unless `keepFile`).
struct ScreenshotWindow {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t dpiX = 96;
    std::uint32_t dpiY = 96;
    HMONITOR monitor = nullptr;
    std::int32_t grabOffsetX = 0;
    std::int32_t grabOffsetY = 0;
    std::int32_t grabWidth = 1;
    std::int32_t grabHeight = 1;
    bool keepFile = false;
    std::string cachePath;
    HWND hwnd = nullptr;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t imageWidth = 0;
    std::int32_t imageHeight = 0;
    std::int32_t pressX = 0;
    std::int32_t pressY = 0;
    std::unique_ptr<std::uint8_t[]> pixels; // top-down BGRA
    bool moving = false;
    bool mouseCaptured = false;
    COLORREF borderColor = 0;
    // How the pin shows its picture; the picture and everything handed out stay at the captured size.
    std::int32_t zoomPercent = 100;
    std::int32_t opacityPercent = 100;
    std::int32_t zoomWheel = 0; // wheel delta short of a notch
    std::int32_t opacityWheel = 0;
    std::int64_t edgeX = 0; // window left and top in 1/65536 px, kept across zoom steps
    std::int64_t edgeY = 0;
    std::uint32_t densityDpiX = 0; // the monitor DPI the size was last computed for; 0: the creation DPI
    std::uint32_t densityDpiY = 0;
    std::string note; // "150 %" for a moment after a change; empty: none
};

constexpr std::size_t screenshotSlots = 100;

// A Quick Save the worker has not reported yet, by the number posted back.
struct PendingQuickSave {
    HWND window = nullptr;
    std::string folder;
    bool closeWhenWritten = false;
};

// A Save As the worker has not reported yet.
struct PendingSaveAs {
    HWND window = nullptr;
    std::string target; // the name it is written as
};

// The options window and its controls; its tables hold exactly the controls of the open window.
struct OptionsUi {
    std::int32_t uiScale = 100; // percent, for layout and fonts
    HFONT labelFont = nullptr;  // Tahoma 16 x uiScale / 100
    HFONT formatFont = nullptr; // Tahoma 22 x uiScale / 100
    HBITMAP checkmarkBitmap = nullptr;
    HINSTANCE optionsInstance = nullptr;
    std::map<HWND, std::string> labelTexts;
    std::map<HWND, COLORREF> swatchColors;
    std::map<HWND, std::uint32_t> swatchIndices;
    std::map<HWND, std::uint32_t> formatIndices;
    HWND selectedSwatch = nullptr;
    HWND selectedFormatChoice = nullptr;
    HWND resizeToggle = nullptr;
    HWND browseButton = nullptr;
    HWND pathEdit = nullptr;
    HWND optionsWindow = nullptr;
    bool optionsOpen = false;
};

// What the shell does when a running capture ended by a release: `makesShot`
// when the rectangle (screen pixels) makes a screenshot. A call, not a
// message: any program may post a message, and none may hand us a pointer.
using SelectionEndedHandler = void (*)(bool makesShot, const PixelRect& rect);

struct AppState {
    HINSTANCE instance = nullptr;

    // Monitor layout, learnt once at start-up; entry i belongs to overlay i.
    MonitorTable monitors;
    std::uint32_t monitorCount = 0;

    // Capture and selection in progress.
    bool captureActive = false;
    bool capturePrepared = false; // desktop duplication made ready once, after start-up
    bool overlaysShown = false;
    std::vector<HWND> overlayWindows; // monitorCount entries; made and destroyed only by selection/
    std::map<HWND, std::uint32_t> overlayMap;
    POINT selectionAnchor{};
    POINT lastCursorPos{};
    bool selectionButtonDown = false;
    HWND selectionWindow = nullptr;
    bool selectionWindowShown = false;
    SelectionEndedHandler selectionEnded = nullptr; // set by the shell at start-up
    FrozenDesktop frozenDesktop;

    // Screenshot windows: slots below screenshotCount hold records, in creation order.
    std::vector<std::unique_ptr<ScreenshotWindow>> screenshots;
    std::uint32_t screenshotCount = 0;
    std::map<HWND, std::uint32_t> screenshotIndex;
    bool dropPressPending = false;
    // Escape cancelled a capture and is not released yet: its press is not a pin's.
    bool escapeCancelledCapture = false;
    bool dragWaiting = false; // a Ctrl + press waits, serving messages, for its cache file

    // Saves queued from the screenshot menu, until the worker reports them.
    std::map<WPARAM, PendingQuickSave> pendingQuickSaves;
    WPARAM lastQuickSave = 0;
    std::map<WPARAM, PendingSaveAs> pendingSaveAs;
    WPARAM lastSaveAs = 0;

    OptionsUi options;

    // Folders, both ending in their separator; cacheFolder is empty when no
    // per-user folder could be found (then no cache file is ever made).
    std::string exeFolder;
    std::string cacheFolder;

    HANDLE instanceMutex = nullptr;
    HWND trayWindow = nullptr;
    HMENU trayMenu = nullptr;
    HMENU shotMenu = nullptr;
    UINT taskbarCreatedMessage = 0; // Explorer broadcasts it after it (re)starts; its icons are gone then
    HHOOK keyboardHook = nullptr;
    NOTIFYICONDATAA trayIcon{}; // kept to remove the icon and to add it again after Explorer restarts
    HCURSOR selectionCursor = nullptr;
    HCURSOR arrowCursor = nullptr;
    HICON appIcon = nullptr;
};

extern AppState app;
