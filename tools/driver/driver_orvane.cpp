// The user-level driver: Orvane's windows and files; see driver.h.
#include "driver.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace driver {

// --- a session -------------------------------------------------------------------------------------------------

bool Session::fail(const std::string& why) {
    failure_ = why;
    return false;
}

bool Session::start(const std::string& exe, const std::string& workingFolder) {
    failure_.clear();
    trayWindow_ = icon_ = options_ = nullptr;
    const std::vector<HWND> iconsBefore = trayIcons();
    process_ = std::make_unique<Process>(exe, workingFolder);
    if (!process_->started())
        return fail(exe + " did not start: error " + std::to_string(GetLastError()));
    trayWindow_ = waitForWindow(process_->id(), trayWindowClass, 10000);
    if (!trayWindow_)
        return fail("no tray window");
    if (!waitForIcon(iconsBefore, 10000))
        return fail("no notification icon");
    // The keyboard hook comes after the icon: start-up is over once the
    // program waits for messages in its loop.
    if (!process_->waitUntilIdle(10000))
        return fail("start-up did not get to the message loop");
    return true;
}

bool Session::waitForIcon(const std::vector<HWND>& iconsBefore, DWORD timeoutMs) {
    return waitUntil(
        [&] {
            for (HWND icon : trayIcons())
                if (std::find(iconsBefore.begin(), iconsBefore.end(), icon) == iconsBefore.end()) {
                    icon_ = icon;
                    return true;
                }
            return false;
        },
        timeoutMs);
}

std::optional<DWORD> Session::stop(DWORD timeoutMs) {
    if (!process_)
        return std::nullopt;
    if (!process_->running())
        return process_->waitForExit(0);
    dismissMessages();
    if (!chooseTrayItem(exitItem))
        return std::nullopt;
    const std::optional<DWORD> code = process_->waitForExit(timeoutMs);
    if (!code)
        fail("still running " + std::to_string(timeoutMs) +
             " ms after Exit; menus open: " + std::to_string(windows("#32768").size()) +
             ", message boxes: " + std::to_string(windows(dialogClass).size()));
    return code;
}

bool Session::settle(DWORD timeoutMs) const { return inputTaken(trayWindow_, timeoutMs); }

bool Session::menuClosed(HWND menu, int item, int itemCount) {
    if (waitUntil([&] { return !popupMenuOpen(id()); }, 1500))
        return true;
    // A loaded machine may lose a click: the menu then stays open, and a user clicks again.
    clickMenuItem(menu, item, itemCount);
    return waitUntil([&] { return !popupMenuOpen(id()); }, 3000);
}

HWND Session::openTrayMenu(Button button) {
    if (!icon_) {
        fail("no notification icon to click");
        return nullptr;
    }
    // The icon relays the click to the GUI thread: let it finish what it is at first.
    settle();
    click(centreOf(windowRect(icon_)), button);
    const HWND menu = waitForPopupMenu(id(), 3000);
    if (!menu)
        fail("the tray menu did not open");
    return menu;
}

bool Session::chooseTrayItem(TrayItem item) {
    const HWND menu = openTrayMenu();
    if (!menu)
        return false;
    clickMenuItem(menu, item, trayItemCount);
    return menuClosed(menu, item, trayItemCount) || fail("the tray menu stayed open");
}

std::vector<HWND> Session::windows(const std::string& windowClass) const { return visibleWindows(id(), windowClass); }

HWND Session::selectionWindow() const {
    const std::vector<HWND> found = windows(selectionClass);
    return found.empty() ? nullptr : found.front();
}

bool Session::startCapture(const std::vector<WORD>& keys) {
    // The hook is only called while the GUI thread waits for messages.
    settle();
    pressChord(keys);
    if (!waitUntil([&] { return !overlays().empty(); }, 10000))
        return fail("the keys opened no overlay");
    // A press before the overlays take input would be lost.
    return waitUntilResponsive(overlays().front(), 5000) || fail("the overlays do not answer");
}

bool Session::captureEnded(DWORD timeoutMs) const {
    return waitUntil([&] { return overlays().empty() && !selectionWindow(); }, timeoutMs);
}

bool Session::pressInOverlay(POINT at) {
    // The press is read with the cursor: through the GUI thread, whatever
    // window (Wine's tray) is at the point.
    pointAt(at, trayWindow_);
    buttonDown();
    return waitUntil([&] { return selectionWindow() != nullptr; }, 5000) || fail("no selection window after the press");
}

bool Session::dragSelection(POINT from, POINT to, int steps) {
    if (!pressInOverlay(from))
        return false;
    for (int i = 1; i <= steps; ++i) {
        moveMouse({from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps});
        settle();
    }
    RECT want{std::min(from.x, to.x), std::min(from.y, to.y), std::max(from.x, to.x), std::max(from.y, to.y)};
    // An end on the last column (row) of an outer monitor edge is taken in: the pointer can go no further.
    if (to.x >= from.x && !MonitorFromPoint({to.x + 1, to.y}, MONITOR_DEFAULTTONULL))
        ++want.right;
    if (to.y >= from.y && !MonitorFromPoint({to.x, to.y + 1}, MONITOR_DEFAULTTONULL))
        ++want.bottom;
    // The release takes the cursor as the GUI thread last read it: spanned,
    // with the cursor staying at `to` once the thread has read all it had.
    const bool spanned = waitUntil(
        [&] {
            nudgeMouse(to);
            settle();
            POINT now{};
            const RECT at = windowRect(selectionWindow());
            return EqualRect(&at, &want) && GetCursorPos(&now) && now.x == to.x && now.y == to.y;
        },
        5000);
    buttonUp();
    return spanned || fail("the selection did not span the dragged rectangle");
}

HWND Session::waitForNewScreenshot(const std::vector<HWND>& before, DWORD timeoutMs) {
    HWND made = nullptr;
    waitUntil(
        [&] {
            for (HWND window : screenshots())
                if (std::find(before.begin(), before.end(), window) == before.end())
                    made = window;
            return made != nullptr;
        },
        timeoutMs);
    if (!made)
        fail("no new screenshot window");
    return made;
}

HWND Session::pin(const RECT& rect, int steps) {
    if (!startCapture())
        return nullptr;
    const std::vector<HWND> before = screenshots();
    if (!dragSelection({rect.left, rect.top}, {rect.right, rect.bottom}, steps))
        return nullptr;
    return waitForNewScreenshot(before, 5000);
}

bool Session::chooseScreenshotItem(HWND shot, int item) {
    click(centreOf(windowRect(shot)), Button::right);
    const HWND menu = waitForPopupMenu(id(), 3000);
    if (!menu)
        return fail("the screenshot menu did not open");
    clickMenuItem(menu, item, shotMenuItems);
    return menuClosed(menu, item, shotMenuItems) || fail("the screenshot menu stayed open");
}

HWND Session::openOptions() {
    options_ = nullptr;
    if (!chooseTrayItem(optionsItem))
        return nullptr;
    const HWND window = waitForWindow(id(), optionsClass, 3000);
    // Found as soon as it exists: its children come after, and it shows last.
    if (!window ||
        !waitUntil([&] { return IsWindowVisible(window) && childWindows(window).size() == optionsChildCount; }, 3000)) {
        fail("no options window");
        return nullptr;
    }
    // Painted once every child has painted itself and the thread is back in its loop.
    inputTaken(window);
    return options_ = window;
}

HWND Session::optionsChild(std::size_t index) const {
    const std::vector<HWND> children = childWindows(options_);
    return index < children.size() ? children[index] : nullptr;
}

bool Session::closeOptions() {
    const auto button = closeButtonOf(options_);
    if (!button)
        return fail("the options window has no close button");
    click(*button);
    return waitUntil([&] { return !IsWindow(options_); }, 3000) || fail("the options window stayed open");
}

HWND Session::waitForWindowTitled(const std::string& title, DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil(
        [&] {
            for (HWND window : topLevelWindows(id()))
                if (IsWindowVisible(window) && windowTitle(window) == title)
                    found = window;
            return found != nullptr;
        },
        timeoutMs);
    if (!found)
        fail("no window titled \"" + title + "\"");
    return found;
}

void Session::dismissMessages() {
    for (HWND window : windows(dialogClass))
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    waitUntil([&] { return windows(dialogClass).empty(); }, 2000);
}

// --- controls ----------------------------------------------------------------------------------------------------

std::string controlText(HWND control) {
    const LRESULT length = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
    const LRESULT copied =
        SendMessageA(control, WM_GETTEXT, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

std::string messageText(HWND box) {
    for (HWND child : childWindows(box))
        if (className(child) == "Static")
            if (std::string text = controlText(child); !text.empty())
                return text;
    return {};
}

bool acknowledge(HWND box, DWORD timeoutMs) {
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return waitUntil([&] { return !IsWindow(box); }, timeoutMs);
}

bool focus(HWND control) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    const DWORD thread = GetWindowThreadProcessId(control, nullptr);
    for (int attempt = 0; attempt < 3; ++attempt) {
        click(centreOf(windowRect(control)));
        if (waitUntil([&] { return GetGUIThreadInfo(thread, &info) && info.hwndFocus == control; }, 1000))
            return true;
    }
    return false;
}

bool typeInto(HWND edit, const std::string& text) {
    if (!focus(edit))
        return false;
    // Wine's edit box knows no Ctrl+A: select from the start to the end.
    pressKey(VK_HOME);
    pressChord(VK_SHIFT, VK_END);
    pressKey(VK_DELETE);
    typeText(text);
    return waitUntil([&] { return controlText(edit) == text; }, 3000);
}

// --- Orvane's windows and files ----------------------------------------------------------------------------------

std::vector<HWND> visibleWindows(DWORD process, const std::string& windowClass) {
    std::vector<HWND> found;
    for (HWND window : topLevelWindows(process))
        if (IsWindowVisible(window) && className(window) == windowClass)
            found.push_back(window);
    return found;
}

std::string prefsPath() { return settingsFolder() + "prefs.txt"; }

std::string prefsText(const Prefs& prefs) {
    return std::string(prefs.closeOnSave ? "1" : "0") + ":" + std::to_string(prefs.selectionColor) + ":" +
           std::to_string(prefs.defaultFormat) + ":" + prefs.folder +
           "\r\nresizeScreenshotWindows=" + (prefs.resize ? "1" : "0") + "\r\n";
}

void writePreferences(const Prefs& prefs) { writeFile(prefsPath(), prefsText(prefs)); }

std::vector<std::string> cacheImageFiles() {
    std::vector<std::string> images;
    for (const std::string& name : fileNamesIn(cacheFolder())) {
        const std::string extension = name.size() >= 4 ? name.substr(name.size() - 4) : std::string();
        if (extension == ".jpg" || extension == ".png" || extension == ".bmp")
            images.push_back(name);
    }
    return images;
}

COLORREF expectedFrameColor(const Screenshot& cut) {
    std::uint32_t sum[3] = {}, count = 0;
    for (int y = 0; y < cut.height; ++y)
        for (int x = 0; x < cut.width; ++x) {
            if (x != 0 && y != 0 && x != cut.width - 1 && y != cut.height - 1)
                continue;
            const std::uint8_t* p = &cut.bgra[(static_cast<std::size_t>(y) * cut.width + x) * 4];
            for (int c = 0; c < 3; ++c)
                sum[c] += p[c];
            ++count;
        }
    // sum[0] is blue: it becomes the red component.
    return RGB(255 - sum[0] / count, 255 - sum[1] / count, 255 - sum[2] / count);
}

} // namespace driver
