// How a pin shows its picture: painting at its zoom (a copy at 100 %, crisp
// blocks at whole multiples, smooth otherwise), the wheel's zoom about the
// pointer, Ctrl+wheel's opacity, the middle button's reset, and the note that
// names a change for a moment. The picture itself never changes.
#include <windowsx.h>

#include "state/bgra_info.h"
#include "state/handle_guards.h"
#include "state/state.h"
#include "shots/shot_rules.h"
#include "shots/shots.h"

namespace {

constexpr UINT_PTR noteTimer = 1;
constexpr UINT noteMs = 800;

void drawPicture(HDC dc, const ScreenshotWindow& shot, const RECT& client) {
    if (!shot.pixels)
        return;
    if (shotScaling(shot.imageWidth, shot.imageHeight, client.right, client.bottom) == ShotScaling::smooth) {
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr); // HALFTONE needs the brush origin reset
    } else {
        SetStretchBltMode(dc, COLORONCOLOR); // a copy, or each pixel a whole block
    }
    // Straight from the pixels: a bitmap of them would hold the picture twice.
    const BITMAPINFO info = bgraInfo(shot.imageWidth, -shot.imageHeight); // top-down
    StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, shot.imageWidth, shot.imageHeight, shot.pixels.get(),
                  &info, DIB_RGB_COLORS, SRCCOPY);
}

// In the top-left corner of the part of the pin on its monitor: a zoomed pin may reach far off the screen.
void drawNote(HDC dc, const ScreenshotWindow& shot, const RECT& client) {
    if (shot.note.empty())
        return;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT visible = client;
    if (GetMonitorInfoA(MonitorFromWindow(shot.hwnd, MONITOR_DEFAULTTONEAREST), &monitor)) {
        MapWindowPoints(nullptr, shot.hwnd, reinterpret_cast<POINT*>(&monitor.rcMonitor), 2);
        IntersectRect(&visible, &client, &monitor.rcMonitor);
    }
    const UINT dpi = shot.densityDpiY ? shot.densityDpiY : shot.dpiY;
    const int height = -MulDiv(10, static_cast<int>(dpi ? dpi : 96), 72);
    const HFONT font = countGdiObject(CreateFontA(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                                  OUT_TT_PRECIS, 0, CLEARTYPE_QUALITY, 0, "Tahoma"));
    {
        const SelectedObject selected(dc, font);
        SIZE text{};
        GetTextExtentPoint32A(dc, shot.note.c_str(), static_cast<int>(shot.note.size()), &text);
        const int margin = text.cy / 3;
        const RECT box{visible.left + margin, visible.top + margin, visible.left + 3 * margin + text.cx,
                       visible.top + 2 * margin + text.cy};
        const SolidBrush ground(RGB(32, 32, 32));
        if (ground.get())
            FillRect(dc, &box, ground.get());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        TextOutA(dc, box.left + margin, box.top + margin / 2, shot.note.c_str(), static_cast<int>(shot.note.size()));
    }
    if (font)
        gdiDeleteObject(font);
}

void showNote(ScreenshotWindow& shot, std::string note) {
    shot.note = std::move(note);
    SetTimer(shot.hwnd, noteTimer, noteMs, nullptr); // a new change restarts the time
    InvalidateRect(shot.hwnd, nullptr, FALSE);
}

ZoomSide sideAcross(const ScreenshotWindow& shot) {
    return {shot.imageWidth, shot.densityDpiX ? shot.densityDpiX : shot.dpiX, shot.dpiX};
}
ZoomSide sideDown(const ScreenshotWindow& shot) {
    return {shot.imageHeight, shot.densityDpiY ? shot.densityDpiY : shot.dpiY, shot.dpiY};
}

// One SetWindowPos: the window grows or shrinks about `cursor` without a jump.
void zoomAbout(ScreenshotWindow& shot, std::int32_t percent, POINT cursor) {
    RECT frame{};
    GetWindowRect(shot.hwnd, &frame);
    // Moved since the last step (a drag, the keys): the kept edges start again from where it is.
    if (wholePixels(shot.edgeX) != frame.left || wholePixels(shot.edgeY) != frame.top) {
        shot.edgeX = std::int64_t{frame.left} * edgeUnit;
        shot.edgeY = std::int64_t{frame.top} * edgeUnit;
    }
    const ZoomSide across = sideAcross(shot), down = sideDown(shot);
    const std::int32_t width = zoomedLength(across.imageLength, percent, across.dpi, across.creationDpi);
    const std::int32_t height = zoomedLength(down.imageLength, percent, down.dpi, down.creationDpi);
    shot.edgeX = zoomedEdge(shot.edgeX, cursor.x, shot.width, width);
    shot.edgeY = zoomedEdge(shot.edgeY, cursor.y, shot.height, height);
    shot.zoomPercent = percent;
    shot.width = width;
    shot.height = height;
    shot.x = wholePixels(shot.edgeX);
    shot.y = wholePixels(shot.edgeY);
    // The whole picture is painted anew: copying the old bits over would only cost time.
    SetWindowPos(shot.hwnd, HWND_TOPMOST, shot.x, shot.y, width, height, SWP_NOACTIVATE | SWP_NOCOPYBITS);
    InvalidateRect(shot.hwnd, nullptr, FALSE);
}

void setOpacity(ScreenshotWindow& shot, std::int32_t percent) {
    shot.opacityPercent = percent;
    const LONG_PTR style = GetWindowLongPtrA(shot.hwnd, GWL_EXSTYLE);
    if (layeredAt(percent)) {
        if (!(style & WS_EX_LAYERED))
            SetWindowLongPtrA(shot.hwnd, GWL_EXSTYLE, style | WS_EX_LAYERED);
        SetLayeredWindowAttributes(shot.hwnd, 0, opacityAlpha(percent), LWA_ALPHA);
    } else if (style & WS_EX_LAYERED) {
        // Opaque again: exactly the plain window it was, which must paint itself anew.
        SetWindowLongPtrA(shot.hwnd, GWL_EXSTYLE, style & ~WS_EX_LAYERED);
        RedrawWindow(shot.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
    }
}

} // namespace

LRESULT paintScreenshot(ScreenshotWindow& shot) {
    const PaintScope paint(shot.hwnd);
    if (const HDC dc = paint.dc()) {
        RECT client{};
        GetClientRect(shot.hwnd, &client);
        drawPicture(dc, shot, client);
        const SolidBrush frame(shot.borderColor);
        if (frame.get())
            FrameRect(dc, &client, frame.get());
        drawNote(dc, shot, client);
    }
    return 0;
}

LRESULT onShotWheel(ScreenshotWindow& shot, WPARAM wp, LPARAM lp) {
    if (app.captureActive)
        return 0;
    const std::int32_t delta = GET_WHEEL_DELTA_WPARAM(wp);
    if (GET_KEYSTATE_WPARAM(wp) & MK_CONTROL) {
        const std::int32_t notches = takeWheelNotches(shot.opacityWheel, delta);
        if (notches == 0)
            return 0;
        setOpacity(shot, steppedOpacity(shot.opacityPercent, notches));
        showNote(shot, opacityNote(shot.opacityPercent));
        return 0;
    }
    const std::int32_t notches = takeWheelNotches(shot.zoomWheel, delta);
    if (notches == 0)
        return 0;
    const std::int32_t percent = steppedZoom(shot.zoomPercent, notches, sideAcross(shot), sideDown(shot));
    if (percent != shot.zoomPercent)
        zoomAbout(shot, percent, {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}); // screen coordinates for a wheel
    showNote(shot, zoomNote(shot.zoomPercent));
    return 0;
}

LRESULT onShotMiddleDown(ScreenshotWindow& shot) {
    if (app.captureActive)
        return 0;
    POINT cursor{};
    GetCursorPos(&cursor);
    shot.zoomWheel = shot.opacityWheel = 0;
    if (shot.zoomPercent != 100)
        zoomAbout(shot, 100, cursor);
    setOpacity(shot, 100);
    showNote(shot, zoomNote(100));
    return 0;
}

LRESULT onShotTimer(ScreenshotWindow& shot, WPARAM timer) {
    if (timer != noteTimer)
        return 0;
    KillTimer(shot.hwnd, noteTimer);
    shot.note.clear();
    InvalidateRect(shot.hwnd, nullptr, FALSE);
    return 0;
}

SIZE rescaledShotSize(ScreenshotWindow& shot, UINT dpiX, UINT dpiY) {
    shot.densityDpiX = dpiX;
    shot.densityDpiY = dpiY;
    return {zoomedLength(shot.imageWidth, shot.zoomPercent, dpiX, shot.dpiX),
            zoomedLength(shot.imageHeight, shot.zoomPercent, dpiY, shot.dpiY)};
}
