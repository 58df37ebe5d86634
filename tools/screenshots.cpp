// `make screenshots`: the pictures of the README, taken from the real program.
// Over a painted backdrop (a stand-in desktop with a document on it) it starts
// Orvane with a fresh profile and uses it as a person would: the tray menu, a
// selection being dragged, the pinned screenshot moved aside, its menu, and
// the options window, Wine's own tray window kept out. A picture whose
// part of the program is not there yet is skipped with the reason, and the
// pictures that depend on it with it. The selection must show as a tint over
// the desktop, as on Windows (under X that takes a compositing manager).
// Usage: orvane_screenshots OUTPUT_FOLDER (writes <name>.png there).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "pictures.h"
#include "session.h"

using namespace driver;

namespace {

// --- the backdrop -----------------------------------------------------------------

constexpr const char* backdropClass = "OrvaneScreenshotBackdrop";

void fillRect(HDC dc, const RECT& rect, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void drawText(HDC dc, int x, int y, int height, int weight, COLORREF colour, const char* text) {
    HFONT font = CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, "Tahoma");
    HGDIOBJ previous = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    TextOutA(dc, x, y, text, static_cast<int>(std::char_traits<char>::length(text)));
    SelectObject(dc, previous);
    DeleteObject(font);
}

// A blue-green desktop with one document window on it: a title, some text
// lines and a bar chart, so that a selection and a pinned copy have
// something to show.
void paintBackdrop(HDC dc, const RECT& client) {
    const int height = client.bottom - client.top;
    for (int y = 0; y < height; y += 4) {
        const int shade = 40 + 50 * y / (height > 0 ? height : 1);
        fillRect(dc, {client.left, y, client.right, y + 4}, RGB(20, shade, 60 + shade));
    }
    const RECT page{220, 90, 220 + 560, 90 + 430};
    fillRect(dc, {page.left + 6, page.top + 6, page.right + 6, page.bottom + 6}, RGB(10, 30, 50));
    fillRect(dc, page, RGB(250, 250, 247));
    fillRect(dc, {page.left, page.top, page.right, page.top + 28}, RGB(52, 73, 94));
    drawText(dc, page.left + 10, page.top + 6, 16, FW_BOLD, RGB(255, 255, 255), "Harbour report - March");
    drawText(dc, page.left + 24, page.top + 44, 24, FW_BOLD, RGB(30, 30, 30), "Ships in port, by week");
    const char* lines[] = {"Arrivals rose in the second half of the month,", "with the new quay open from week 3 on.",
                           "Figures: harbour office, daily counts."};
    for (int i = 0; i < 3; ++i)
        drawText(dc, page.left + 24, page.top + 80 + 20 * i, 15, FW_NORMAL, RGB(70, 70, 70), lines[i]);
    const int values[] = {38, 52, 47, 71, 88, 64, 93};
    const COLORREF colours[] = {RGB(231, 76, 60),  RGB(230, 126, 34), RGB(241, 196, 15), RGB(46, 204, 113),
                                RGB(26, 188, 156), RGB(52, 152, 219), RGB(155, 89, 182)};
    const int baseLine = page.top + 400;
    fillRect(dc, {page.left + 24, baseLine, page.right - 24, baseLine + 2}, RGB(120, 120, 120));
    for (int i = 0; i < 7; ++i) {
        const int left = page.left + 44 + 70 * i;
        fillRect(dc, {left, baseLine - 2 * values[i], left + 44, baseLine}, colours[i]);
        char label[8];
        std::snprintf(label, sizeof(label), "W%d", i + 1);
        drawText(dc, left + 12, baseLine + 6, 14, FW_NORMAL, RGB(70, 70, 70), label);
    }
}

LRESULT CALLBACK backdropWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        RECT client;
        GetClientRect(hwnd, &client);
        paintBackdrop(dc, client);
        EndPaint(hwnd, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_WINDOWPOSCHANGING: {
        // Stays under every other window, as a desktop does.
        auto* position = reinterpret_cast<WINDOWPOS*>(lp);
        position->hwndInsertAfter = HWND_BOTTOM;
        position->flags &= ~static_cast<UINT>(SWP_NOZORDER);
        return 0;
    }
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// The backdrop runs on a thread of its own, so that it paints while the main
// thread waits for Orvane.
class Backdrop {
public:
    Backdrop() {
        thread_ = std::thread([this] { run(); });
        waitUntil([this] { return window_ != nullptr; }, 5000);
    }
    ~Backdrop() {
        if (window_)
            PostMessageA(window_, WM_CLOSE, 0, 0);
        if (threadId_)
            PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    bool shown() const { return window_ != nullptr; }

private:
    void run() {
        threadId_ = GetCurrentThreadId();
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = backdropWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.lpszClassName = backdropClass;
        RegisterClassExA(&windowClass);
        HWND window = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, backdropClass, "", WS_POPUP,
                                      GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                                      GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN),
                                      nullptr, nullptr, windowClass.hInstance, nullptr);
        if (!window)
            return;
        ShowWindow(window, SW_SHOWNOACTIVATE);
        UpdateWindow(window);
        window_ = window;
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        DestroyWindow(window);
    }

    std::thread thread_;
    HWND volatile window_ = nullptr;
    DWORD volatile threadId_ = 0;
};

// --- pictures ----------------------------------------------------------------------

struct Outcome {
    int made = 0;
    int skipped = 0;
};

RECT around(RECT a, const RECT& b, int margin) {
    a.left = std::min(a.left, b.left) - margin;
    a.top = std::min(a.top, b.top) - margin;
    a.right = std::max(a.right, b.right) + margin;
    a.bottom = std::max(a.bottom, b.bottom) + margin;
    return a;
}

class Pictures {
public:
    explicit Pictures(std::string folder) : folder_(std::move(folder)) {}

    // Grabs the screen (or `area` of it) as `name`.png, once `shown` (when
    // given) has painted and the screen has stopped changing.
    bool take(const std::string& name, HWND shown = nullptr, const RECT* area = nullptr) {
        if (shown)
            painted(shown);
        const Picture whole = settledScreen();
        const Picture picture = area ? whole.crop(*area) : whole;
        const std::string path = folder_ + name + ".png";
        if (picture.bgra.empty() || !picture.savePng(path)) {
            std::printf("FAILED   %s.png: could not grab or write %s\n", name.c_str(), path.c_str());
            return false;
        }
        std::printf("made     %s.png (%dx%d)\n", name.c_str(), picture.width, picture.height);
        ++outcome.made;
        return true;
    }

    void skip(const std::string& name, const std::string& why) {
        std::printf("skipped  %s.png: %s\n", name.c_str(), why.c_str());
        ++outcome.skipped;
    }

    Outcome outcome;

private:
    std::string folder_;
};

// Moves the pointer with the left button held, in steps as a hand does,
// each taken by the window under the pointer.
void dragTo(POINT from, POINT to, bool release) {
    pointAt(from);
    buttonDown();
    inputTaken(from);
    constexpr int steps = 12;
    for (int i = 1; i <= steps; ++i) {
        const POINT at{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps};
        moveMouse(at);
        inputTaken(at);
    }
    // The selection rectangle follows one move behind: the last spot once more.
    nudgeMouse(to);
    inputTaken(to);
    if (release)
        buttonUp();
}

// The selection window is the default colour, dark grey RGB(96, 96, 96), at
// alpha 50 over the frozen desktop. Without a compositing manager X draws it
// opaque; the picture must show the tint. Empty when every sampled pixel of
// `during` inside `rect` (inset past the edges) is that blend of `before`.
std::string notATint(const Picture& before, const Picture& during, RECT rect) {
    constexpr int grey = 96, alpha = 50, tolerance = 3;
    int sampled = 0, wrong = 0;
    std::string example;
    for (int y = rect.top + 6; y < rect.bottom - 6; y += 7)
        for (int x = rect.left + 6; x < rect.right - 6; x += 7) {
            const COLORREF under = before.pixel(x, y), seen = during.pixel(x, y);
            const int desk[3] = {GetRValue(under), GetGValue(under), GetBValue(under)};
            const int got[3] = {GetRValue(seen), GetGValue(seen), GetBValue(seen)};
            bool blended = true;
            for (int c = 0; c < 3; ++c)
                blended = blended && std::abs(got[c] - (desk[c] * (255 - alpha) + grey * alpha) / 255) <= tolerance;
            ++sampled;
            if (!blended && wrong++ == 0)
                example = "at (" + std::to_string(x) + ", " + std::to_string(y) + ") the desktop is RGB(" +
                          std::to_string(desk[0]) + ", " + std::to_string(desk[1]) + ", " + std::to_string(desk[2]) +
                          ") and the selection shows RGB(" + std::to_string(got[0]) + ", " + std::to_string(got[1]) +
                          ", " + std::to_string(got[2]) + ")";
        }
    if (sampled == 0)
        return "the selection is too small to sample";
    if (wrong == 0)
        return {};
    return std::to_string(wrong) + " of " + std::to_string(sampled) + " pixels under the selection are no tint of " +
           "the desktop (" + example + "): is a compositing manager running (ORVANE_COMPOSITOR=1)?";
}

HWND visibleWindow(DWORD process, const char* windowClass, DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil(
        [&] {
            for (HWND window : topLevelWindows(process))
                if (className(window) == windowClass && IsWindowVisible(window)) {
                    found = window;
                    return true;
                }
            return false;
        },
        timeoutMs);
    return found;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvane_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    // 77: ctest's skip code for this test.
    if (const std::string why = trayUnavailableReason(); !why.empty()) {
        std::printf("skipped  every picture: %s\n", why.c_str());
        return 77;
    }
    std::error_code ignored;
    std::filesystem::create_directories(argv[1], ignored);
    Pictures pictures(std::string(argv[1]) + "\\");

    Backdrop backdrop;
    if (!backdrop.shown()) {
        std::printf("FAILED   the backdrop window could not be shown\n");
        return 1;
    }
    resetProfile();
    // The options window shows the Quick Save folder: none under the test bed's own account.
    Prefs shown;
    shown.folder = "D:/Screenshots/";
    writePreferences(shown);
    Session orvane;
    if (!orvane.start()) {
        std::printf("FAILED   start-up: %s\n", orvane.failure().c_str());
        return 1;
    }
    const DWORD id = orvane.id();

    // 1. The tray menu.
    const HWND trayMenu = orvane.openTrayMenu();
    if (!trayMenu) {
        std::printf("FAILED   the tray menu did not open\n");
        return 1;
    }
    // Wine shows the notification area as a window of its own, which Windows
    // has not: every picture leaves it out.
    const HWND wineTray = GetParent(orvane.icon()) ? GetParent(orvane.icon()) : orvane.icon();
    const RECT belowTray{0, windowRect(wineTray).bottom + 1, GetSystemMetrics(SM_CXSCREEN),
                         GetSystemMetrics(SM_CYSCREEN)};
    const RECT menuArea = windowRect(trayMenu);
    if (!pictures.take("tray-menu", trayMenu, &menuArea))
        return 1;

    // 2. A selection being dragged: "Begin Capture" freezes the screen.
    if (!orvane.chooseMenuItem(trayMenu, beginCaptureItem, trayItemCount))
        return 1;
    const POINT selectionStart{240, 150};
    const POINT selectionEnd{760, 510};
    bool pinned = false, tintFailed = false;
    if (const HWND overlay = visibleWindow(id, "Screen Capture", 3000); !overlay) {
        pictures.skip("selection", "no capture overlay (\"Screen Capture\") appeared: capturing is not in this build");
    } else {
        painted(overlay); // the frozen desktop shown, and taking input
        const Picture frozen = settledScreen();
        dragTo(selectionStart, selectionEnd, false);
        if (!visibleWindow(id, "Screen Capture2", 2000)) {
            pictures.skip("selection", "no selection rectangle (\"Screen Capture2\") followed the drag");
        } else {
            // A compositing manager under load may show the tint a moment after the window moves.
            const RECT rect{selectionStart.x, selectionStart.y, selectionEnd.x, selectionEnd.y};
            std::string why;
            waitUntil(
                [&] {
                    why = notATint(frozen, grabScreen(), rect);
                    return why.empty();
                },
                3000);
            pictures.take("selection", nullptr, &belowTray);
            if (!why.empty()) {
                std::printf("FAILED   selection.png: %s\n", why.c_str());
                tintFailed = true;
            }
        }
        buttonUp();
        pinned = visibleWindow(id, "Capped", 3000) != nullptr;
    }

    // 3. The pinned screenshot, moved aside from where it was taken.
    HWND shot = pinned ? visibleWindow(id, "Capped", 0) : nullptr;
    if (!shot) {
        pictures.skip("screenshot", "no screenshot window (\"Capped\") came of the selection");
        pictures.skip("screenshot-menu", "there is no screenshot window to open the menu of");
    } else {
        const POINT grab = centreOf(windowRect(shot));
        dragTo(grab, {grab.x + 150, grab.y + 90}, true);
        pictures.take("screenshot", shot, &belowTray);

        // 4. Its menu.
        if (const HWND shotMenu = orvane.openScreenshotMenu(shot); !shotMenu) {
            pictures.skip("screenshot-menu", "the right button opened no menu on the screenshot");
        } else {
            const RECT area = around(windowRect(shot), windowRect(shotMenu), 30);
            pictures.take("screenshot-menu", shotMenu, &area);
            pressKey(VK_ESCAPE);
            waitUntil([&] { return !popupMenuOpen(id); }, 2000);
        }
        orvane.chooseTrayItem(closeAllItem);
    }

    // 4b. A heading pinned, moved below itself and zoomed to 200 % with the wheel.
    const RECT heading{238, 128, 500, 164};
    HWND zoomed = nullptr;
    if (shot && orvane.chooseTrayItem(beginCaptureItem) && visibleWindow(id, "Screen Capture", 3000)) {
        dragTo({heading.left, heading.top}, {heading.right, heading.bottom}, true);
        zoomed = visibleWindow(id, "Capped", 3000);
    }
    if (!zoomed) {
        pictures.skip("screenshot-zoom", "no screenshot window came of the second selection");
    } else {
        const POINT grab{heading.left + 2, heading.top + 2};
        dragTo(grab, {grab.x, grab.y + 80}, true);
        pointAt({grab.x, grab.y + 80}, zoomed);
        turnWheel(5);
        waitUntil(
            [&] { return windowRect(zoomed).right - windowRect(zoomed).left == 2 * (heading.right - heading.left); },
            3000);
        const RECT area{heading.left - 20, heading.top - 20, heading.left + 560, heading.bottom + 170};
        pictures.take("screenshot-zoom", zoomed, &area);
        orvane.chooseTrayItem(closeAllItem);
    }

    // 5. The options window.
    if (const HWND options = orvane.openOptions(); !options) {
        pictures.skip("options", "no options window (\"Screen Capture Options Menu\"): " + orvane.failure());
    } else {
        // Away from the tray, over the document.
        SetWindowPos(options, nullptr, 300, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        waitUntil([&] { return windowRect(options).left == 300; }, 2000);
        const RECT area = around(windowRect(options), windowRect(options), 24);
        pictures.take("options", options, &area);
        orvane.closeOptions();
    }

    const bool ended = orvane.stop() == 0u;
    std::printf("%d made, %d skipped%s\n", pictures.outcome.made, pictures.outcome.skipped,
                ended ? "" : ("; Orvane did not end through Exit: " + orvane.failure()).c_str());
    return ended && !tintFailed ? 0 : 1;
}
