// What every window of the program shares below the application shell: the
// message numbers the windows send one another, the window class names, and
// the one way a fatal end goes. GUI thread only.
#pragma once

#include <windows.h>

#include <exception>

#include "state/exit_codes.h"

constexpr UINT trayCallbackMessage = WM_USER + 1;  // from the notification icon; lParam = mouse message
constexpr UINT captureRequestMessage = WM_APP + 1; // posted by the keyboard hook
// Posted to the tray window by the save worker after a Quick Save was tried:
// wParam its number, lParam 1 when the file was written.
constexpr UINT quickSaveWrittenMessage = WM_APP + 2;
// Posted the same way after a Save As was tried.
constexpr UINT saveAsWrittenMessage = WM_APP + 3;
constexpr UINT prepareCaptureMessage = WM_APP + 4; // posted once by start-up

// Every window procedure has one shape: find the window's record, decode the
// message on its case line, call a handler that says what happened. A case
// whose handling is complete returns its answer; a case that leaves the
// message (also) to the system breaks, and whatever breaks or has no case
// reaches the one DefWindowProcA at the end. Handlers never call it themselves.
constexpr const char* overlayWindowClass = "Screen Capture";
constexpr const char* selectionWindowClass = "Screen Capture2";
constexpr const char* screenshotWindowClass = "Capped";
constexpr const char* trayWindowClass = "ScreenCaptureSysTray";
constexpr const char* plainWindowClass = "QV_DefaultWProc";

// Ends the process at once with `code`: the save worker finishes what is
// queued and is joined, the notification icon is removed, then exit().
[[noreturn]] void endProcess(ExitCode code);

// Removes the notification icon recorded in app.trayIcon, if it is up.
void removeTrayIcon();

// Runs what a window procedure does for one message: no exception may unwind
// through the system's dispatch, so one ends the program as the entry point would.
template <typename Handler> auto runOrEndProcess(Handler handler) -> decltype(handler()) {
    try {
        return handler();
    } catch (const std::exception&) {
        endProcess(ExitCode::normal);
    }
}
