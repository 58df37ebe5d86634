// createScreenshot: a finished selection becomes a "Capped" window exactly
// over it, showing the frozen desktop's pixels there inside a one-pixel
// frame; the record is registered and the cache file queued for the save
// worker. GUI thread, called by the shell once a selection ended.
#include <cstdio>
#include <ctime>
#include <exception>
#include <memory>
#include <new>

#include "state/app_state.h"
#include "capture/capture_front.h"
#include "output/output.h"
#include "prefs/prefs.h"
#include "selection/selection_rules.h"
#include "shots/cache.h"
#include "shots/shots.h"
#include "shots/slot_table.h"

namespace {

constexpr const char* screenshotTitle = "Captured Image";

DesktopGeometry frozenGeometry() {
    const FrozenDesktop& desktop = app.frozenDesktop;
    return {desktop.originX, desktop.originY, desktop.width, desktop.height};
}

ScreenshotOutcome makeScreenshotWindow(SelectionRect rect) {
    const FrozenDesktop& desktop = app.frozenDesktop;
    copyFrozenForSelection(); // a release may come before the capture made its copy
    // The monitors were learnt at start-up, the desktop at this capture: the
    // cut reads only what the capture holds.
    if (!desktop.valid || !desktop.pixels || !clipToDesktop(rect, frozenGeometry()) || !makesScreenshot(rect))
        return ScreenshotOutcome::nothingToShow;

    const HWND hwnd = CreateWindowExA(WS_EX_TOOLWINDOW, screenshotWindowClass, screenshotTitle, WS_POPUP, rect.x,
                                      rect.y, rect.width, rect.height, nullptr, nullptr, app.instance, nullptr);
    if (!hwnd)
        return ScreenshotOutcome::windowFailed;
    const std::uint32_t slot = nextFreeSlot(app.screenshots, app.screenshotCount);
    // From here messages to the window find its slot still empty: default processing.
    app.screenshotIndex[hwnd] = slot;
    SetWindowLongA(hwnd, GWL_STYLE, static_cast<LONG>(WS_POPUP));

    auto shot = std::make_unique<ScreenshotWindow>();
    const std::size_t bytes =
        std::size_t(static_cast<std::uint32_t>(rect.width)) * static_cast<std::uint32_t>(rect.height) * 4;
    shot->pixels.reset(new std::uint8_t[bytes]); // fully written by the cut
    const EdgeSums sums = cutSelection(desktop.pixels.get(), frozenGeometry(), rect, shot->pixels.get());

    shot->cachePath = newCachePath();
    if (!shot->cachePath.empty())
        queueCacheFile(shot->cachePath, shot->pixels.get(), rect.width, rect.height);
    shot->borderColor = frameColor(sums);

    UpdateWindow(hwnd);
    ShowWindow(hwnd, SW_SHOW);

    shot->width = shot->imageWidth = rect.width;
    shot->height = shot->imageHeight = rect.height;
    shot->x = rect.x;
    shot->y = rect.y;
    shot->hwnd = hwnd;
    ScreenshotWindow& record = *shot;
    app.screenshots[slot] = std::move(shot);
    app.screenshotCount = slot + 1;

    // The same rule as a move: a window across two monitors keeps its size on its first step.
    record.monitor = monitorUnderPointer(app.lastCursorPos);
    UINT dpiX = 96, dpiY = 96;
    monitorDpi(record.monitor, dpiX, dpiY);
    record.dpiX = dpiX;
    record.dpiY = dpiY;
    SetWindowPos(hwnd, HWND_TOPMOST, rect.x, rect.y, rect.width, rect.height, 0);
    return ScreenshotOutcome::made;
}

} // namespace

ScreenshotOutcome createScreenshot(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
    try {
        return makeScreenshotWindow({left, top, width, height});
    } catch (const std::exception&) {
        return ScreenshotOutcome::exceptionThrown;
    }
}
