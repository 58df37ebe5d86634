// The user-level driver: the pattern window and the key watcher; see driver.h.
#include "driver.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace driver {

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

} // namespace driver
