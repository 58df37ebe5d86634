// The zoom step of a 1920 x 1080 pin, timed in a real "Capped" window on the
// system's own GDI (a Windows program: under Wine on the build machine): the
// wheel message, the one resize and the paint it causes, until the paint is
// done. Its peer in the same run is a repaint of the pin at 100 %, the paint
// every pin had before it could zoom. Prints milliseconds; asserts nothing.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "app/app.h"
#include "state/app_state.h"
#include "shots/shots.h"

namespace {

constexpr int pinWidth = 1920, pinHeight = 1080;
constexpr int rounds = 7;

void drainMessages() {
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Something with detail in every row, as a screenshot of text has.
void fillPicture(std::uint8_t* pixels) {
    for (int y = 0; y < pinHeight; ++y)
        for (int x = 0; x < pinWidth; ++x) {
            std::uint8_t* p = pixels + (std::size_t(y) * pinWidth + x) * 4;
            const bool ink = ((x / 3) ^ (y / 5)) % 7 == 0;
            p[0] = ink ? 20 : static_cast<std::uint8_t>(x);
            p[1] = ink ? 20 : static_cast<std::uint8_t>(y);
            p[2] = ink ? 20 : 230;
            p[3] = 255;
        }
}

HWND makePin() {
    app.instance = GetModuleHandleA(nullptr);
    if (!registerWindowClasses())
        return nullptr;
    app.screenshots.resize(screenshotSlots);
    const HWND hwnd = CreateWindowExA(WS_EX_TOOLWINDOW, screenshotWindowClass, "", WS_POPUP, 0, 0, pinWidth, pinHeight,
                                      nullptr, nullptr, app.instance, nullptr);
    if (!hwnd)
        return nullptr;
    auto shot = std::make_unique<ScreenshotWindow>();
    shot->pixels = std::make_unique<std::uint8_t[]>(std::size_t(pinWidth) * pinHeight * 4);
    fillPicture(shot->pixels.get());
    shot->width = shot->imageWidth = pinWidth;
    shot->height = shot->imageHeight = pinHeight;
    shot->hwnd = hwnd;
    shot->borderColor = RGB(255, 255, 255);
    app.screenshotIndex.emplace(hwnd, 0);
    app.screenshots[0] = std::move(shot);
    app.screenshotCount = 1;
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    UpdateWindow(hwnd);
    return hwnd;
}

std::vector<double> resizeParts, paintParts;

// One notch at the pin's centre, then the paint it asked for; the two parts noted apart.
double zoomStep(HWND hwnd, int notch) {
    const auto start = std::chrono::steady_clock::now();
    SendMessageA(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, notch * WHEEL_DELTA), MAKELPARAM(pinWidth / 2, pinHeight / 2));
    const double resized = msSince(start);
    UpdateWindow(hwnd);
    GdiFlush();
    const double total = msSince(start);
    resizeParts.push_back(resized);
    paintParts.push_back(total - resized);
    return total;
}

double repaint(HWND hwnd) {
    const auto start = std::chrono::steady_clock::now();
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
    GdiFlush();
    return msSince(start);
}

void report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s median %6.2f ms  max %6.2f ms  (%zu steps)\n", what, ms[ms.size() / 2], ms.back(), ms.size());
}

} // namespace

int main() {
    const HWND hwnd = makePin();
    if (!hwnd) {
        std::printf("no pin window\n");
        return 1;
    }
    drainMessages();
    std::map<int, std::vector<double>> byZoom; // the zoom reached by the step
    std::vector<double> steps, peer;
    for (int round = 0; round < rounds; ++round) {
        // 100 -> 800 -> 10 -> 100: every rung, in and out, about the same point.
        for (const auto& [notch, count] : {std::pair{1, 11}, std::pair{-1, 20}, std::pair{1, 9}}) {
            for (int i = 0; i < count; ++i) {
                const double ms = zoomStep(hwnd, notch);
                byZoom[app.screenshots[0]->zoomPercent].push_back(ms);
                steps.push_back(ms);
                drainMessages();
            }
        }
        for (int i = 0; i < 10; ++i)
            peer.push_back(repaint(hwnd));
    }
    std::printf("zoom step of a %d x %d pin (wheel message -> resized and painted), %d rounds\n", pinWidth, pinHeight,
                rounds);
    report("every zoom step", steps);
    report("  of it: wheel and SetWindowPos", resizeParts);
    report("  of it: the paint", paintParts);
    for (const auto& [percent, ms] : byZoom) {
        char label[40];
        std::snprintf(label, sizeof label, "  step to %d %%", percent);
        report(label, ms);
    }
    report("peer: repaint at 100 % (as before)", peer);
    closeAllScreenshots();
    return 0;
}
