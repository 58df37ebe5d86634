// The "Capped" window procedure: moves with a left drag (rescaled for another
// monitor's DPI when that is on), closes on a plain click, drags its file out
// with Ctrl, opens its menu on a right release, and takes part in a running
// selection. Painting, zoom and opacity are in screenshot_view_win.cpp, keys
// and WM_CLOSE in screenshot_keys_win.cpp.
#include <shellscalingapi.h>

#include "state/state.h"
#include "prefs/prefs.h"
#include "selection/selection.h"
#include "shots/shot_rules.h"
#include "shots/shots.h"

namespace {

LRESULT onShotSetCursor(LPARAM lp) {
    if (LOWORD(lp) != HTCLIENT)
        return 0;
    SetCursor(app.dragWaiting ? LoadCursorA(nullptr, IDC_WAIT) : app.selectionCursor);
    return 1;
}

void startMove(ScreenshotWindow& shot) {
    app.dropPressPending = false;
    POINT cursor{};
    GetCursorPos(&cursor);
    app.lastCursorPos = cursor;
    RECT frame{};
    GetWindowRect(shot.hwnd, &frame);
    shot.x = frame.left;
    shot.y = frame.top;
    shot.grabOffsetX = cursor.x - frame.left;
    shot.grabOffsetY = cursor.y - frame.top;
    shot.grabWidth = frame.right - frame.left;
    shot.grabHeight = frame.bottom - frame.top;
    shot.moving = true;
    shot.pressX = cursor.x;
    shot.pressY = cursor.y;
    SetCapture(shot.hwnd);
    shot.mouseCaptured = true;
}

// Moving never repaints; only a DPI rescale does.
void moveStep(ScreenshotWindow& shot) {
    std::int32_t width = shot.width, height = shot.height;
    if (preferences.resizeScreenshotWindows) {
        HMONITOR monitor = monitorUnderPointer(app.lastCursorPos);
        if (monitor != shot.monitor) {
            UINT dpiX = 96, dpiY = 96;
            monitorDpi(monitor, dpiX, dpiY);
            const SIZE size = rescaledShotSize(shot, dpiX, dpiY); // at the pin's zoom
            width = size.cx;
            height = size.cy;
            shot.monitor = monitor;
        }
    }
    shot.x = grabbedEdge(app.lastCursorPos.x, shot.grabOffsetX, width, shot.grabWidth);
    shot.y = grabbedEdge(app.lastCursorPos.y, shot.grabOffsetY, height, shot.grabHeight);
    const bool resized = width != shot.width || height != shot.height;
    shot.width = width;
    shot.height = height;
    SetWindowPos(shot.hwnd, HWND_TOPMOST, shot.x, shot.y, width, height, 0);
    if (resized)
        InvalidateRect(shot.hwnd, nullptr, FALSE);
}

LRESULT onShotMouseMove(HWND hwnd, LPARAM lp) {
    trackSelection(messagePoint(hwnd, lp));
    // The selection may have closed windows: look this one up again.
    const auto found = app.screenshotIndex.find(hwnd);
    if (found == app.screenshotIndex.end() || !app.screenshots[found->second])
        return 0;
    ScreenshotWindow& shot = *app.screenshots[found->second];
    if (!app.captureActive && shot.moving)
        moveStep(shot);
    return 0;
}

// False after a drag that ran: its press goes on to the system as well.
bool onShotLeftDown(ScreenshotWindow& shot, HWND hwnd, WPARAM wp) {
    // The press's own key state first: the asynchronous one may not have caught up with it yet.
    if ((wp & MK_CONTROL) || (GetAsyncKeyState(VK_CONTROL) & 0x8000))
        return dragScreenshotFile(shot, hwnd) == DragOutcome::notStarted;
    startMove(shot);
    return true;
}

// The mouse capture went elsewhere mid-move (our own release, a system
// dialog, another program): the move ends, or the window would follow the
// pointer with no button held.
LRESULT onShotCaptureChanged(ScreenshotWindow& shot) {
    shot.moving = false;
    shot.mouseCaptured = false;
    return 0;
}

LRESULT onShotLeftUp(HWND hwnd, LPARAM lp) {
    bool pressedHere = false; // this window took the press and is still moving
    {
        const auto found = app.screenshotIndex.find(hwnd);
        if (found != app.screenshotIndex.end() && app.screenshots[found->second]) {
            ScreenshotWindow& shot = *app.screenshots[found->second];
            pressedHere = shot.moving;
            if (shot.mouseCaptured)
                ReleaseCapture(); // its WM_CAPTURECHANGED ends the move
        }
    }
    if (app.selectionButtonDown)
        endSelection(messagePoint(hwnd, lp)); // may make a new screenshot window and move the table
    if (app.dropPressPending) {
        app.dropPressPending = false;
        return 0;
    }
    const auto found = app.screenshotIndex.find(hwnd);
    if (found == app.screenshotIndex.end() || !app.screenshots[found->second])
        return 0;
    ScreenshotWindow& shot = *app.screenshots[found->second];
    shot.moving = false;
    // Pressed and released at one screen point: a click, wherever the pointer went between.
    if (pressedHere && app.lastCursorPos.x == shot.pressX && app.lastCursorPos.y == shot.pressY)
        closeScreenshot(found->second);
    return 0;
}

LRESULT onShotRightUp(ScreenshotWindow& shot, HWND hwnd) {
    if (shot.moving)
        return 0;
    POINT cursor{};
    GetCursorPos(&cursor);
    app.lastCursorPos = cursor;
    const auto command =
        static_cast<UINT_PTR>(TrackPopupMenu(app.shotMenu, TPM_RETURNCMD, cursor.x, cursor.y, 0, hwnd, nullptr));
    // The menu's modal loop may have changed the table: look the window up again.
    const auto found = app.screenshotIndex.find(hwnd);
    if (found == app.screenshotIndex.end() || !app.screenshots[found->second])
        return 0;
    ScreenshotWindow& current = *app.screenshots[found->second];
    switch (command) {
    case shotSaveAsCommand:
        saveScreenshotAs(current);
        break;
    case shotQuickSaveCommand:
        quickSaveScreenshot(current);
        break;
    case shotCopyCommand:
        copyScreenshot(current);
        break;
    case shotCloseAllCommand:
        closeAllScreenshots();
        break;
    default:
        break;
    }
    return 0;
}

LRESULT dispatchScreenshotMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    const auto found = app.screenshotIndex.find(hwnd);
    if (found == app.screenshotIndex.end() || found->second >= app.screenshots.size() ||
        !app.screenshots[found->second])
        return DefWindowProcA(hwnd, msg, wp, lp);
    ScreenshotWindow& shot = *app.screenshots[found->second];
    switch (msg) {
    case WM_PAINT:
        return paintScreenshot(shot);
    case WM_ERASEBKGND:
        return 0; // the paint covers the whole client area
    case WM_SETCURSOR:
        return onShotSetCursor(lp);
    case WM_MOUSEMOVE:
        return onShotMouseMove(hwnd, lp);
    case WM_LBUTTONDOWN:
        if (onShotLeftDown(shot, hwnd, wp))
            return 0;
        break;
    case WM_LBUTTONUP:
        return onShotLeftUp(hwnd, lp);
    case WM_RBUTTONUP:
        return onShotRightUp(shot, hwnd);
    case WM_CAPTURECHANGED:
        return onShotCaptureChanged(shot);
    case WM_MOUSEWHEEL:
        return onShotWheel(shot, wp, lp);
    case WM_MBUTTONDOWN:
        return onShotMiddleDown(shot);
    case WM_TIMER:
        return onShotTimer(shot, wp);
    case WM_KEYDOWN:
        return onShotKeyDown(hwnd, wp, lp);
    case WM_CLOSE:
        return onShotClose(hwnd); // Alt+F4 too: never DefWindowProc's destroy behind the record's back
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

} // namespace

void monitorDpi(HMONITOR monitor, UINT& dpiX, UINT& dpiY) {
    dpiX = dpiY = 96;
    if (FAILED(GetDpiForMonitor(monitor, MDT_RAW_DPI, &dpiX, &dpiY)) || dpiX == 0 || dpiY == 0) {
        dpiX = dpiY = 96;
        if (FAILED(GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpiX, &dpiY)) || dpiX == 0 || dpiY == 0)
            dpiX = dpiY = 96;
    }
}

HMONITOR monitorUnderPointer(POINT pointer) {
    const std::size_t index = pointerMonitor(app.monitors, pointer.x, pointer.y);
    if (index < app.monitors.size())
        pointer = {app.monitors[index].x, app.monitors[index].y}; // a point of that monitor
    return MonitorFromPoint(pointer, MONITOR_DEFAULTTONEAREST);
}

HMENU createShotMenu() {
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return nullptr;
    AppendMenuA(menu, MF_STRING, shotSaveAsCommand, "Save As");
    AppendMenuA(menu, MF_STRING, shotQuickSaveCommand, "Quick Save");
    AppendMenuA(menu, MF_STRING, shotCopyCommand, "Copy");
    AppendMenuA(menu, MF_STRING, shotCloseAllCommand, "Close All");
    return menu;
}

LRESULT CALLBACK screenshotWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return runOrEndProcess([&] { return dispatchScreenshotMessage(hwnd, msg, wp, lp); });
}
