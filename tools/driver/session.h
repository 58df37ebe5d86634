// orvane.exe as its user meets it: the process started with a fresh profile,
// its notification icon and tray menu, its windows by class, its settings
// file and cache folder. Under Wine the notification area is Wine's own
// standalone tray window; its icons are child windows that relay real clicks.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation.h"

namespace driver {

// --- the user's profile --------------------------------------------------------------------

std::string orvanePath(); // orvane.exe beside the driver
std::string userName();
std::string settingsFolder(); // "C:/Users/<name>/AppData/Local/Lumagrab/"
std::string cacheFolder();    // the settings folder + "VELTO_CACHE\"
// A fresh profile: no settings folder, so no prefs.txt and no cache.
void resetProfile();
// Names (without folder) of the .jpg, .png and .bmp files in the cache folder.
std::vector<std::string> cacheImageFiles();

// The settings as prefs.txt stores them; the defaults are the program's.
struct Prefs {
    bool closeOnSave = true;
    int selectionColor = 1;
    int defaultFormat = 1;
    std::string folder = "C:/Users/($User)/Desktop/";
    bool resize = false;
};
std::string prefsPath(); // prefs.txt in the settings folder
// prefs.txt as the program writes it (CR LF line ends).
std::string prefsText(const Prefs& prefs);
// prefs.txt in the settings folder, made when missing.
void writePreferences(const Prefs& prefs);

// --- a running program -------------------------------------------------------------------

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

// Icons shown in Wine's standalone tray window, left to right.
std::vector<HWND> trayIcons();
// Empty where the notification icons are windows of their own that the driver
// can click (Wine's tray); otherwise why the user-level scenarios cannot run.
std::string trayUnavailableReason();

// --- Orvane's windows and menus ----------------------------------------------------------

enum TrayItem { beginCaptureItem = 0, optionsItem = 1, closeAllItem = 2, exitItem = 3 };
constexpr int trayItemCount = 4;
// A screenshot window's menu, by position.
enum ShotItem { saveAsItem = 0, quickSaveItem = 1, copyItem = 2, closeAllShotsItem = 3 };
constexpr int shotMenuItems = 4;

constexpr const char* trayWindowClass = "ScreenCaptureSysTray";
constexpr const char* overlayClass = "Screen Capture";
constexpr const char* selectionClass = "Screen Capture2";
constexpr const char* screenshotClass = "Capped";
constexpr const char* optionsClass = "Screen Capture Options Menu";
constexpr const char* dialogClass = "#32770"; // message boxes and the system's dialogs
constexpr std::size_t optionsChildCount = 19;

// One orvane.exe as its user has it, from the start to Exit: the one way
// scenarios and tools start, use and stop the program. Each step waits until
// the program has taken it; a step that did not happen returns false or null,
// and failure() says which.
class Session {
public:
    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Starts `exe` and waits until its notification icon is up and it waits
    // in its message loop (the keyboard hook comes after the icon).
    bool start(const std::string& exe = orvanePath(), const std::string& workingFolder = {});
    // Exit from the tray menu, once any message box still open is dismissed;
    // the exit code, or nothing when the program did not end within `timeoutMs`.
    std::optional<DWORD> stop(DWORD timeoutMs = 5000);
    bool running() const { return process_ && process_->running(); }
    const std::string& failure() const { return failure_; }
    Process& process() { return *process_; }
    DWORD id() const { return process_ ? process_->id() : 0; }
    HWND trayWindow() const { return trayWindow_; }
    HWND icon() const { return icon_; } // its icon in the notification area
    // Waits for an icon of the program not among `iconsBefore` (after Explorer restarted).
    bool waitForIcon(const std::vector<HWND>& iconsBefore, DWORD timeoutMs);
    // Waits until the GUI thread has handled what was queued for it before
    // the call, a key the hook passed on included.
    bool settle(DWORD timeoutMs = 5000) const;

    // The tray menu, opened by a click on the icon; the menu window, or null.
    HWND openTrayMenu(Button button = Button::left);
    // The icon's callback for `mouseMessage`, as the notification area sends
    // it for the pointer over the icon: for when the icon cannot be clicked
    // (the overlays cover it). The tray menu when the message opened one.
    HWND relayIconMouse(UINT mouseMessage);
    // Clicks `item` of the open `menu`, once more when a loaded machine lost
    // the click; true once the menu has gone. `chosenMs`: when the click that
    // counted was made (nowMs).
    bool chooseMenuItem(HWND menu, int item, int itemCount, double* chosenMs = nullptr);
    // Opens the tray menu and picks `item`; true once the menu has gone.
    bool chooseTrayItem(TrayItem item);

    // The program's visible top-level windows of a class.
    std::vector<HWND> windows(const std::string& windowClass) const { return visibleWindows(id(), windowClass); }
    std::vector<HWND> overlays() const { return windows(overlayClass); }
    std::vector<HWND> screenshots() const { return windows(screenshotClass); }
    HWND selectionWindow() const;
    // The keys (PrintScreen by default), and the overlays up and taking input.
    bool startCapture(const std::vector<WORD>& keys = {VK_SNAPSHOT});
    // The overlays and the selection window gone.
    bool captureEnded(DWORD timeoutMs = 3000) const;
    // A left press in an overlay at `at`, and the selection window up: the
    // program reads the cursor when it handles the press.
    bool pressInOverlay(POINT at);
    // A selection dragged from `from` to `to` and released once the selection
    // window spans exactly that rectangle (it trails the pointer by one move).
    bool dragSelection(POINT from, POINT to, int steps = 8);
    // The first visible screenshot window not among `before`, waiting for it.
    HWND waitForNewScreenshot(const std::vector<HWND>& before, DWORD timeoutMs = 3000);
    // PrintScreen, a drag over `rect`, and the new screenshot window; null when a step did not happen.
    HWND pin(const RECT& rect, int steps = 8);
    // The menu of a screenshot window, opened by a right click; null when it did not open.
    HWND openScreenshotMenu(HWND shot);
    // Entry `item` of a screenshot window's menu; true once the menu has gone.
    bool chooseScreenshotItem(HWND shot, int item, double* chosenMs = nullptr);

    // "Options" from the tray menu, and the window shown with its controls,
    // answering; null when it did not open.
    HWND openOptions();
    HWND options() const { return options_; }
    // Control `index` of the options window, in creation order.
    HWND optionsChild(std::size_t index) const;
    // Closes the options window with its caption's close button, as a user would.
    bool closeOptions();

    // The visible top-level window titled `title` (a message box's caption), waiting for it.
    HWND waitForWindowTitled(const std::string& title, DWORD timeoutMs = 3000);

private:
    bool fail(const std::string& why);

    std::unique_ptr<Process> process_;
    HWND trayWindow_ = nullptr;
    HWND icon_ = nullptr;
    HWND options_ = nullptr;
    std::string failure_;
};

} // namespace driver
