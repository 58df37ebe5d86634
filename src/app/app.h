// The application shell: entry, start-up, message loop and shutdown, the tray
// window and its menu, the keyboard hook. GUI thread only.
#pragma once

#include <windows.h>

#include <string>

#include "state/pixel_rect.h"
#include "state/state.h"

// Tray menu.
constexpr UINT_PTR trayBeginCaptureCommand = 999;
constexpr UINT_PTR trayOptionsCommand = 1000;
constexpr UINT_PTR trayCloseAllCommand = 1001;
constexpr UINT_PTR trayExitCommand = 1002;

constexpr UINT trayIconId = 1;
constexpr const char* trayIconTip = "Orvane";
constexpr DWORD beginCaptureDelay = 250;  // ms: lets the tray menu vanish before the screen is read
constexpr UINT_PTR beginCaptureTimer = 1; // on the tray window, for that delay

// At the end of the session the saves still queued are written first, for at
// most this long; then the program ends as at "Exit".
constexpr DWORD sessionEndSaveWaitMs = 30000;
constexpr const wchar_t* sessionEndBlockReason = L"Saving screenshots";

// One copy per signed-in user: in the session's own namespace, which no other
// account's session can take first.
constexpr const char* instanceMutexName = "Local\\{f9c9ae0b-8381-4da1-bbee-4a7a3d406d55}";

// The whole program: returns the process exit code.
int runOrvane(HINSTANCE instance);

// Start-up steps, in the order runOrvane takes them.
bool registerWindowClasses();
std::string moduleFolder();
bool createTrayWindow();
void addTrayIcon();
void resetInvalidSelectionColor();
void installKeyboardHook();
// Unhooks and hooks again. Called after every capture and after any message
// that kept the GUI thread busy: the system silently drops a low-level hook
// whose thread answered too late.
void reinstallKeyboardHook();
// Translates and dispatches one message; when its handling kept the thread
// from the hook long enough to lose it (hookMayHaveBeenDropped), the hook is
// installed again.
void dispatchWatchingTheHook(const MSG& msg);
void runMessageLoop();
void shutDown();

// Tray window.
HMENU createTrayMenu();
// app.selectionEnded: makes the screenshot, then installs the hook afresh.
void onSelectionEnded(bool makesShot, const PixelRect& rect);
LRESULT CALLBACK trayWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

LRESULT CALLBACK keyboardHookProc(int code, WPARAM wp, LPARAM lp);
