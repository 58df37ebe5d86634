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
// A folder of its own under the temporary folder, emptied.
std::string scratchFolder(const std::string& name);

// --- waiting -------------------------------------------------------------------------------

// Polls `condition` every 20 ms until it holds or `timeoutMs` passes.
bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs);
// Milliseconds of a high-resolution clock, for latencies.
double nowMs();
// Polls `condition` as fast as it can; the milliseconds from `startMs` to the
// first time it held, or nothing within `timeoutMs`.
std::optional<double> msUntil(const std::function<bool()>& condition, double startMs, DWORD timeoutMs);

// --- windows -------------------------------------------------------------------------------

std::string className(HWND window);
std::string windowTitle(HWND window);
RECT windowRect(HWND window);
// Top-level windows, hidden ones included; of one process when `process` is not 0.
std::vector<HWND> topLevelWindows(DWORD process = 0);
// The visible top-level windows of `process` with this class.
std::vector<HWND> visibleWindows(DWORD process, const std::string& windowClass);
// The first top-level window of `process` with this class, waiting for it.
HWND waitForWindow(DWORD process, const std::string& windowClass, DWORD timeoutMs);
// The direct children of `parent`, in their Z order (first = top).
std::vector<HWND> childWindows(HWND parent);
// Every window below `parent`, at any depth.
std::vector<HWND> descendants(HWND parent);
// A screen point over the close button of `window`'s caption (asked of the
// window itself with WM_NCHITTEST); nullopt when it has none.
std::optional<POINT> closeButtonOf(HWND window);
// Waits until the thread of `window` has handled a message sent to it, that
// is, until it is back in its message loop.
bool waitUntilResponsive(HWND window, DWORD timeoutMs);
// Waits until the thread of `window` (or of the window under `screenPoint`)
// has handled the input sent before the call.
bool inputTaken(HWND window, DWORD timeoutMs = 2000);
bool inputTaken(POINT screenPoint, DWORD timeoutMs = 2000);
// Waits until the thread of `window` has taken the input sent before and
// painted what that invalidated (WM_PAINT comes once its queue is empty).
bool painted(HWND window, DWORD timeoutMs = 2000);

// --- input ---------------------------------------------------------------------------------

enum class Button { left, right, middle };
POINT centreOf(const RECT& rect);
void moveMouse(POINT screenPoint);
// Moves the pointer to `screenPoint` and waits until the thread of `taker`
// (by default the window there) has taken the move and the cursor stayed:
// a pointer event that thread had not read yet (Wine's echo from the X
// server of an earlier move) puts the cursor back when it is read.
bool pointAt(POINT screenPoint, HWND taker = nullptr);
// The pointer at `screenPoint`, and one more move message there to the window
// that takes the pointer (its thread's capture, or the window there): for a
// program that reads the cursor when it takes a move. A move to where the
// pointer already is makes no message, and queued moves merge.
void nudgeMouse(POINT screenPoint);
void click(POINT screenPoint, Button button = Button::left);
// The two halves of a left click, for what happens in between.
void pressLeft(POINT screenPoint);
void releaseLeft();
void buttonDown(Button button = Button::left);
void buttonUp(Button button = Button::left);
// `notches` turns of the wheel (up positive), wherever the pointer is.
void turnWheel(int notches);
// A left-button drag in `steps` moves; the pointer rests at `to` (one move
// more at the same point) before the release.
void drag(POINT from, POINT to, int steps = 8);
// A left-button drag through `path` (pressed at its first point) at a hand's
// pace, `paceMs` a step, with `held` keys down around it, ended by `finish`
// (by default the release) after a rest at the end. For loops that read the
// pointer and keys as they poll (a window's own move, OLE's drag): nothing
// outside shows when a step has arrived.
void handDrag(const std::vector<POINT>& path, DWORD paceMs, const std::vector<WORD>& held = {},
              const std::function<void()>& finish = {});
void pressKey(WORD virtualKey);
void keyDown(WORD virtualKey);
void keyUp(WORD virtualKey);
// `key` pressed while `modifier` is held (Shift+End: VK_SHIFT, VK_END).
void pressChord(WORD modifier, WORD key);
// The keys pressed in order, released in reverse order ("Ctrl+PrintScreen").
void pressChord(const std::vector<WORD>& keys);

// --- menus, controls and dialogs of another process ----------------------------------------

// The open popup menu ("#32768") of `process`, waiting for it.
HWND waitForPopupMenu(DWORD process, DWORD timeoutMs);
bool popupMenuOpen(DWORD process);
// Clicks entry `index` of a popup menu of `itemCount` plain items, and no
// more: what comes right after the click is the caller's.
void clickMenuItem(HWND menu, int index, int itemCount);
// The text a control holds, asked of the control itself (GetWindowText does
// not ask another process's windows).
std::string controlText(HWND control);
// A message box's text: that of its first static control with any.
std::string messageText(HWND box);
// A message box answered with `reply` (OK by default), and the box gone.
bool acknowledge(HWND box, int reply = IDOK);
// Focuses an edit control, replaces its text by typing `text`, and waits until it shows it.
bool typeInto(HWND edit, const std::string& text);
// In an open "Browse for Folder" dialog of another process: expands the tree
// from its top along `labels` (each compared without letter case, a leading
// part of the item's text is enough) and selects the last one.
bool selectFolderInDialog(HWND dialog, const std::vector<std::string>& labels);
// Clicks the dialog's OK (IDOK) or Cancel (IDCANCEL) button.
void clickDialogButton(HWND dialog, int id);

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
