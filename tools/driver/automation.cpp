// Windows automation for the driver; see automation.h.
#include "automation.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <system_error>
#include <utility>

namespace driver {

namespace fs = std::filesystem;

namespace {

void sendMouse(DWORD flags, DWORD wheelData = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    input.mi.mouseData = wheelData;
    SendInput(1, &input, sizeof(input));
}

// Keys (virtual key or character, flags) in one SendInput call, so that nothing comes between them.
void sendKeys(std::initializer_list<std::pair<WORD, DWORD>> keys) {
    std::vector<INPUT> inputs;
    for (const auto& [key, flags] : keys) {
        INPUT& input = inputs.emplace_back();
        input.type = INPUT_KEYBOARD;
        (flags & KEYEVENTF_UNICODE ? input.ki.wScan : input.ki.wVk) = key;
        input.ki.dwFlags = flags;
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

DWORD windowProcess(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

// The thread that has the keyboard focus has taken the keys sent before.
bool keysTaken() {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    return GetGUIThreadInfo(0, &info) && inputTaken(info.hwndFocus ? info.hwndFocus : info.hwndActive);
}

} // namespace

std::string driverFolder() {
    char path[MAX_PATH * 4] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path));
    return fs::path(path).parent_path().string() + "\\";
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

bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    return msUntil(condition, nowMs(), timeoutMs, 20).has_value();
}

double nowMs() {
    LARGE_INTEGER now{}, frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::optional<double> msUntil(const std::function<bool()>& condition, double startMs, DWORD timeoutMs, DWORD pollMs) {
    for (;;) {
        if (condition())
            return nowMs() - startMs;
        if (nowMs() - startMs > timeoutMs)
            return std::nullopt;
        Sleep(pollMs);
    }
}

HWND waitFor(const std::function<HWND()>& find, DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil([&] { return (found = find()) != nullptr; }, timeoutMs);
    return found;
}

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

std::vector<HWND> topLevelWindows(DWORD process) {
    std::pair<DWORD, std::vector<HWND>> search{process, {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& [wanted, found] = *reinterpret_cast<decltype(search)*>(data);
            if (wanted == 0 || windowProcess(window) == wanted)
                found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
}

bool waitUntilResponsive(HWND window, DWORD timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

HWND waitForWindow(DWORD process, const std::string& windowClass, DWORD timeoutMs) {
    return waitFor(
        [&]() -> HWND {
            for (HWND window : topLevelWindows(process))
                if (className(window) == windowClass)
                    return window;
            return nullptr;
        },
        timeoutMs);
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

std::optional<POINT> closeButtonOf(HWND window) {
    const RECT rect = windowRect(window);
    for (int y = rect.top; y < rect.top + 40 && y < rect.bottom; y += 2)
        for (int x = rect.right - 1; x > rect.right - 80 && x > rect.left; x -= 2)
            if (SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE)
                return POINT{x - 3, y + 3};
    return std::nullopt;
}

std::vector<HWND> visibleWindows(DWORD process, const std::string& windowClass) {
    std::vector<HWND> found;
    for (HWND window : topLevelWindows(process))
        if (IsWindowVisible(window) && className(window) == windowClass)
            found.push_back(window);
    return found;
}

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
    std::vector<HWND> windows = descendants(window);
    windows.push_back(window);
    const auto nothingLeft = [&] {
        return std::none_of(windows.begin(), windows.end(), [](HWND each) { return GetUpdateRect(each, nullptr, 0); });
    };
    // WM_PAINT comes one window at a time; then twice more through the loop: the paint under
    // way ends, and the thread waits, which is when Wine puts what it painted on the screen.
    return waitUntil(nothingLeft, timeoutMs) && inputTaken(window, timeoutMs);
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
    buttonDown();
}

void releaseLeft() { buttonUp(); }

void pressChord(WORD modifier, WORD key) {
    sendKeys({{modifier, 0}, {key, 0}, {key, KEYEVENTF_KEYUP}, {modifier, KEYEVENTF_KEYUP}});
}

void pressKey(WORD virtualKey) { sendKeys({{virtualKey, 0}, {virtualKey, KEYEVENTF_KEYUP}}); }
void keyDown(WORD virtualKey) { sendKeys({{virtualKey, 0}}); }
void keyUp(WORD virtualKey) { sendKeys({{virtualKey, KEYEVENTF_KEYUP}}); }

void pressChord(const std::vector<WORD>& keys) {
    for (WORD key : keys)
        keyDown(key), keysTaken();
    for (auto key = keys.rbegin(); key != keys.rend(); ++key)
        keyUp(*key), keysTaken();
}

constexpr DWORD downFlags[] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_MIDDLEDOWN};
void buttonDown(Button button) { sendMouse(downFlags[static_cast<int>(button)]); }
void buttonUp(Button button) { sendMouse(downFlags[static_cast<int>(button)] << 1); } // each UP flag is DOWN's next bit

void turnWheel(int notches) { sendMouse(MOUSEEVENTF_WHEEL, static_cast<DWORD>(notches * WHEEL_DELTA)); }

void drag(POINT from, POINT to, int steps) {
    pointAt(from);
    buttonDown();
    inputTaken(from);
    for (int i = 1; i <= steps + 1; ++i) {
        const int k = std::min(i, steps);
        const POINT at{from.x + (to.x - from.x) * k / steps, from.y + (to.y - from.y) * k / steps};
        moveMouse(at);
        inputTaken(at);
    }
    buttonUp();
}

void handDrag(const std::vector<POINT>& path, DWORD paceMs, const std::vector<WORD>& held,
              const std::function<void()>& finish) {
    moveMouse(path.front());
    Sleep(40);
    for (WORD key : held) {
        keyDown(key);
        // A keyboard hook sees the key first: a press that overtakes it is taken without the key.
        waitUntil([key] { return (GetAsyncKeyState(key) & 0x8000) != 0; }, 2000);
    }
    if (!held.empty())
        Sleep(300);
    buttonDown();
    for (std::size_t i = 1; i < path.size(); ++i) {
        Sleep(paceMs);
        moveMouse(path[i]);
    }
    Sleep(2 * paceMs);
    moveMouse(path.back());
    Sleep(2 * paceMs);
    finish ? finish() : buttonUp();
    for (auto key = held.rbegin(); key != held.rend(); ++key)
        keyUp(*key);
}

bool popupMenuOpen(DWORD process) { return !visibleWindows(process, "#32768").empty(); }

void clickMenuItem(HWND menu, int index, int itemCount) {
    // Another process cannot read the items, but plain string items share one
    // height: the menu is itemCount equal rows inside a thin frame. The click
    // waits for the menu's loop to run, or a loaded machine may lose it.
    waitUntilResponsive(menu, 3000);
    const RECT rect = windowRect(menu);
    const int rowHeight = (rect.bottom - rect.top) / itemCount;
    click({(rect.left + rect.right) / 2, rect.top + rowHeight * index + rowHeight / 2});
}

std::string controlText(HWND control) {
    std::string text(static_cast<std::size_t>(std::max<LRESULT>(SendMessageA(control, WM_GETTEXTLENGTH, 0, 0), 0)) + 1,
                     '\0');
    const LRESULT copied =
        SendMessageA(control, WM_GETTEXT, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(copied, 0)));
    return text;
}

std::string messageText(HWND box) {
    for (HWND child : childWindows(box))
        if (className(child) == "Static")
            if (std::string text = controlText(child); !text.empty())
                return text;
    return {};
}

bool acknowledge(HWND box, int reply) {
    PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(reply), 0);
    return waitUntil([&] { return !IsWindow(box); }, 3000);
}

bool typeInto(HWND edit, const std::string& text) {
    // Clicked until its thread says it has the focus: a click on a window that
    // has only just opened may be taken for its activation.
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    const DWORD thread = GetWindowThreadProcessId(edit, nullptr);
    bool focused = false;
    for (int attempt = 0; attempt < 3 && !focused; ++attempt) {
        click(centreOf(windowRect(edit)));
        focused = waitUntil([&] { return GetGUIThreadInfo(thread, &info) && info.hwndFocus == edit; }, 1000);
    }
    if (!focused)
        return false;
    // Wine's edit box knows no Ctrl+A: select from the start to the end.
    pressKey(VK_HOME);
    pressChord(VK_SHIFT, VK_END);
    pressKey(VK_DELETE);
    for (const char c : text) {
        const auto unit = static_cast<WORD>(static_cast<unsigned char>(c));
        sendKeys({{unit, KEYEVENTF_UNICODE}, {unit, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP}});
        keysTaken();
    }
    return waitUntil([&] { return controlText(edit) == text; }, 3000);
}

namespace {

// An item's text, read through memory inside the tree's process (the message carries a pointer).
std::string treeItemText(HWND tree, HTREEITEM item) {
    constexpr std::size_t textSize = 260;
    char text[textSize] = {};
    const HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, windowProcess(tree));
    char* remote = process ? static_cast<char*>(VirtualAllocEx(process, nullptr, sizeof(TVITEMA) + textSize,
                                                               MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))
                           : nullptr;
    TVITEMA request{};
    request.mask = TVIF_TEXT;
    request.hItem = item;
    request.pszText = remote + sizeof(TVITEMA);
    request.cchTextMax = static_cast<int>(textSize);
    if (remote && WriteProcessMemory(process, remote, &request, sizeof(request), nullptr) &&
        WriteProcessMemory(process, remote + sizeof(TVITEMA), text, 1, nullptr)) {
        SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(process, remote + sizeof(TVITEMA), text, textSize - 1, nullptr);
    }
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    if (process)
        CloseHandle(process);
    return text;
}

HTREEITEM treeItem(HWND tree, UINT relation, HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

} // namespace

bool selectFolderInDialog(HWND dialog, const std::vector<std::string>& labels) {
    const std::vector<HWND> all = descendants(dialog);
    const auto tree = std::find_if(all.begin(), all.end(), [](HWND w) { return className(w) == WC_TREEVIEWA; });
    if (tree == all.end())
        return false;
    HTREEITEM parent = nullptr;
    for (const std::string& label : labels) {
        if (parent)
            SendMessageA(*tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
        HTREEITEM found = nullptr;
        for (HTREEITEM item = treeItem(*tree, parent ? TVGN_CHILD : TVGN_ROOT, parent); item && !found;
             item = treeItem(*tree, TVGN_NEXT, item)) {
            std::string text = treeItemText(*tree, item);
            text.erase(0, text.find_first_not_of(' '));
            if (_strnicmp(text.c_str(), label.c_str(), label.size()) == 0)
                found = item;
        }
        if (!found)
            return false;
        parent = found;
    }
    return SendMessageA(*tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(parent)) != 0;
}

void clickDialogButton(HWND dialog, int id) {
    if (const HWND button = GetDlgItem(dialog, id))
        click(centreOf(windowRect(button)));
}

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
        std::lock_guard<std::mutex> hold(activeWatcher->lock_);
        activeWatcher->keys_.push_back({wp, reinterpret_cast<const KBDLLHOOKSTRUCT*>(lp)->vkCode});
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

std::vector<KeyWatcher::Key> KeyWatcher::keys() const {
    std::lock_guard<std::mutex> hold(lock_);
    return keys_;
}

bool KeyWatcher::saw(WPARAM message, DWORD virtualKey) const {
    const std::vector<Key> all = keys();
    return std::any_of(all.begin(), all.end(),
                       [&](Key k) { return k.message == message && k.virtualKey == virtualKey; });
}

void KeyWatcher::clear() {
    std::lock_guard<std::mutex> hold(lock_);
    keys_.clear();
}

} // namespace driver
