// The "Capped" window procedure: paints the image inside its one-pixel frame
// and takes part in a running selection (moves feed it, a release ends it).
// Moving, closing by a click and the menu come with the window's behaviour.
#include "selection/selection.h"
#include "shots/shots.h"

namespace {

LRESULT paintScreenshot(ScreenshotWindow& shot) {
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(shot.hwnd, &paint);
    if (dc) {
        RECT client{};
        GetClientRect(shot.hwnd, &client);
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr); // HALFTONE needs the brush origin reset
        StretchBlt(dc, 0, 0, client.right, client.bottom, shot.memoryDC, 0, 0, shot.imageWidth, shot.imageHeight,
                   SRCCOPY);
        const HBRUSH frame = CreateSolidBrush(shot.borderColor);
        if (frame) {
            FrameRect(dc, &client, frame);
            DeleteObject(frame);
        }
    }
    EndPaint(shot.hwnd, &paint);
    return 0;
}

LRESULT onShotSetCursor(LPARAM lp) {
    if (LOWORD(lp) != HTCLIENT)
        return 0;
    SetCursor(app.selectionCursor);
    return 1;
}

LRESULT onShotLeftUp() {
    if (app.selectionButtonDown)
        endSelection();
    return 0;
}

} // namespace

LRESULT CALLBACK screenshotWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    const auto found = app.screenshotIndex.find(hwnd);
    if (found == app.screenshotIndex.end() || found->second >= app.screenshots.size() ||
        !app.screenshots[found->second])
        return DefWindowProcA(hwnd, msg, wp, lp);
    ScreenshotWindow& shot = *app.screenshots[found->second];
    switch (msg) {
    case WM_PAINT:
        return paintScreenshot(shot);
    case WM_ERASEBKGND:
        return 0; // the paint covers the whole client area
    case WM_SETCURSOR:
        return onShotSetCursor(lp);
    case WM_MOUSEMOVE:
        trackSelection();
        return 0;
    case WM_LBUTTONUP:
        return onShotLeftUp();
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}
