// The hidden tray window: the notification icon, its menu, and the capture
// requests of the keyboard hook. The icon record lives in app.trayIcon so
// that it can be removed at shutdown and added again when Explorer restarts.
#include <shellscalingapi.h>

#include <chrono>
#include <cstring>
#include "app/app.h"
#include "state/app_state.h"
#include "app/decisions.h"
#include "state/gdi_ledger.h"
#include "capture/capture_front.h"
#include "capture/monitors.h"
#include "options/options.h"
#include "output/output.h"
#include "selection/selection.h"
#include "selection/selection_rules.h"
#include "shots/shots.h"

namespace {

std::int32_t trayMonitorScale() {
    DEVICE_SCALE_FACTOR factor = DEVICE_SCALE_FACTOR_INVALID;
    const HMONITOR monitor = MonitorFromWindow(app.trayWindow, MONITOR_DEFAULTTONEAREST);
    if (FAILED(GetScaleFactorForMonitor(monitor, &factor)))
        factor = DEVICE_SCALE_FACTOR_INVALID;
    return optionsScaleFrom(static_cast<std::int32_t>(factor));
}

// Every way into a capture ends here: its failures become their message boxes
// (a missing overlay also its exit code), and the hook is installed afresh,
// since the capture kept the thread from it.
void runCapture() {
    switch (beginCapture()) {
    case CaptureOutcome::desktopUnreadable:
        MessageBoxA(nullptr, captureFailedText, captureFailedCaption, MB_ICONERROR | MB_OK);
        break;
    case CaptureOutcome::overlayFailed:
        MessageBoxA(nullptr, overlayFailedText, errorCaption, MB_ICONWARNING | MB_OK);
        endProcess(ExitCode::overlayCreationFailed);
    case CaptureOutcome::started:
    case CaptureOutcome::alreadyRunning:
        break;
    }
    reinstallKeyboardHook();
}

} // namespace

void onSelectionEnded(bool makesShot, const SelectionRect& rect) {
    if (makesShot) {
        switch (createScreenshot(rect.x, rect.y, rect.width, rect.height)) {
        case ScreenshotOutcome::windowFailed:
            endProcess(ExitCode::screenshotCreationFailed);
        case ScreenshotOutcome::exceptionThrown:
            endProcess(ExitCode::screenshotException);
        case ScreenshotOutcome::made:
        case ScreenshotOutcome::nothingToShow:
            break;
        }
    }
    // Nothing needs the frozen picture until the next capture, and a tray program waits all day.
    releaseFrozenDesktop(app.frozenDesktop);
    // The capture ran on this thread; the system may have dropped a hook that
    // waited too long meanwhile.
    reinstallKeyboardHook();
}

namespace {

void onTrayCommand(UINT_PTR command) {
    switch (command) {
    case trayBeginCaptureCommand:
        // A timer, not a pause: meanwhile the thread paints and answers the keyboard hook.
        if (!SetTimer(app.trayWindow, beginCaptureTimer, beginCaptureDelay, nullptr))
            runCapture();
        break;
    case trayOptionsCommand:
        openOptionsWindow(trayMonitorScale());
        break;
    case trayCloseAllCommand:
        closeAllScreenshots();
        break;
    case trayExitCommand:
        running = false;
        PostQuitMessage(0);
        break;
    }
}

LRESULT onTrayCallback(HWND hwnd, LPARAM mouseMessage) {
    if (!trayCallbackOpensMenu(mouseMessage))
        return 0;
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(hwnd);
    POINT cursor{};
    GetCursorPos(&cursor);
    const BOOL command = TrackPopupMenu(app.trayMenu, TPM_RETURNCMD, cursor.x, cursor.y, 0, hwnd, nullptr);
    // The menu of a notification icon needs a message after it to close for good the next time.
    PostMessageA(hwnd, WM_NULL, 0, 0);
    onTrayCommand(static_cast<UINT_PTR>(command));
    return 0;
}

LRESULT onBeginCaptureTimer(HWND hwnd) {
    KillTimer(hwnd, beginCaptureTimer);
    runCapture();
    return 0;
}

// The tray window is an ordinary hidden top-level window, so it hears the end
// of the session (a message-only window would not). Ending is allowed; while
// saves are pending the system shows why the program still needs a moment.
LRESULT onQueryEndSession(HWND hwnd) {
    if (anySavePending())
        ShutdownBlockReasonCreate(hwnd, sessionEndBlockReason);
    return TRUE;
}

// The process may be ended as soon as this returns: the saves are written
// first, then everything is released as at "Exit" and the process ends here.
LRESULT onEndSession(HWND hwnd, bool ending) {
    if (!ending) {
        ShutdownBlockReasonDestroy(hwnd);
        return 0;
    }
    if (!waitForAllSaves(std::chrono::milliseconds(sessionEndSaveWaitMs))) {
        // Still writing after the bound: end as the system would. An image cut
        // short never replaced an older one, and its .part goes at the next start.
        removeTrayIcon();
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(ExitCode::normal));
    }
    running = false;
    shutDown();
    ShutdownBlockReasonDestroy(hwnd);
    endProcess(ExitCode::normal);
}

LRESULT dispatchTrayMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        app.trayMenu = createTrayMenu();
        break;
    case trayCallbackMessage:
        return onTrayCallback(hwnd, lp);
    case captureRequestMessage:
        runCapture();
        return 0;
    case prepareCaptureMessage:
        // Once, as start-up asked; the same number posted by anyone else does nothing.
        if (app.capturePrepared)
            return 0;
        app.capturePrepared = true;
        prepareDuplication();
        return 0;
    case quickSaveWrittenMessage:
        onQuickSaveWritten(wp, lp != 0);
        return 0;
    case WM_TIMER:
        if (wp == beginCaptureTimer)
            return onBeginCaptureTimer(hwnd);
        break;
    case WM_QUERYENDSESSION:
        return onQueryEndSession(hwnd);
    case WM_ENDSESSION:
        return onEndSession(hwnd, wp != FALSE);
    case saveAsWrittenMessage:
        onSaveAsWritten(wp, lp != 0);
        return 0;
    case WM_DISPLAYCHANGE:
        // Overlays up over the old desk cover the wrong monitors: cancelled as Escape cancels.
        if (app.overlaysShown) {
            tearDownSelection();
            releaseFrozenDesktop(app.frozenDesktop);
        }
        if (!app.captureActive)
            refreshMonitors();
        break;
    }
    if (app.taskbarCreatedMessage != 0 && msg == app.taskbarCreatedMessage) {
        addTrayIcon();
        return 0;
    }
#ifdef ORVANE_GDI_LEDGER
    if (msg == gdiLedgerMessage())
        return gdiLedgerReply();
#endif
    return DefWindowProcA(hwnd, msg, wp, lp);
}

} // namespace

HMENU createTrayMenu() {
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return nullptr;
    AppendMenuA(menu, MF_STRING, trayBeginCaptureCommand, "Begin Capture");
    AppendMenuA(menu, MF_STRING, trayOptionsCommand, "Options");
    AppendMenuA(menu, MF_STRING, trayCloseAllCommand, "Close All");
    AppendMenuA(menu, MF_STRING, trayExitCommand, "Exit");
    return menu;
}

bool createTrayWindow() {
    app.trayWindow = CreateWindowExA(0, trayWindowClass, ".", 0, 0, 0, 0, 0, nullptr, nullptr, app.instance, nullptr);
    if (!app.trayWindow)
        return false;
    ShowWindow(app.trayWindow, SW_HIDE);
    SendMessageA(app.trayWindow, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(app.appIcon));
    SendMessageA(app.trayWindow, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(app.appIcon));
    return true;
}

void addTrayIcon() {
    NOTIFYICONDATAA& icon = app.trayIcon;
    icon = NOTIFYICONDATAA{};
    icon.cbSize = sizeof(icon);
    icon.hWnd = app.trayWindow;
    icon.uID = trayIconId;
    icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    icon.uCallbackMessage = trayCallbackMessage;
    icon.hIcon = app.appIcon;
    std::strncpy(icon.szTip, trayIconTip, sizeof(icon.szTip) - 1);
    Shell_NotifyIconA(NIM_ADD, &icon);
}

LRESULT CALLBACK trayWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return runOrEndProcess([&] { return dispatchTrayMessage(hwnd, msg, wp, lp); });
}
