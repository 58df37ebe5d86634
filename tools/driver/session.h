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
std::string settingsFolder();               // "C:/Users/<name>/AppData/Local/Lumagrab/"
std::string cacheFolder();                  // the settings folder + "VELTO_CACHE\"
void resetProfile();                        // no settings folder, so no prefs.txt and no cache
std::vector<std::string> cacheImageFiles(); // names of the .jpg, .png and .bmp files in the cache

// The settings as prefs.txt stores them; the defaults are the program's.
struct Prefs {
    bool closeOnSave = true;
    int selectionColor = 1;
    int defaultFormat = 1;
    std::string folder = "C:/Users/($User)/Desktop/";
    bool resize = false;
};
std::string prefsPath();                   // prefs.txt in the settings folder
std::string prefsText(const Prefs& prefs); // as the program writes it (CR LF line ends)
void writePreferences(const Prefs& prefs); // the folder made when missing

// --- a running program -------------------------------------------------------------------

class Process {
public:
    // Current directory `workingFolder`, by default the exe's folder. Check started() before use.
    explicit Process(const std::string& exe = orvanePath(), const std::string& workingFolder = {});
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process(); // terminates a process that is still running: a test failed

    bool started() const { return handle_ != nullptr; }
    DWORD id() const { return id_; }
    bool running() const;
    std::optional<DWORD> waitForExit(DWORD timeoutMs) const; // the exit code
    bool waitUntilIdle(DWORD timeoutMs) const;               // in its message loop with nothing to do

private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

std::vector<HWND> trayIcons(); // in Wine's standalone tray window, left to right
// Empty where the notification icons are windows the driver can click (Wine's tray); else why not.
std::string trayUnavailableReason();

// --- Orvane's windows and menus ----------------------------------------------------------

enum TrayItem { beginCaptureItem = 0, optionsItem = 1, closeAllItem = 2, exitItem = 3 };
constexpr int trayItemCount = 4;
enum ShotItem { saveAsItem = 0, quickSaveItem = 1, copyItem = 2, closeAllShotsItem = 3 };
constexpr int shotMenuItems = 4;

constexpr const char* trayWindowClass = "ScreenCaptureSysTray";
constexpr const char* overlayClass = "Screen Capture";
constexpr const char* selectionClass = "Screen Capture2";
constexpr const char* screenshotClass = "Capped";
constexpr const char* optionsClass = "Screen Capture Options Menu";
constexpr const char* dialogClass = "#32770"; // message boxes and the system's dialogs
constexpr std::size_t optionsChildCount = 19;

// One orvane.exe as its user has it, from the start to Exit. Each step waits until the program
// has taken it; a step that did not happen returns false or null, and failure() says which.
class Session {
public:
    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Started, its icon up and waiting in its message loop (the keyboard hook comes after the icon).
    bool start(const std::string& exe = orvanePath(), const std::string& workingFolder = {});
    // Exit from the tray menu, once open message boxes are dismissed; the exit code.
    std::optional<DWORD> stop(DWORD timeoutMs = 5000);
    bool running() const { return process_ && process_->running(); }
    const std::string& failure() const { return failure_; }
    Process& process() { return *process_; }
    DWORD id() const { return process_ ? process_->id() : 0; }
    HWND trayWindow() const { return trayWindow_; }
    HWND icon() const { return icon_; } // its icon in the notification area
    // An icon not among `iconsBefore` (after Explorer restarted).
    bool waitForIcon(const std::vector<HWND>& iconsBefore, DWORD timeoutMs);
    // The GUI thread has handled what was queued before, a key the hook passed on included.
    bool settle(DWORD timeoutMs = 5000) const;

    HWND openTrayMenu(Button button = Button::left); // by a click on the icon
    // The icon's callback as the notification area sends it, for when the overlays cover the
    // icon; the tray menu when the message opened one.
    HWND relayIconMouse(UINT mouseMessage);
    // True once the menu has gone, clicked again when a loaded machine lost the click;
    // `chosenMs`: when the click that counted was made (nowMs).
    bool chooseMenuItem(HWND menu, int item, int itemCount, double* chosenMs = nullptr);
    bool chooseTrayItem(TrayItem item);

    std::vector<HWND> windows(const std::string& windowClass) const { return visibleWindows(id(), windowClass); }
    std::vector<HWND> overlays() const { return windows(overlayClass); }
    std::vector<HWND> screenshots() const { return windows(screenshotClass); }
    HWND selectionWindow() const;
    // The keys pressed, and the overlays up and taking input.
    bool startCapture(const std::vector<WORD>& keys = {VK_SNAPSHOT});
    bool captureEnded(DWORD timeoutMs = 3000) const;
    bool pressInOverlay(POINT at); // a left press, and the selection window up
    // Released once the selection window spans exactly that rectangle (it trails the pointer).
    bool dragSelection(POINT from, POINT to, int steps = 8);
    HWND waitForNewScreenshot(const std::vector<HWND>& before, DWORD timeoutMs = 3000);
    HWND pin(const RECT& rect, int steps = 8); // PrintScreen, a drag over `rect`: the new screenshot
    HWND openScreenshotMenu(HWND shot) { return openMenu(centreOf(windowRect(shot)), Button::right, "screenshot"); }
    bool chooseScreenshotItem(HWND shot, int item, double* chosenMs = nullptr);

    HWND openOptions(); // from the tray menu, shown with its controls and answering
    HWND options() const { return options_; }
    HWND optionsChild(std::size_t index) const; // in creation order
    bool closeOptions();                        // with its caption's close button

    // A visible top-level window of the program titled `title` (a message box's caption).
    HWND waitForWindowTitled(const std::string& title, DWORD timeoutMs = 3000);

private:
    bool fail(const std::string& why);
    HWND orFail(HWND window, const std::string& why); // `window`, with why when it is null
    HWND openMenu(POINT at, Button button, const char* what);

    std::unique_ptr<Process> process_;
    HWND trayWindow_ = nullptr;
    HWND icon_ = nullptr;
    HWND options_ = nullptr;
    std::string failure_;
};

} // namespace driver
