// "Copy": the screenshot at its captured size as one CF_BITMAP.
#include "state/gdi_ledger.h"
#include "shots/shots.h"

void copyScreenshot(const ScreenshotWindow& shot) {
    // Opened for the tray window, which lives for the whole run: with no owner
    // window, SetClipboardData fails after EmptyClipboard.
    if (!OpenClipboard(app.trayWindow))
        return;
    EmptyClipboard();
    HBITMAP picture = countGdiObject(CreateBitmap(shot.imageWidth, shot.imageHeight, 1, 32, shot.pixels.get()));
    if (picture && !SetClipboardData(CF_BITMAP, picture))
        gdiDeleteObject(picture);
    else if (picture)
        gdiHandedOver(); // the clipboard owns the bitmap now; it is never touched again here
    CloseClipboard();
}
