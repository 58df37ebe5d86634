// Windows automation for the driver: files, waiting, other processes' windows,
// menus and controls, and input through SendInput as a person gives it. Input
// waits until the thread it went to has taken it, not for a fixed time (the
// hand-paced drag apart). What is particular to orvane.exe is in session.h.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace driver {

// --- files ---------------------------------------------------------------------------------

std::string driverFolder(); // folder of this program, with its separator
void writeFile(const std::string& path, const std::string& content);
bool fileExists(const std::string& path);
std::string readFile(const std::string& path);                   // the bytes as stored; empty when missing
std::vector<std::string> fileNamesIn(const std::string& folder); // sorted
std::string scratchFolder(const std::string& name);              // of its own under the temporary folder, emptied

// --- waiting -------------------------------------------------------------------------------

bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs); // polled every 20 ms
double nowMs();                                                          // a high-resolution clock, for latencies
// Milliseconds from `startMs` to the first time `condition` held, polled every `pollMs`.
std::optional<double> msUntil(const std::function<bool()>& condition, double startMs, DWORD timeoutMs,
                              DWORD pollMs = 0);
HWND waitFor(const std::function<HWND()>& find, DWORD timeoutMs); // the first window `find` gives
inline HWND firstOf(const std::vector<HWND>& windows) { return windows.empty() ? nullptr : windows.front(); }

// --- windows -------------------------------------------------------------------------------

std::string className(HWND window);
std::string windowTitle(HWND window);
RECT windowRect(HWND window);
std::vector<HWND> topLevelWindows(DWORD process = 0); // hidden ones included; of every process for 0
std::vector<HWND> visibleWindows(DWORD process, const std::string& windowClass);
HWND waitForWindow(DWORD process, const std::string& windowClass, DWORD timeoutMs); // visible or not
std::vector<HWND> childWindows(HWND parent); // direct children in Z order, top first
std::vector<HWND> descendants(HWND parent);  // at any depth
// Over the close button of the caption, as the window's own WM_NCHITTEST says.
std::optional<POINT> closeButtonOf(HWND window);
bool waitUntilResponsive(HWND window, DWORD timeoutMs); // its thread back in its message loop
// The thread of `window` (or of the window at `screenPoint`) has handled the input sent before.
bool inputTaken(HWND window, DWORD timeoutMs = 2000);
bool inputTaken(POINT screenPoint, DWORD timeoutMs = 2000);
// Input taken and what it invalidated painted (WM_PAINT comes once the queue is empty).
bool painted(HWND window, DWORD timeoutMs = 2000);

// --- input ---------------------------------------------------------------------------------

enum class Button { left, right, middle };
POINT centreOf(const RECT& rect);
void moveMouse(POINT screenPoint);
// The move taken by `taker` (by default the window there) and the cursor stayed: an event of
// Wine's X server its thread had not read yet (the echo of an earlier move) puts it back.
bool pointAt(POINT screenPoint, HWND taker = nullptr);
// One more move message to the window taking the pointer, for a program that reads the cursor
// on a move: a move to where the pointer is makes none, and queued moves merge.
void nudgeMouse(POINT screenPoint);
void click(POINT screenPoint, Button button = Button::left);
void pressLeft(POINT screenPoint); // half a click, for what happens in between
void releaseLeft();
void buttonDown(Button button = Button::left);
void buttonUp(Button button = Button::left);
void turnWheel(int notches); // up positive, wherever the pointer is
// A left drag in `steps` moves, resting at `to` (one move more) before the release.
void drag(POINT from, POINT to, int steps = 8);
// A left drag along `path` at a hand's pace with `held` keys down, ended by `finish` (by default
// the release): for loops that poll the pointer and keys (a window's own move, OLE's drag),
// where nothing outside shows when a step has arrived.
void handDrag(const std::vector<POINT>& path, DWORD paceMs, const std::vector<WORD>& held = {},
              const std::function<void()>& finish = {});
void pressKey(WORD virtualKey);
void keyDown(WORD virtualKey);
void keyUp(WORD virtualKey);
void pressChord(WORD modifier, WORD key);       // in one SendInput call
void pressChord(const std::vector<WORD>& keys); // each taken in turn, released in reverse order

// --- menus, controls and dialogs of another process ----------------------------------------

bool popupMenuOpen(DWORD process);
// Clicks entry `index` of a popup menu of `itemCount` plain items; what follows is the caller's.
void clickMenuItem(HWND menu, int index, int itemCount);
std::string controlText(HWND control);             // asked of the control: GetWindowText does not ask others
std::string messageText(HWND box);                 // a message box's: its first static control with any
bool acknowledge(HWND box, int reply = IDOK);      // answered, and the box gone
bool typeInto(HWND edit, const std::string& text); // the text replaced by typing, and shown
// Expands a "Browse for Folder" tree along `labels` (leading parts, any letter case), selects the last.
bool selectFolderInDialog(HWND dialog, const std::vector<std::string>& labels);
void clickDialogButton(HWND dialog, int id);

// A low-level keyboard hook on a thread of its own. Hooks run newest first: one installed
// before orvane.exe starts sees a key only if Orvane's hook passed it on.
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
