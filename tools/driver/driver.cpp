// The user-level driver; see driver.h.
#include "driver.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include <lodepng.h>

namespace driver {

namespace fs = std::filesystem;

namespace {

std::string folderOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

void sendMouse(DWORD flags, DWORD wheelData = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    input.mi.mouseData = wheelData;
    SendInput(1, &input, sizeof(input));
}

} // namespace

// --- files and the user's profile ---------------------------------------------------

std::string driverFolder() {
    char path[MAX_PATH * 4] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path));
    return folderOf(path);
}

std::string orvanePath() { return driverFolder() + "orvane.exe"; }

std::string userName() {
    char name[257] = {};
    DWORD size = sizeof(name);
    if (!GetUserNameA(name, &size))
        return {};
    return name;
}

std::string settingsFolder() { return "C:/Users/" + userName() + "/AppData/Local/Lumagrab/"; }

std::string cacheFolder() { return "C:\\Users\\" + userName() + "\\AppData\\Local\\Lumagrab\\VELTO_CACHE\\"; }

void resetProfile() {
    std::error_code ignored;
    fs::remove_all(fs::path(settingsFolder()), ignored);
}

void writeFile(const std::string& path, const std::string& content) {
    std::error_code ignored;
    fs::create_directories(fs::path(path).parent_path(), ignored);
    std::ofstream(path, std::ios::binary) << content;
}

bool fileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> fileNamesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fs::path(folder), error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string scratchFolder(const std::string& name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    const fs::path folder = fs::path(temp) / ("orvane-e2e-" + name);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::create_directories(folder, ignored);
    return folder.string() + "\\";
}

// --- waiting ---------------------------------------------------------------------------

bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(20);
    }
}

// --- a running orvane.exe ----------------------------------------------------------------

Process::Process(const std::string& exe, const std::string& workingFolder) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + exe + "\"";
    const std::string folder = workingFolder.empty() ? folderOf(exe) : workingFolder;
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        return;
    CloseHandle(info.hThread);
    handle_ = info.hProcess;
    id_ = info.dwProcessId;
}

Process::~Process() {
    if (!handle_)
        return;
    if (running()) {
        TerminateProcess(handle_, 1);
        WaitForSingleObject(handle_, 5000);
    }
    CloseHandle(handle_);
}

bool Process::running() const { return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT; }

std::optional<DWORD> Process::waitForExit(DWORD timeoutMs) const {
    if (!handle_ || WaitForSingleObject(handle_, timeoutMs) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(handle_, &code))
        return std::nullopt;
    return code;
}

bool Process::waitUntilIdle(DWORD timeoutMs) const { return handle_ && WaitForInputIdle(handle_, timeoutMs) == 0; }

// --- windows ----------------------------------------------------------------------------------

std::string className(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

std::string windowTitle(HWND window) {
    char title[256] = {};
    GetWindowTextA(window, title, sizeof(title));
    return title;
}

RECT windowRect(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

DWORD windowProcess(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

std::vector<HWND> topLevelWindows(DWORD process) {
    struct Search {
        DWORD process;
        std::vector<HWND> found;
    } search{process, {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            if (s.process == 0 || windowProcess(window) == s.process)
                s.found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool waitUntilResponsive(HWND window, DWORD timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

HWND waitForWindow(DWORD process, const std::string& windowClass, DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil(
        [&] {
            for (HWND window : topLevelWindows(process))
                if (className(window) == windowClass) {
                    found = window;
                    return true;
                }
            return false;
        },
        timeoutMs);
    return found;
}

std::vector<HWND> windowsOfClass(DWORD process, const std::string& windowClass) {
    std::vector<HWND> found;
    for (HWND window : topLevelWindows(process))
        if (className(window) == windowClass && IsWindowVisible(window))
            found.push_back(window);
    return found;
}

std::vector<HWND> descendants(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM into) {
            reinterpret_cast<std::vector<HWND>*>(into)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

std::vector<HWND> childWindows(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

RECT rectInParent(HWND child) {
    RECT rect = windowRect(child);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::optional<POINT> closeButtonOf(HWND window) {
    const RECT rect = windowRect(window);
    // The close button sits at the right end of the caption.
    for (int y = rect.top; y < rect.top + 40 && y < rect.bottom; y += 2)
        for (int x = rect.right - 1; x > rect.right - 80 && x > rect.left; x -= 2)
            if (SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE)
                return POINT{x - 3, y + 3};
    return std::nullopt;
}

// --- the notification area ----------------------------------------------------------------------

std::vector<HWND> trayIcons() {
    std::vector<HWND> icons;
    const HWND tray = FindWindowA("__winex11_standalone_tray", nullptr);
    if (!tray)
        return icons;
    for (HWND icon = FindWindowExA(tray, nullptr, "__winex11_tray_icon", nullptr); icon;
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
    // Windows' own notification area keeps every icon inside one toolbar (or,
    // on Windows 11, a XAML island): no window per icon to find and click.
    if (FindWindowA("Shell_TrayWnd", nullptr))
        return "the notification area is Windows' own (Shell_TrayWnd), whose icons are not windows the driver "
               "can click: the user-level scenarios run under Wine";
    return "no notification area (neither Wine's tray nor Shell_TrayWnd)";
}

bool popupMenuOpen(DWORD process) {
    for (HWND window : topLevelWindows(process))
        if (className(window) == "#32768" && IsWindowVisible(window))
            return true;
    return false;
}

HWND waitForPopupMenu(DWORD process, DWORD timeoutMs) {
    HWND menu = nullptr;
    waitUntil(
        [&] {
            for (HWND window : topLevelWindows(process))
                if (className(window) == "#32768" && IsWindowVisible(window)) {
                    menu = window;
                    return true;
                }
            return false;
        },
        timeoutMs);
    return menu;
}

// --- input ---------------------------------------------------------------------------------------

POINT centreOf(const RECT& rect) { return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }

void moveMouse(POINT screenPoint) {
    SetCursorPos(screenPoint.x, screenPoint.y);
    sendMouse(MOUSEEVENTF_MOVE); // a real move event, so that hover tracking sees it
}

bool inputTaken(HWND window, DWORD timeoutMs) {
    // A sent message is handled before queued input: the first round trip may
    // overtake the input, the second comes back only once the thread has
    // asked for its next message, the input handled.
    return window && waitUntilResponsive(window, timeoutMs) && waitUntilResponsive(window, timeoutMs);
}

bool inputTaken(POINT screenPoint, DWORD timeoutMs) { return inputTaken(WindowFromPoint(screenPoint), timeoutMs); }

bool painted(HWND window, DWORD timeoutMs) {
    if (!inputTaken(window, timeoutMs))
        return false;
    // WM_PAINT comes once the queue is empty, for one window at a time: wait
    // until nothing of the window and its children is left to paint.
    std::vector<HWND> windows = descendants(window);
    windows.push_back(window);
    const auto nothingLeft = [&] {
        return std::none_of(windows.begin(), windows.end(),
                            [](HWND each) { return GetUpdateRect(each, nullptr, FALSE); });
    };
    // Then twice more through the loop: the paint under way ends, and the
    // thread waits, which is when Wine puts what it painted on the screen.
    return waitUntil(nothingLeft, timeoutMs) && inputTaken(window, timeoutMs);
}

bool keysTaken(DWORD timeoutMs) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(0, &info))
        return false;
    return inputTaken(info.hwndFocus ? info.hwndFocus : info.hwndActive, timeoutMs);
}

bool pointAt(POINT screenPoint, HWND taker) {
    return waitUntil(
        [&] {
            moveMouse(screenPoint);
            inputTaken(taker ? taker : WindowFromPoint(screenPoint));
            POINT now{};
            return GetCursorPos(&now) && now.x == screenPoint.x && now.y == screenPoint.y;
        },
        3000);
}

void nudgeMouse(POINT screenPoint) {
    moveMouse(screenPoint);
    HWND target = WindowFromPoint(screenPoint);
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (GetGUIThreadInfo(GetWindowThreadProcessId(target, nullptr), &info) && info.hwndCapture)
        target = info.hwndCapture;
    POINT inside = screenPoint;
    ScreenToClient(target, &inside);
    const WPARAM keys = (GetAsyncKeyState(VK_LBUTTON) & 0x8000) ? MK_LBUTTON : 0;
    PostMessageA(target, WM_MOUSEMOVE, keys, MAKELPARAM(inside.x, inside.y));
}

void click(POINT screenPoint, Button button) {
    pointAt(screenPoint);
    buttonDown(button);
    inputTaken(screenPoint);
    buttonUp(button);
}

void pressLeft(POINT screenPoint) {
    pointAt(screenPoint);
    sendMouse(MOUSEEVENTF_LEFTDOWN);
}

void releaseLeft() { sendMouse(MOUSEEVENTF_LEFTUP); }

void pressChord(WORD modifier, WORD key) {
    INPUT inputs[4]{};
    for (INPUT& input : inputs)
        input.type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = modifier;
    inputs[1].ki.wVk = key;
    inputs[2].ki.wVk = key;
    inputs[2].ki.dwFlags = KEYEVENTF_KEYUP;
    inputs[3].ki.wVk = modifier;
    inputs[3].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(4, inputs, sizeof(INPUT));
}

void typeText(const std::string& text) {
    for (const char c : text) {
        INPUT inputs[2]{};
        inputs[0].type = INPUT_KEYBOARD;
        inputs[0].ki.wScan = static_cast<WORD>(static_cast<unsigned char>(c));
        inputs[0].ki.dwFlags = KEYEVENTF_UNICODE;
        inputs[1] = inputs[0];
        inputs[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        SendInput(2, inputs, sizeof(INPUT));
        keysTaken();
    }
}

void pressKey(WORD virtualKey) {
    INPUT inputs[2]{};
    inputs[0].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = virtualKey;
    inputs[1] = inputs[0];
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
}

void clickMenuItem(HWND menu, int index, int itemCount) {
    // Another process cannot read the items, but plain string items share one
    // height: the menu is itemCount equal rows inside a thin frame. The click
    // waits for the menu's loop to run, or a loaded machine may lose it.
    waitUntilResponsive(menu, 3000);
    const RECT rect = windowRect(menu);
    const int rowHeight = (rect.bottom - rect.top) / itemCount;
    click({(rect.left + rect.right) / 2, rect.top + rowHeight * index + rowHeight / 2});
}

// --- the screen -------------------------------------------------------------------------------------

COLORREF Screenshot::pixel(int x, int y) const {
    x -= origin.x;
    y -= origin.y;
    if (x < 0 || y < 0 || x >= width || y >= height)
        return CLR_INVALID;
    const std::uint8_t* p =
        &bgra[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4];
    return RGB(p[2], p[1], p[0]);
}

bool Screenshot::savePng(const std::string& path) const {
    std::vector<std::uint8_t> rgba(bgra.size());
    for (std::size_t i = 0; i + 3 < bgra.size(); i += 4) {
        rgba[i] = bgra[i + 2];
        rgba[i + 1] = bgra[i + 1];
        rgba[i + 2] = bgra[i];
        rgba[i + 3] = 255;
    }
    return lodepng::encode(path, rgba, static_cast<unsigned>(width), static_cast<unsigned>(height)) == 0;
}

std::vector<RECT> monitors() {
    std::vector<RECT> all;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR, HDC, LPRECT rect, LPARAM found) {
            reinterpret_cast<std::vector<RECT>*>(found)->push_back(*rect);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

bool setDisplayMode(DWORD width, DWORD height) {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = width;
    mode.dmPelsHeight = height;
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    return ChangeDisplaySettingsExA(nullptr, &mode, nullptr, 0, nullptr) == DISP_CHANGE_SUCCESSFUL;
}

Screenshot grabScreen() {
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    Screenshot whole = grabScreen(
        RECT{left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN), top + GetSystemMetrics(SM_CYVIRTUALSCREEN)});
    whole.origin = {left, top};
    return whole;
}

Screenshot settledScreen(DWORD timeoutMs) {
    Screenshot last = grabScreen();
    waitUntil(
        [&] {
            Screenshot next = grabScreen();
            const bool same = next.sameColours(last);
            last = std::move(next);
            return same;
        },
        timeoutMs);
    return last;
}

Screenshot grabScreen(const RECT& area) {
    Screenshot shot;
    const int left = area.left;
    const int top = area.top;
    shot.width = area.right - area.left;
    shot.height = area.bottom - area.top;
    if (shot.width <= 0 || shot.height <= 0)
        return {};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = shot.width;
    info.bmiHeader.biHeight = -shot.height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory && bitmap) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, shot.width, shot.height, screen, left, top, SRCCOPY);
        GdiFlush();
        const auto* bytes = static_cast<const std::uint8_t*>(bits);
        shot.bgra.assign(bytes,
                         bytes + static_cast<std::size_t>(shot.width) * static_cast<std::size_t>(shot.height) * 4);
        SelectObject(memory, previous);
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (memory)
        DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (shot.bgra.empty())
        return {};
    return shot;
}

} // namespace driver

namespace driver {

// --- waiting, fast -------------------------------------------------------------------------------------

double nowMs() {
    static const double frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / frequency;
}

std::optional<double> msUntil(const std::function<bool()>& condition, double startMs, DWORD timeoutMs) {
    for (;;) {
        if (condition())
            return nowMs() - startMs;
        if (nowMs() - startMs > timeoutMs)
            return std::nullopt;
        Sleep(0);
    }
}

// --- input --------------------------------------------------------------------------------------------------

namespace {

void sendKey(WORD virtualKey, DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = flags;
    SendInput(1, &input, sizeof(input));
}

} // namespace

void keyDown(WORD virtualKey) { sendKey(virtualKey, 0); }
void keyUp(WORD virtualKey) { sendKey(virtualKey, KEYEVENTF_KEYUP); }

void pressChord(const std::vector<WORD>& keys) {
    for (WORD key : keys) {
        keyDown(key);
        keysTaken();
    }
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        keyUp(*key);
        keysTaken();
    }
}

void buttonDown(Button button) {
    sendMouse(button == Button::left    ? MOUSEEVENTF_LEFTDOWN
              : button == Button::right ? MOUSEEVENTF_RIGHTDOWN
                                        : MOUSEEVENTF_MIDDLEDOWN);
}
void buttonUp(Button button) {
    sendMouse(button == Button::left    ? MOUSEEVENTF_LEFTUP
              : button == Button::right ? MOUSEEVENTF_RIGHTUP
                                        : MOUSEEVENTF_MIDDLEUP);
}

void turnWheel(int notches) { sendMouse(MOUSEEVENTF_WHEEL, static_cast<DWORD>(notches * WHEEL_DELTA)); }

void drag(POINT from, POINT to, int steps) {
    pointAt(from);
    buttonDown();
    inputTaken(from);
    for (int i = 1; i <= steps; ++i) {
        const POINT at{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps};
        moveMouse(at);
        inputTaken(at);
    }
    moveMouse(to);
    inputTaken(to);
    buttonUp();
}

} // namespace driver
