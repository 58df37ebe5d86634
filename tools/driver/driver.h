// A small framework that uses orvane.exe as a person would: it starts the
// program with a fresh profile, finds its windows by class, clicks and types
// through SendInput, reads files and screen pixels, and waits for exit codes.
// The scenarios (tests/e2e), the `make run` demonstration and `make
// screenshots` build on it. Under Wine the notification area is Wine's own standalone
// tray window; its icons are child windows that relay real mouse clicks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
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
// Milliseconds of a high-resolution clock, for latencies.
double nowMs();
// Polls `condition` as fast as it can; the milliseconds from `startMs` to the
// first time it held, or nothing within `timeoutMs`.
std::optional<double> msUntil(const std::function<bool()>& condition, double startMs, DWORD timeoutMs);

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
// Waits until the thread of `window` has handled a message sent to it, that
// is, until it is back in its message loop.
bool waitUntilResponsive(HWND window, DWORD timeoutMs);
// Waits until the thread of `window` (or of the window under `screenPoint`)
// has handled the input sent before the call. Every input primitive below
// waits so for its target, instead of for a fixed time.
bool inputTaken(HWND window, DWORD timeoutMs = 2000);
bool inputTaken(POINT screenPoint, DWORD timeoutMs = 2000);
// The same for the thread that has the keyboard focus.
bool keysTaken(DWORD timeoutMs = 2000);
// Waits until the thread of `window` has taken the input sent before and
// painted what that invalidated (WM_PAINT comes once its queue is empty).
bool painted(HWND window, DWORD timeoutMs = 2000);
// The first top-level window of `process` with this class, waiting for it.
HWND waitForWindow(DWORD process, const std::string& windowClass, DWORD timeoutMs);
// Every visible top-level window of `process` with this class.
std::vector<HWND> windowsOfClass(DWORD process, const std::string& windowClass);
// The direct children of `parent`, in their Z order (first = top).
std::vector<HWND> childWindows(HWND parent);
// Every window below `parent`, at any depth.
std::vector<HWND> descendants(HWND parent);
// A window's rectangle relative to its parent's client area.
RECT rectInParent(HWND child);
// A screen point over the close button of `window`'s caption (asked of the
// window itself with WM_NCHITTEST); nullopt when it has none.
std::optional<POINT> closeButtonOf(HWND window);

// --- the notification area ------------------------------------------------------------

// Icons shown in Wine's standalone tray window, left to right.
std::vector<HWND> trayIcons();
// Empty where the notification icons are windows of their own that the driver
// can click (Wine's tray); otherwise why the user-level scenarios cannot run.
std::string trayUnavailableReason();
// The open popup menu ("#32768") of `process`, waiting for it.
HWND waitForPopupMenu(DWORD process, DWORD timeoutMs);
bool popupMenuOpen(DWORD process);

// --- input -----------------------------------------------------------------------------

enum class Button { left, right, middle };
POINT centreOf(const RECT& rect);
void moveMouse(POINT screenPoint);
// Moves the pointer to `screenPoint` and waits until the thread of `taker`
// (by default the window there) has taken the move and the cursor stayed:
// a pointer event that thread had not read yet (Wine's echo from the X
// server of an earlier move) puts the cursor back when it is read.
bool pointAt(POINT screenPoint, HWND taker = nullptr);
// The pointer at `screenPoint`, and one more move message there to the window
// that takes the pointer (its thread's capture, or the window there), as the
// system sends when the pointer moves: for a program that reads the cursor
// when it takes a move. A move to where the pointer already is makes no
// message, and moves queued before the program takes them merge.
void nudgeMouse(POINT screenPoint);
void click(POINT screenPoint, Button button = Button::left);
// The two halves of a left click, for what happens in between.
void pressLeft(POINT screenPoint);
void releaseLeft();
void pressKey(WORD virtualKey);
// `key` pressed while `modifier` is held (Shift+End: VK_SHIFT, VK_END).
void pressChord(WORD modifier, WORD key);
// Types the characters as keyboard input (plain ASCII).
void typeText(const std::string& text);
void keyDown(WORD virtualKey);
void keyUp(WORD virtualKey);
// The keys pressed in order, released in reverse order ("Ctrl+PrintScreen").
void pressChord(const std::vector<WORD>& keys);
void buttonDown(Button button = Button::left);
void buttonUp(Button button = Button::left);
// `notches` turns of the wheel (up positive), wherever the pointer is.
void turnWheel(int notches);
// A left-button drag in `steps` moves; the pointer rests at `to` (one move
// more at the same point) before the release, so a program that reads the
// cursor on each move has seen the end point.
void drag(POINT from, POINT to, int steps = 8);
// Clicks entry `index` of a popup menu of `itemCount` plain items.
void clickMenuItem(HWND menu, int index, int itemCount);

// --- the screen -----------------------------------------------------------------------------

struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgra; // top-down rows
    // Where pixel (0, 0) lies on the desktop: pixel() and crop() take desktop
    // coordinates. The whole screen's starts left of or above 0 on some desks.
    POINT origin{0, 0};
    COLORREF pixel(int x, int y) const;
    bool savePng(const std::string& path) const;
    // The part inside `rect` (clipped to the picture).
    Screenshot crop(const RECT& rect) const;
    // Same size and the same blue, green and red bytes everywhere (alpha is not compared).
    bool sameColours(const Screenshot& other) const;
};
// The monitors' rectangles on the desktop, in the system's order.
std::vector<RECT> monitors();
// The primary monitor switched to another resolution, as its settings page would do it.
bool setDisplayMode(DWORD width, DWORD height);
Screenshot grabScreen();
// Only the rectangle `area` of the screen (`pixel` then takes coordinates in it).
Screenshot grabScreen(const RECT& area);
// The screen once two grabs in a row agree: nothing is still being drawn
// (Wine shows a window's pixels a moment after it painted them).
Screenshot settledScreen(DWORD timeoutMs = 3000);

// --- the system's folder dialog -----------------------------------------------------------------

// In an open "Browse for Folder" dialog of another process: expands the tree
// from its top along `labels` (each compared without letter case, a leading
// part of the item's text is enough) and selects the last one. False when an
// item is not found.
bool selectFolderInDialog(HWND dialog, const std::vector<std::string>& labels);
// Clicks the dialog's OK (IDOK) or Cancel (IDCANCEL) button.
void clickDialogButton(HWND dialog, int id);
// One pixel of the screen, read straight from the screen DC.
COLORREF screenPixel(POINT at);

// An asymmetric test picture: a red "F" on a blue ground with a green bar
// along the bottom and a gradient in the top-right corner, so that row flips,
// mirror images and channel swaps all show. `variant` shifts the colours.
Screenshot testPicture(int width, int height, int variant = 0);

// Image files as they decode: PNG (LodePNG), BMP (24 or 32 bits), JPEG
// (the system's imaging component). Empty on failure.
Screenshot decodeImageFile(const std::string& path);
// A picture with every colour scaled by percent / 100.
Screenshot dimmed(const Screenshot& picture, int percent);

// --- windows of the driver's own ---------------------------------------------------------

// A borderless window on a thread of its own that shows a picture pixel for
// pixel; it can be repainted or moved while the test runs.
class PatternWindow {
public:
    PatternWindow(POINT topLeft, const Screenshot& picture);
    ~PatternWindow();
    PatternWindow(const PatternWindow&) = delete;
    PatternWindow& operator=(const PatternWindow&) = delete;
    HWND window() const { return window_; }
    RECT rect() const;
    void show(const Screenshot& picture); // repainted before it returns
    void moveTo(POINT topLeft);

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void run(POINT topLeft, HANDLE ready);

    std::mutex lock_;
    Screenshot picture_;
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
    std::thread thread_;
};

// A low-level keyboard hook of the driver's own, on a thread of its own. Hooks
// run newest first, so a hook installed before orvane.exe starts sees a key
// only if Orvane's hook passed it on.
class KeyWatcher {
public:
    KeyWatcher();
    ~KeyWatcher();
    KeyWatcher(const KeyWatcher&) = delete;
    KeyWatcher& operator=(const KeyWatcher&) = delete;
    struct Key {
        WPARAM message;
        DWORD virtualKey;
    };
    std::vector<Key> keys() const;
    bool saw(WPARAM message, DWORD virtualKey) const;
    void clear();

private:
    static LRESULT CALLBACK hookProc(int code, WPARAM wp, LPARAM lp);
    mutable std::mutex lock_;
    std::vector<Key> keys_;
    DWORD threadId_ = 0;
    std::thread thread_;
};

} // namespace driver

namespace driver {

// --- Orvane as its user meets it --------------------------------------------------------------------

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
    // Opens the tray menu and picks `item`; true once the menu has gone.
    bool chooseTrayItem(TrayItem item);

    // The program's visible top-level windows of a class.
    std::vector<HWND> windows(const std::string& windowClass) const;
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
    // Entry `item` of a screenshot window's menu, opened by a right click; true once the menu has gone.
    bool chooseScreenshotItem(HWND shot, int item);

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
    // OK on every message box still open.
    void dismissMessages();

private:
    bool fail(const std::string& why);
    // Whether the menu went after a click on `item`; clicked once more when it stayed.
    bool menuClosed(HWND menu, int item, int itemCount);

    std::unique_ptr<Process> process_;
    HWND trayWindow_ = nullptr;
    HWND icon_ = nullptr;
    HWND options_ = nullptr;
    std::string failure_;
};

// The text a control holds, asked of the control itself (GetWindowText does
// not ask another process's windows).
std::string controlText(HWND control);
// A message box's text: that of its first static control with any.
std::string messageText(HWND box);
// OK on a message box, and the box gone.
bool acknowledge(HWND box, DWORD timeoutMs = 3000);
// Clicks `control` until its thread says it has the keyboard focus: a click
// on a window that has only just opened may be taken for its activation.
bool focus(HWND control);
// Focuses an edit control, replaces its text by typing `text`, and waits until it shows it.
bool typeInto(HWND edit, const std::string& text);

// The visible top-level windows of `process` with this class.
std::vector<HWND> visibleWindows(DWORD process, const std::string& windowClass);
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
// Names (without folder) of the .jpg, .png and .bmp files in the cache folder.
std::vector<std::string> cacheImageFiles();
// The frame a screenshot window draws around `cut`: 255 minus the average of
// the edge pixels, with the averages of red and blue trading places.
COLORREF expectedFrameColor(const Screenshot& cut);

} // namespace driver
