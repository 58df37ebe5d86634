// The user-level driver; see driver.h.
#include "driver.h"

#include <wincodec.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include <commctrl.h>
#include <lodepng.h>

namespace driver {

namespace fs = std::filesystem;

namespace {

std::string folderOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

void sendMouse(DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
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

void click(POINT screenPoint, Button button) {
    moveMouse(screenPoint);
    Sleep(30);
    sendMouse(button == Button::left ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN);
    Sleep(30);
    sendMouse(button == Button::left ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP);
}

void pressLeft(POINT screenPoint) {
    moveMouse(screenPoint);
    Sleep(30);
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
        Sleep(5);
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

Screenshot grabScreen() {
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return grabScreen(
        RECT{left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN), top + GetSystemMetrics(SM_CYVIRTUALSCREEN)});
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

// --- the system's folder dialog -----------------------------------------------------------------

namespace {

// Memory inside another process, for the tree-view messages that carry a pointer.
class RemoteBuffer {
public:
    RemoteBuffer(DWORD process, std::size_t size)
        : process_(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process)) {
        if (process_)
            address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (address_)
            VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_)
            CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    char* address() const { return static_cast<char*>(address_); }
    bool write(std::size_t offset, const void* data, std::size_t size) const {
        return WriteProcessMemory(process_, address() + offset, data, size, nullptr) != 0;
    }
    bool read(std::size_t offset, void* data, std::size_t size) const {
        return ReadProcessMemory(process_, address() + offset, data, size, nullptr) != 0;
    }

private:
    HANDLE process_;
    void* address_ = nullptr;
};

HWND findDescendant(HWND parent, const char* windowClass) {
    struct Search {
        const char* windowClass;
        HWND found;
    } search{windowClass, nullptr};
    EnumChildWindows(
        parent,
        [](HWND window, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            if (className(window) != s.windowClass)
                return TRUE;
            s.found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string treeItemText(HWND tree, HTREEITEM item) {
    constexpr std::size_t textSize = 260;
    RemoteBuffer remote(windowProcess(tree), sizeof(TVITEMA) + textSize);
    if (!remote.address())
        return {};
    TVITEMA request{};
    request.mask = TVIF_TEXT;
    request.hItem = item;
    request.pszText = remote.address() + sizeof(TVITEMA);
    request.cchTextMax = static_cast<int>(textSize);
    const char empty = '\0';
    if (!remote.write(0, &request, sizeof(request)) || !remote.write(sizeof(TVITEMA), &empty, 1))
        return {};
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.address()));
    char text[textSize] = {};
    remote.read(sizeof(TVITEMA), text, textSize - 1);
    return text;
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool startsWithIgnoringCase(const std::string& text, const std::string& start) {
    if (text.size() < start.size())
        return false;
    for (std::size_t i = 0; i < start.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(start[i])))
            return false;
    return true;
}

HTREEITEM treeItem(HWND tree, UINT relation, HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

} // namespace

bool selectFolderInDialog(HWND dialog, const std::vector<std::string>& labels) {
    const HWND tree = findDescendant(dialog, WC_TREEVIEWA);
    if (!tree)
        return false;
    HTREEITEM parent = nullptr;
    for (const std::string& label : labels) {
        if (parent)
            SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
        HTREEITEM found = nullptr;
        for (HTREEITEM item = parent ? treeItem(tree, TVGN_CHILD, parent) : treeItem(tree, TVGN_ROOT, nullptr);
             item && !found; item = treeItem(tree, TVGN_NEXT, item))
            if (startsWithIgnoringCase(trimmed(treeItemText(tree, item)), label))
                found = item;
        if (!found)
            return false;
        parent = found;
    }
    return SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(parent)) != 0;
}

void clickDialogButton(HWND dialog, int id) {
    const HWND button = GetDlgItem(dialog, id);
    if (button)
        click(centreOf(windowRect(button)));
}

} // namespace driver

namespace driver {

bool waitForStartUp(Process& process, const std::vector<HWND>& iconsBefore, RunningOrvane& out, DWORD timeoutMs) {
    out.trayWindow = waitForWindow(process.id(), trayWindowClass, timeoutMs);
    if (!out.trayWindow)
        return false;
    const bool iconShown = waitUntil(
        [&] {
            for (HWND icon : trayIcons())
                if (std::find(iconsBefore.begin(), iconsBefore.end(), icon) == iconsBefore.end()) {
                    out.icon = icon;
                    return true;
                }
            return false;
        },
        timeoutMs);
    // The keyboard hook comes after the icon: start-up is over once the
    // program waits for messages in its loop.
    return iconShown && process.waitUntilIdle(timeoutMs);
}

HWND openTrayMenu(const RunningOrvane& orvane, Button button) {
    if (!orvane.icon)
        return nullptr;
    click(centreOf(windowRect(orvane.icon)), button);
    return waitForPopupMenu(orvane.process.id(), 3000);
}

bool chooseTrayItem(const RunningOrvane& orvane, TrayItem item) {
    const HWND menu = openTrayMenu(orvane);
    if (!menu)
        return false;
    clickMenuItem(menu, item, trayItemCount);
    return waitUntil([&] { return !popupMenuOpen(orvane.process.id()); }, 3000);
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
        Sleep(20);
    }
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        keyUp(*key);
        Sleep(20);
    }
}

void buttonDown(Button button) { sendMouse(button == Button::left ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN); }
void buttonUp(Button button) { sendMouse(button == Button::left ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP); }

void drag(POINT from, POINT to, int steps) {
    moveMouse(from);
    Sleep(40);
    buttonDown();
    Sleep(40);
    for (int i = 1; i <= steps; ++i) {
        moveMouse({from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps});
        Sleep(15);
    }
    Sleep(40);
    moveMouse(to);
    Sleep(80);
    buttonUp();
}

// --- pictures -----------------------------------------------------------------------------------------------

Screenshot Screenshot::crop(const RECT& rect) const {
    Screenshot part;
    const LONG left = std::max<LONG>(rect.left, 0), top = std::max<LONG>(rect.top, 0);
    const LONG right = std::min<LONG>(rect.right, width), bottom = std::min<LONG>(rect.bottom, height);
    if (right <= left || bottom <= top)
        return part;
    part.width = right - left;
    part.height = bottom - top;
    part.bgra.resize(static_cast<std::size_t>(part.width) * part.height * 4);
    for (int y = 0; y < part.height; ++y)
        std::copy_n(&bgra[(static_cast<std::size_t>(top + y) * width + left) * 4],
                    static_cast<std::size_t>(part.width) * 4, &part.bgra[static_cast<std::size_t>(y) * part.width * 4]);
    return part;
}

bool Screenshot::sameColours(const Screenshot& other) const {
    if (width != other.width || height != other.height || bgra.size() != other.bgra.size())
        return false;
    for (std::size_t i = 0; i + 3 < bgra.size(); i += 4)
        if (bgra[i] != other.bgra[i] || bgra[i + 1] != other.bgra[i + 1] || bgra[i + 2] != other.bgra[i + 2])
            return false;
    return true;
}

COLORREF screenPixel(POINT at) {
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, at.x, at.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

Screenshot testPicture(int width, int height, int variant) {
    Screenshot picture;
    picture.width = width;
    picture.height = height;
    picture.bgra.resize(static_cast<std::size_t>(width) * height * 4);
    const auto shade = [&](int value) { return static_cast<std::uint8_t>((value + variant * 97) & 0xFF); };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &picture.bgra[(static_cast<std::size_t>(y) * width + x) * 4];
            // Blue ground with a little texture, so neighbouring pixels differ.
            std::uint8_t blue = shade(200 + (x * 7 + y * 3) % 40), green = shade(40 + (x + y) % 16), red = shade(30);
            const int u = x * 10 / width, v = y * 10 / height;
            const bool stem = u >= 2 && u <= 3 && v >= 1 && v <= 8;
            const bool top = v == 1 && u >= 2 && u <= 7;
            const bool middle = v == 4 && u >= 2 && u <= 5;
            if (stem || top || middle)
                blue = shade(20), green = shade(10), red = shade(230);
            if (v == 9)
                blue = shade(0), green = shade(220), red = shade(0);
            if (u >= 8 && v <= 2)
                blue = shade(x * 255 / width), green = shade(y * 255 / height), red = shade(128);
            p[0] = blue;
            p[1] = green;
            p[2] = red;
            p[3] = 255;
        }
    return picture;
}

// --- image files -----------------------------------------------------------------------------------------------

namespace {

std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <typename T> T readAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    T value{};
    if (offset + sizeof(T) <= bytes.size())
        std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

Screenshot decodeBmp(const std::vector<std::uint8_t>& file) {
    Screenshot picture;
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M')
        return picture;
    const auto dataOffset = readAt<std::uint32_t>(file, 10);
    const auto width = readAt<std::int32_t>(file, 18);
    const auto height = readAt<std::int32_t>(file, 22);
    const auto bits = readAt<std::uint16_t>(file, 28);
    if (width <= 0 || height == 0 || (bits != 24 && bits != 32))
        return picture;
    const int rows = std::abs(height);
    const std::size_t stride = (static_cast<std::size_t>(width) * bits / 8 + 3) / 4 * 4;
    if (dataOffset + stride * rows > file.size())
        return picture;
    picture.width = width;
    picture.height = rows;
    picture.bgra.resize(static_cast<std::size_t>(width) * rows * 4);
    for (int y = 0; y < rows; ++y) {
        const int fileRow = height > 0 ? rows - 1 - y : y;
        const std::uint8_t* source = &file[dataOffset + stride * fileRow];
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &picture.bgra[(static_cast<std::size_t>(y) * width + x) * 4];
            std::copy_n(source + static_cast<std::size_t>(x) * bits / 8, 3, p);
            p[3] = 255;
        }
    }
    return picture;
}

Screenshot decodePng(const std::vector<std::uint8_t>& file) {
    Screenshot picture;
    std::vector<unsigned char> rgba;
    unsigned width = 0, height = 0;
    if (lodepng::decode(rgba, width, height, file) != 0)
        return picture;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.bgra.resize(rgba.size());
    for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) {
        picture.bgra[i] = rgba[i + 2];
        picture.bgra[i + 1] = rgba[i + 1];
        picture.bgra[i + 2] = rgba[i];
        picture.bgra[i + 3] = rgba[i + 3];
    }
    return picture;
}

template <typename T> void releaseCom(T*& pointer) {
    if (pointer)
        pointer->Release();
    pointer = nullptr;
}

Screenshot decodeWithImaging(const std::string& path) {
    Screenshot picture;
    const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IWICImagingFactory* factory = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;
    const std::wstring widePath(path.begin(), path.end());
    UINT width = 0, height = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWICImagingFactory),
                                   reinterpret_cast<void**>(&factory))) &&
        SUCCEEDED(factory->CreateDecoderFromFilename(widePath.c_str(), nullptr, GENERIC_READ,
                                                     WICDecodeMetadataCacheOnDemand, &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
        SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                        WICBitmapPaletteTypeCustom)) &&
        SUCCEEDED(converter->GetSize(&width, &height))) {
        std::vector<std::uint8_t> bgra(static_cast<std::size_t>(width) * height * 4);
        if (SUCCEEDED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(bgra.size()), bgra.data()))) {
            picture.width = static_cast<int>(width);
            picture.height = static_cast<int>(height);
            picture.bgra = std::move(bgra);
        }
    }
    releaseCom(converter);
    releaseCom(frame);
    releaseCom(decoder);
    releaseCom(factory);
    if (SUCCEEDED(initialised))
        CoUninitialize();
    return picture;
}

} // namespace

Screenshot decodeImageFile(const std::string& path) {
    const std::vector<std::uint8_t> file = readBytes(path);
    if (file.size() >= 2 && file[0] == 'B' && file[1] == 'M')
        return decodeBmp(file);
    if (file.size() >= 8 && file[0] == 0x89 && file[1] == 'P')
        return decodePng(file);
    if (file.size() >= 3 && file[0] == 0xFF && file[1] == 0xD8)
        return decodeWithImaging(path);
    return {};
}

Screenshot dimmed(const Screenshot& picture, int percent) {
    Screenshot darker = picture;
    for (std::size_t i = 0; i < darker.bgra.size(); ++i)
        if (i % 4 != 3)
            darker.bgra[i] = static_cast<std::uint8_t>(darker.bgra[i] * percent / 100);
    return darker;
}

// --- the pattern window ------------------------------------------------------------------------------------------

namespace {

constexpr UINT showPictureMessage = WM_APP + 7;
constexpr const char* patternClass = "OrvaneDriverPattern";

} // namespace

PatternWindow::PatternWindow(POINT topLeft, const Screenshot& picture) : picture_(picture) {
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this, topLeft, ready] { run(topLeft, ready); });
    WaitForSingleObject(ready, 10000);
    CloseHandle(ready);
}

PatternWindow::~PatternWindow() {
    if (threadId_)
        PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    if (thread_.joinable())
        thread_.join();
}

RECT PatternWindow::rect() const { return windowRect(window_); }

void PatternWindow::show(const Screenshot& picture) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        picture_ = picture;
    }
    SendMessageA(window_, showPictureMessage, 0, 0);
}

void PatternWindow::moveTo(POINT topLeft) {
    SetWindowPos(window_, nullptr, topLeft.x, topLeft.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK PatternWindow::windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<PatternWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(hwnd, &paint);
        if (self) {
            std::lock_guard<std::mutex> hold(self->lock_);
            const Screenshot& p = self->picture_;
            BITMAPINFO info{};
            info.bmiHeader.biSize = sizeof(info.bmiHeader);
            info.bmiHeader.biWidth = p.width;
            info.bmiHeader.biHeight = -p.height;
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 32;
            info.bmiHeader.biCompression = BI_RGB;
            SetDIBitsToDevice(dc, 0, 0, p.width, p.height, 0, 0, 0, p.height, p.bgra.data(), &info, DIB_RGB_COLORS);
        }
        EndPaint(hwnd, &paint);
        return 0;
    }
    case showPictureMessage:
        InvalidateRect(hwnd, nullptr, FALSE);
        UpdateWindow(hwnd);
        GdiFlush();
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void PatternWindow::run(POINT topLeft, HANDLE ready) {
    static const ATOM registered = [] {
        WNDCLASSEXA record{};
        record.cbSize = sizeof(record);
        record.lpfnWndProc = windowProc;
        record.hInstance = GetModuleHandleA(nullptr);
        record.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        record.lpszClassName = patternClass;
        return RegisterClassExA(&record);
    }();
    (void)registered;
    threadId_ = GetCurrentThreadId();
    int width = 0, height = 0;
    {
        std::lock_guard<std::mutex> hold(lock_);
        width = picture_.width;
        height = picture_.height;
    }
    window_ = CreateWindowExA(WS_EX_TOOLWINDOW, patternClass, "pattern", WS_POPUP, topLeft.x, topLeft.y, width, height,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    UpdateWindow(window_);
    SetEvent(ready);
    MSG msg{};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    DestroyWindow(window_);
}

// --- the key watcher ----------------------------------------------------------------------------------------------

namespace {

KeyWatcher* activeWatcher = nullptr;

} // namespace

KeyWatcher::KeyWatcher() {
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    activeWatcher = this;
    thread_ = std::thread([this, ready] {
        threadId_ = GetCurrentThreadId();
        HHOOK hook = SetWindowsHookExA(WH_KEYBOARD_LL, hookProc, GetModuleHandleA(nullptr), 0);
        SetEvent(ready);
        MSG msg{};
        while (GetMessageA(&msg, nullptr, 0, 0) > 0)
            DispatchMessageA(&msg);
        if (hook)
            UnhookWindowsHookEx(hook);
    });
    WaitForSingleObject(ready, 10000);
    CloseHandle(ready);
}

KeyWatcher::~KeyWatcher() {
    if (threadId_)
        PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    if (thread_.joinable())
        thread_.join();
    activeWatcher = nullptr;
}

LRESULT CALLBACK KeyWatcher::hookProc(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION && activeWatcher) {
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lp);
        std::lock_guard<std::mutex> hold(activeWatcher->lock_);
        activeWatcher->keys_.push_back({wp, key->vkCode});
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

std::vector<KeyWatcher::Key> KeyWatcher::keys() const {
    std::lock_guard<std::mutex> hold(lock_);
    return keys_;
}

bool KeyWatcher::saw(WPARAM message, DWORD virtualKey) const {
    std::lock_guard<std::mutex> hold(lock_);
    for (const Key& key : keys_)
        if (key.message == message && key.virtualKey == virtualKey)
            return true;
    return false;
}

void KeyWatcher::clear() {
    std::lock_guard<std::mutex> hold(lock_);
    keys_.clear();
}

// --- Orvane's windows and files ----------------------------------------------------------------------------------

HWND selectionWindowOf(DWORD process) {
    const std::vector<HWND> found = visibleWindows(process, selectionClass);
    return found.empty() ? nullptr : found.front();
}

bool pressInOverlay(DWORD process, POINT at) {
    moveMouse(at);
    Sleep(30);
    buttonDown();
    return waitUntil([&] { return selectionWindowOf(process) != nullptr; }, 5000);
}

bool dragSelection(DWORD process, POINT from, POINT to, int steps) {
    if (!pressInOverlay(process, from))
        return false;
    for (int i = 1; i <= steps; ++i) {
        moveMouse({from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps});
        Sleep(15);
    }
    const RECT want{std::min(from.x, to.x), std::min(from.y, to.y), std::max(from.x, to.x), std::max(from.y, to.y)};
    const bool spanned = waitUntil(
        [&] {
            moveMouse(to);
            const RECT at = windowRect(selectionWindowOf(process));
            return at.left == want.left && at.top == want.top && at.right == want.right && at.bottom == want.bottom;
        },
        5000);
    buttonUp();
    return spanned;
}

HWND waitForNewScreenshot(DWORD process, const std::vector<HWND>& before, DWORD timeoutMs) {
    HWND made = nullptr;
    waitUntil(
        [&] {
            for (HWND window : visibleWindows(process, screenshotClass))
                if (std::find(before.begin(), before.end(), window) == before.end())
                    made = window;
            return made != nullptr;
        },
        timeoutMs);
    return made;
}

bool chooseScreenshotItem(DWORD process, HWND shot, int item) {
    click(centreOf(windowRect(shot)), Button::right);
    const HWND menu = waitForPopupMenu(process, 3000);
    if (!menu)
        return false;
    clickMenuItem(menu, item, shotMenuItems);
    return waitUntil([&] { return !popupMenuOpen(process); }, 3000);
}

std::vector<HWND> visibleWindows(DWORD process, const std::string& windowClass) {
    std::vector<HWND> found;
    for (HWND window : topLevelWindows(process))
        if (IsWindowVisible(window) && className(window) == windowClass)
            found.push_back(window);
    return found;
}

void writePreferences(int selectionColor, int defaultFormat) {
    writeFile(settingsFolder() + "prefs.txt", "1:" + std::to_string(selectionColor) + ":" +
                                                  std::to_string(defaultFormat) +
                                                  ":C:/Users/($User)/Desktop/\r\nresizeScreenshotWindows=0\r\n");
}

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
