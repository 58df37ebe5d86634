// The keys of the active pin (Escape, Ctrl+C, Ctrl+S, the arrows) and every
// close that comes as WM_CLOSE (Alt+F4, the taskbar, another program): each
// goes through the program's own close, so the record, its pixels and its
// cache file go with the window.
#include "state/state.h"
#include "shots/shot_rules.h"
#include "shots/shots.h"

namespace {

void moveBy(ScreenshotWindow& shot, std::int32_t dx, std::int32_t dy) {
    RECT frame{};
    GetWindowRect(shot.hwnd, &frame);
    shot.x = frame.left + dx;
    shot.y = frame.top + dy;
    SetWindowPos(shot.hwnd, nullptr, shot.x, shot.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

LRESULT onShotKeyDown(HWND hwnd, WPARAM wp, LPARAM lp) {
    const auto found = app.screenshotIndex.find(hwnd);
    if (app.captureActive || found == app.screenshotIndex.end() || !app.screenshots[found->second])
        return 0;
    ScreenshotWindow& shot = *app.screenshots[found->second];
    // Bit 30: the key was down before this message. An Escape that cancelled a
    // capture may arrive here once the overlays are gone: it is that capture's.
    const bool repeat = (lp & (LPARAM{1} << 30)) != 0 || (wp == VK_ESCAPE && app.escapeCancelledCapture);
    const ShotKey key =
        shotKeyAction(static_cast<std::uint32_t>(wp), GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_SHIFT) < 0, repeat);
    switch (key.action) {
    case ShotKeyAction::close:
        closeScreenshot(found->second);
        break;
    case ShotKeyAction::copy:
        copyScreenshot(shot);
        break;
    case ShotKeyAction::saveAs:
        saveScreenshotAs(shot);
        break;
    case ShotKeyAction::move:
        moveBy(shot, key.dx, key.dy);
        break;
    case ShotKeyAction::none:
        break;
    }
    return 0;
}

LRESULT onShotClose(HWND hwnd) {
    const auto found = app.screenshotIndex.find(hwnd);
    if (found != app.screenshotIndex.end())
        closeScreenshot(found->second);
    return 0;
}
