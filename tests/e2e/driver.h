// A small framework that uses orvane.exe as a person would: it starts the
// program with a fresh profile, finds its windows by class, clicks and types
// through SendInput, reads files and screen pixels, and waits for exit codes.
// Scenarios (the *_test.cpp files here) and the `make run` demonstration
// build on it. Under Wine the notification area is Wine's own standalone
// tray window; its icons are child windows that relay real mouse clicks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace driver {

// --- files and the user's profile -------------------------------------------

std::string driverFolder(); // folder of this program, with its separator
std::string orvanePath();   // orvane.exe beside the driver
std::string userName();
std::string settingsFolder(); // "C:/Users/<name>/AppData/Local/Lumagrab/"
std::string cacheFolder();    // the settings folder + "VELTO_CACHE\"
// A fresh profile: no settings folder, so no prefs.txt and no cache.
void resetProfile();
void writeFile(const std::string& path, const std::string& content);
bool fileExists(const std::string& path);
std::string readFile(const std::string& path);                   // the bytes as stored; empty when missing
std::vector<std::string> fileNamesIn(const std::string& folder); // sorted
// A folder of its own under the temporary folder, emptied.
std::string scratchFolder(const std::string& name);

// --- waiting ------------------------------------------------------------------

// Polls `condition` every 20 ms until it holds or `timeoutMs` passes.
bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// --- a running orvane.exe -------------------------------------------------------

class Process {
public:
    // Starts `exe` with `workingFolder` (empty: the exe's folder) as current
    // directory. Check started() before use.
    explicit Process(const std::string& exe = orvanePath(), const std::string& workingFolder = {});
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process(); // terminates a process that is still running: a test failed

    bool started() const { return handle_ != nullptr; }
    DWORD id() const { return id_; }
    bool running() const;
    // The exit code once the process has ended within `timeoutMs`.
    std::optional<DWORD> waitForExit(DWORD timeoutMs) const;
    // Waits until the program sits in its message loop with nothing to do.
    bool waitUntilIdle(DWORD timeoutMs) const;

private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

// --- windows -----------------------------------------------------------------------

std::string className(HWND window);
std::string windowTitle(HWND window);
RECT windowRect(HWND window);
DWORD windowProcess(HWND window);
// Top-level windows, hidden ones included; of one process when `process` is not 0.
std::vector<HWND> topLevelWindows(DWORD process = 0);
// The first top-level window of `process` with this class, waiting for it.
HWND waitForWindow(DWORD process, const std::string& windowClass, DWORD timeoutMs);
// Every visible top-level window of `process` with this class.
std::vector<HWND> windowsOfClass(DWORD process, const std::string& windowClass);
// The direct children of `parent`, in their Z order (first = top).
std::vector<HWND> childWindows(HWND parent);
// A window's rectangle relative to its parent's client area.
RECT rectInParent(HWND child);
// A screen point over the close button of `window`'s caption (asked of the
// window itself with WM_NCHITTEST); nullopt when it has none.
std::optional<POINT> closeButtonOf(HWND window);

// --- the notification area ------------------------------------------------------------

// Icons shown in Wine's standalone tray window, left to right.
std::vector<HWND> trayIcons();
// The open popup menu ("#32768") of `process`, waiting for it.
HWND waitForPopupMenu(DWORD process, DWORD timeoutMs);
bool popupMenuOpen(DWORD process);

// --- input -----------------------------------------------------------------------------

enum class Button { left, right };
POINT centreOf(const RECT& rect);
void moveMouse(POINT screenPoint);
void click(POINT screenPoint, Button button = Button::left);
// The two halves of a left click, for what happens in between.
void pressLeft(POINT screenPoint);
void releaseLeft();
void pressKey(WORD virtualKey);
// `key` pressed while `modifier` is held (Shift+End: VK_SHIFT, VK_END).
void pressChord(WORD modifier, WORD key);
// Types the characters as keyboard input (plain ASCII).
void typeText(const std::string& text);
// Clicks entry `index` of a popup menu of `itemCount` plain items.
void clickMenuItem(HWND menu, int index, int itemCount);

// --- the screen -----------------------------------------------------------------------------

struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgra; // top-down rows
    COLORREF pixel(int x, int y) const;
    bool savePng(const std::string& path) const;
};
Screenshot grabScreen();
// Only the rectangle `area` of the screen (`pixel` then takes coordinates in it).
Screenshot grabScreen(const RECT& area);

// --- the system's folder dialog -----------------------------------------------------------------

// In an open "Browse for Folder" dialog of another process: expands the tree
// from its top along `labels` (each compared without letter case, a leading
// part of the item's text is enough) and selects the last one. False when an
// item is not found.
bool selectFolderInDialog(HWND dialog, const std::vector<std::string>& labels);
// Clicks the dialog's OK (IDOK) or Cancel (IDCANCEL) button.
void clickDialogButton(HWND dialog, int id);

} // namespace driver

namespace driver {

// --- Orvane as its user meets it --------------------------------------------------------------------

enum TrayItem { beginCaptureItem = 0, optionsItem = 1, closeAllItem = 2, exitItem = 3 };
constexpr int trayItemCount = 4;
constexpr const char* trayWindowClass = "ScreenCaptureSysTray";

// A started orvane.exe that got as far as its notification icon.
struct RunningOrvane {
    Process& process;
    HWND trayWindow = nullptr;
    HWND icon = nullptr; // its icon in the notification area
};

// Starts nothing; waits for `process` to show its tray window and a new
// notification icon (one not in `iconsBefore`). False on time-out.
bool waitForStartUp(Process& process, const std::vector<HWND>& iconsBefore, RunningOrvane& out,
                    DWORD timeoutMs = 10000);
// Opens the tray menu by clicking the icon; the menu window, or null.
HWND openTrayMenu(const RunningOrvane& orvane, Button button = Button::left);
// Opens the tray menu and picks `item`.
bool chooseTrayItem(const RunningOrvane& orvane, TrayItem item);

} // namespace driver
