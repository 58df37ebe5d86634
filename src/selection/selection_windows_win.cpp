// The overlays (made by beginCapture once the screen is read, destroyed by
// tearDownSelection: their only owner), the selection-rectangle window, and
// the selection operations they share with the screenshot windows and the
// Escape key. The overlays take no mouse capture: every window under the
// pointer feeds the one anchor and cursor point, each taken from its
// message, and whichever gets the release ends the capture.
#include <windowsx.h>

#include "state/state.h"
#include "state/app_state.h"
#include "state/handle_guards.h"
#include "capture/capture_front.h"
#include "capture/monitors.h"
#include "prefs/prefs.h"
#include "selection/selection.h"
#include "selection/selection_rules.h"

namespace {

constexpr BYTE selectionAlpha = 50;
constexpr const char* overlayTitle = "Screen Capture Window";
constexpr UINT_PTR copyFrozenTimer = 1; // on the first overlay

ScreenPoint toScreenPoint(const POINT& point) { return {point.x, point.y}; }

SelectionRect currentSelection() {
    return selectionRect(toScreenPoint(app.selectionAnchor), toScreenPoint(app.lastCursorPos), app.monitors);
}

LRESULT onSelectionSetCursor(LPARAM lp) {
    if (LOWORD(lp) != HTCLIENT)
        return 0; // no default processing: the system would put its own cursor back
    SetCursor(app.selectionCursor);
    return 1;
}

LRESULT paintOverlay(HWND hwnd) {
    const PaintScope paint(hwnd);
    const auto found = app.overlayMap.find(hwnd);
    // Without its monitor (being created or destroyed) an overlay paints nothing.
    if (paint.dc() && found != app.overlayMap.end() && found->second < app.monitors.size())
        paintFrozenDesktop(paint.dc(), app.monitors[found->second]);
    return 0;
}

COLORREF currentSelectionColor() {
    const std::uint32_t index = preferences.selectionColor;
    return index < selectionPalette.size() ? selectionPalette[index] : RGB(0, 0, 0);
}

LRESULT eraseSelectionWindow(HDC dc) {
    // Filled through the DC the message brings; BeginPaint belongs to WM_PAINT.
    const SelectionRect rect = currentSelection();
    const RECT area{0, 0, rect.width, rect.height};
    const SolidBrush brush(currentSelectionColor());
    if (brush.get())
        FillRect(dc, &area, brush.get());
    return 1;
}

void showSelectionWindow() {
    if (app.selectionWindowShown) {
        ShowWindow(app.selectionWindow, SW_SHOW);
        UpdateWindow(app.selectionWindow);
        return;
    }
    // A pop-up, not an overlapped window: an overlapped one is born at its
    // minimum tracking size (about 116 x 27 at the top-left corner of the
    // screen) and would show there until the first mouse move.
    const HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, selectionWindowClass, "Screen Capture Subwindow", WS_POPUP, 0,
                                        0, 0, 0, nullptr, nullptr, app.instance, nullptr);
    if (!window) {
        MessageBoxA(nullptr, selectionWindowFailedText, errorCaption, MB_ICONWARNING | MB_OK);
        return;
    }
    app.selectionWindow = window;
    SetWindowLongA(window, GWL_EXSTYLE, GetWindowLongA(window, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetLayeredWindowAttributes(window, 0, selectionAlpha, LWA_ALPHA);
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(WS_POPUP));
    UpdateWindow(window);
    ShowWindow(window, SW_SHOW);
    app.selectionWindowShown = true;
}

// One borderless topmost overlay per monitor, made hidden; false at the first that cannot be made.
bool makeOverlays() {
    if (app.overlayWindows.size() != app.monitorCount)
        app.overlayWindows.assign(app.monitorCount, nullptr);
    for (std::uint32_t i = 0; i < app.monitorCount && i < app.monitors.size() && i < app.overlayWindows.size(); ++i) {
        const MonitorRect& monitor = app.monitors[i];
        const HWND overlay =
            CreateWindowExA(WS_EX_TOOLWINDOW, overlayWindowClass, overlayTitle, 0, monitor.x, monitor.y, monitor.width,
                            monitor.height, nullptr, nullptr, app.instance, nullptr);
        if (!overlay)
            return false;
        app.overlayWindows[i] = overlay;
        app.overlayMap[overlay] = i;
        SetWindowLongA(overlay, GWL_STYLE, 0);
        // The new style takes effect only with SWP_FRAMECHANGED; without it the
        // caption of the creation style stays and the picture sits lower.
        SetWindowPos(overlay, HWND_TOPMOST, monitor.x, monitor.y, monitor.width, monitor.height, SWP_FRAMECHANGED);
    }
    return true;
}

} // namespace

CaptureOutcome beginCapture() {
    if (app.captureActive)
        return CaptureOutcome::alreadyRunning;
    app.captureActive = true;
    // Monitors come and go while the program runs; the blackened gaps and the overlays follow them.
    if (!app.overlaysShown)
        refreshMonitors();
    if (!freezeDesktop()) {
        app.captureActive = false;
        return CaptureOutcome::desktopUnreadable;
    }
    if (app.overlaysShown) {
        copyFrozenForSelection();
        return CaptureOutcome::started;
    }
    if (!makeOverlays())
        return CaptureOutcome::overlayFailed;
    // Shown without activation: a menu another program has open stays open.
    for (std::uint32_t i = 0; i < app.monitorCount && i < app.overlayWindows.size(); ++i) {
        ShowWindow(app.overlayWindows[i], SW_SHOWNA);
        app.overlaysShown = true;
    }
    // The frozen picture is painted before anything the user does not need yet.
    for (std::uint32_t i = 0; i < app.monitorCount && i < app.overlayWindows.size(); ++i)
        UpdateWindow(app.overlayWindows[i]);
    // The system puts painted windows on the screen once this thread waits for
    // messages, so the pixel copy waits for a timer; a press comes for it sooner.
    if (app.overlayWindows.empty() || !app.overlayWindows[0] ||
        !SetTimer(app.overlayWindows[0], copyFrozenTimer, USER_TIMER_MINIMUM, nullptr))
        copyFrozenForSelection();
    return CaptureOutcome::started;
}

POINT messagePoint(HWND hwnd, LPARAM lp) {
    POINT point{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    ClientToScreen(hwnd, &point);
    return point;
}

void beginSelection(POINT press) {
    app.selectionAnchor = press;
    app.lastCursorPos = press;
    copyFrozenForSelection();
    if (app.captureActive && !app.selectionButtonDown)
        showSelectionWindow();
    app.selectionButtonDown = true;
}

void trackSelection(POINT cursor) {
    const SelectionRect rect = currentSelection();
    app.lastCursorPos = cursor;
    if (app.captureActive && app.selectionWindowShown)
        SetWindowPos(app.selectionWindow, HWND_TOPMOST, rect.x, rect.y, rect.width, rect.height, 0);
}

void endSelection(POINT release) {
    app.lastCursorPos = release;
    const SelectionRect rect = currentSelection();
    app.selectionButtonDown = false;
    if (!app.captureActive)
        return;
    tearDownSelection();
    // The shell makes the screenshot and looks after the hook: a seam that points up only through app.
    if (app.selectionEnded)
        app.selectionEnded(makesScreenshot(rect), rect);
}

void tearDownSelection() {
    app.captureActive = false;
    // Escape mid-drag: the release goes to no window of ours, and the next
    // capture must start without a button held.
    app.selectionButtonDown = false;
    app.overlayMap.clear();
    for (std::uint32_t i = 0; i < app.monitorCount && i < app.overlayWindows.size(); ++i) {
        if (app.overlayWindows[i])
            DestroyWindow(app.overlayWindows[i]);
        app.overlayWindows[i] = nullptr;
    }
    // Only a live handle: a stale one may name another window by now.
    if (app.selectionWindowShown && app.selectionWindow)
        DestroyWindow(app.selectionWindow);
    app.selectionWindow = nullptr;
    app.overlaysShown = false;
    app.selectionWindowShown = false;
}

namespace {

LRESULT dispatchOverlayMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    // A missing overlayMap entry is no error: only painting needs the monitor.
    switch (msg) {
    case WM_PAINT:
        return paintOverlay(hwnd);
    case WM_ERASEBKGND:
        return 1; // the paint covers the whole monitor: no white fill first
    case WM_SETCURSOR:
        return onSelectionSetCursor(lp);
    case WM_MOUSEMOVE:
        trackSelection(messagePoint(hwnd, lp));
        return 0;
    case WM_LBUTTONDOWN:
        beginSelection(messagePoint(hwnd, lp));
        return 0;
    case WM_LBUTTONUP:
        endSelection(messagePoint(hwnd, lp));
        return 0;
    case WM_TIMER:
        if (wp != copyFrozenTimer)
            break;
        KillTimer(hwnd, copyFrozenTimer);
        copyFrozenForSelection();
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT dispatchSelectionMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND:
        return eraseSelectionWindow(reinterpret_cast<HDC>(wp));
    case WM_MOUSEMOVE:
        trackSelection(messagePoint(hwnd, lp));
        return 0;
    case WM_LBUTTONUP:
        endSelection(messagePoint(hwnd, lp));
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

} // namespace

LRESULT CALLBACK overlayWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return runOrEndProcess([&] { return dispatchOverlayMessage(hwnd, msg, wp, lp); });
}

LRESULT CALLBACK selectionWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return runOrEndProcess([&] { return dispatchSelectionMessage(hwnd, msg, wp, lp); });
}
