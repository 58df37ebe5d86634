// orvane.exe as its user meets it; see session.h.
#include "session.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace driver {

namespace {

HWND popupMenu(DWORD process, DWORD timeoutMs) {
    return waitFor([&] { return firstOf(visibleWindows(process, "#32768")); }, timeoutMs);
}

HWND firstNotAmong(const std::vector<HWND>& now, const std::vector<HWND>& before) {
    for (HWND window : now)
        if (std::find(before.begin(), before.end(), window) == before.end())
            return window;
    return nullptr;
}

} // namespace

std::string orvanePath() { return driverFolder() + "orvane.exe"; }

std::string userName() {
    char name[257] = {};
    DWORD size = sizeof(name);
    return GetUserNameA(name, &size) ? name : "";
}

std::string settingsFolder() { return "C:/Users/" + userName() + "/AppData/Local/Lumagrab/"; }

std::string cacheFolder() { return "C:\\Users\\" + userName() + "\\AppData\\Local\\Lumagrab\\VELTO_CACHE\\"; }

void resetProfile() {
    std::error_code ignored;
    std::filesystem::remove_all(settingsFolder(), ignored);
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

Process::Process(const std::string& exe, const std::string& workingFolder) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + exe + "\"";
    const std::string folder =
        workingFolder.empty() ? std::filesystem::path(exe).parent_path().string() : workingFolder;
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        return;
    CloseHandle(info.hThread);
    handle_ = info.hProcess;
    id_ = info.dwProcessId;
}

Process::~Process() {
    if (running()) {
        TerminateProcess(handle_, 1);
        WaitForSingleObject(handle_, 5000);
    }
    if (handle_)
        CloseHandle(handle_);
}

bool Process::running() const { return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT; }

std::optional<DWORD> Process::waitForExit(DWORD timeoutMs) const {
    DWORD code = 0;
    if (!handle_ || WaitForSingleObject(handle_, timeoutMs) != WAIT_OBJECT_0 || !GetExitCodeProcess(handle_, &code))
        return std::nullopt;
    return code;
}

bool Process::waitUntilIdle(DWORD timeoutMs) const { return handle_ && WaitForInputIdle(handle_, timeoutMs) == 0; }

std::vector<HWND> trayIcons() {
    std::vector<HWND> icons;
    const HWND tray = FindWindowA("__winex11_standalone_tray", nullptr);
    for (HWND icon = tray ? FindWindowExA(tray, nullptr, "__winex11_tray_icon", nullptr) : nullptr; icon;
         icon = FindWindowExA(tray, icon, "__winex11_tray_icon", nullptr))
        if (IsWindowVisible(icon))
            icons.push_back(icon);
    std::sort(icons.begin(), icons.end(), [](HWND a, HWND b) { return windowRect(a).left < windowRect(b).left; });
    return icons;
}

std::string trayUnavailableReason() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll && GetProcAddress(ntdll, "wine_get_version"))
        return {};
    // Windows' own keeps every icon inside one toolbar (or a XAML island): no window per icon.
    if (FindWindowA("Shell_TrayWnd", nullptr))
        return "the notification area is Windows' own (Shell_TrayWnd), whose icons are not windows the driver "
               "can click: the user-level scenarios run under Wine";
    return "no notification area (neither Wine's tray nor Shell_TrayWnd)";
}

bool Session::fail(const std::string& why) {
    failure_ = why;
    return false;
}

HWND Session::orFail(HWND window, const std::string& why) {
    if (!window)
        fail(why);
    return window;
}

bool Session::start(const std::string& exe, const std::string& workingFolder) {
    failure_.clear();
    trayWindow_ = icon_ = options_ = nullptr;
    const std::vector<HWND> iconsBefore = trayIcons();
    process_ = std::make_unique<Process>(exe, workingFolder);
    if (!process_->started())
        return fail(exe + " did not start: error " + std::to_string(GetLastError()));
    if (!(trayWindow_ = waitForWindow(process_->id(), trayWindowClass, 10000)))
        return fail("no tray window");
    if (!waitForIcon(iconsBefore, 10000))
        return fail("no notification icon");
    // The keyboard hook comes after the icon: start-up is over once it waits in its loop.
    return process_->waitUntilIdle(10000) || fail("start-up did not get to the message loop");
}

bool Session::waitForIcon(const std::vector<HWND>& iconsBefore, DWORD timeoutMs) {
    const HWND icon = waitFor([&] { return firstNotAmong(trayIcons(), iconsBefore); }, timeoutMs);
    icon_ = icon ? icon : icon_;
    return icon != nullptr;
}

std::optional<DWORD> Session::stop(DWORD timeoutMs) {
    if (!process_)
        return std::nullopt;
    if (!process_->running())
        return process_->waitForExit(0);
    for (HWND box : windows(dialogClass))
        acknowledge(box);
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

bool Session::chooseMenuItem(HWND menu, int item, int itemCount, double* chosenMs) {
    // A loaded machine may lose a click: the menu then stays open, and a user clicks again.
    for (DWORD patienceMs : {1500u, 3000u}) {
        clickMenuItem(menu, item, itemCount);
        if (chosenMs)
            *chosenMs = nowMs();
        if (waitUntil([&] { return !popupMenuOpen(id()); }, patienceMs))
            return true;
    }
    return fail("the menu stayed open");
}

HWND Session::openMenu(POINT at, Button button, const char* what) {
    click(at, button);
    return orFail(popupMenu(id(), 3000), std::string("the ") + what + " menu did not open");
}

HWND Session::openTrayMenu(Button button) {
    if (!icon_)
        return orFail(nullptr, "no notification icon to click");
    // The icon relays the click to the GUI thread: let it finish what it is at first.
    settle();
    return openMenu(centreOf(windowRect(icon_)), button, "tray");
}

HWND Session::relayIconMouse(UINT mouseMessage) {
    constexpr UINT iconCallbackMessage = WM_USER + 1, iconId = 1;
    PostMessageA(trayWindow_, iconCallbackMessage, iconId, mouseMessage);
    settle();
    return popupMenu(id(), mouseMessage == WM_LBUTTONUP || mouseMessage == WM_RBUTTONUP ? 3000 : 0);
}

bool Session::chooseTrayItem(TrayItem item) {
    const HWND menu = openTrayMenu();
    return menu && chooseMenuItem(menu, item, trayItemCount);
}

HWND Session::selectionWindow() const { return firstOf(windows(selectionClass)); }

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
    for (int i = 1; i <= steps; ++i)
        moveMouse({from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps}), settle();
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
    return orFail(waitFor([&] { return firstNotAmong(screenshots(), before); }, timeoutMs), "no new screenshot window");
}

HWND Session::pin(const RECT& rect, int steps) {
    if (!startCapture())
        return nullptr;
    const std::vector<HWND> before = screenshots();
    if (!dragSelection({rect.left, rect.top}, {rect.right, rect.bottom}, steps))
        return nullptr;
    return waitForNewScreenshot(before, 5000);
}

bool Session::chooseScreenshotItem(HWND shot, int item, double* chosenMs) {
    const HWND menu = openScreenshotMenu(shot);
    return menu && chooseMenuItem(menu, item, shotMenuItems, chosenMs);
}

HWND Session::openOptions() {
    options_ = nullptr;
    if (!chooseTrayItem(optionsItem))
        return nullptr;
    const HWND window = waitForWindow(id(), optionsClass, 3000);
    // Found as soon as it exists: its children come after, and it shows last.
    if (!window ||
        !waitUntil([&] { return IsWindowVisible(window) && childWindows(window).size() == optionsChildCount; }, 3000))
        return orFail(nullptr, "no options window");
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
    const auto titled = [&]() -> HWND {
        for (HWND window : topLevelWindows(id()))
            if (IsWindowVisible(window) && windowTitle(window) == title)
                return window;
        return nullptr;
    };
    return orFail(waitFor(titled, timeoutMs), "no window titled \"" + title + "\"");
}

} // namespace driver
