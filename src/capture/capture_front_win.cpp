// The capture front: the frozen virtual screen is one bottom-up 32-bit DIB
// section, read from the screen by one BitBlt (one moment for every monitor),
// then overwritten by desktop duplication on the HDR outputs;
// copyFrozenForSelection, once the overlays are painted, makes the picture opaque
// and keeps its pixel copy for cutting. GUI thread.
#include <windows.h>

#include <new>

#include "state/app_state.h"
#include "state/bgra_info.h"
#include "state/gdi_ledger.h"
#include "state/handle_guards.h"
#include "capture/capture.h"
#include "capture/capture_front.h"
#include "capture/duplication.h"

namespace {

bool makeDesktopBitmap(HDC screen, FrozenDesktop& desktop) {
    desktop.memoryDC = countGdiObject(CreateCompatibleDC(screen));
    const BITMAPINFO info = bgraInfo(desktop.width, desktop.height); // bottom-up
    void* bits = nullptr;
    desktop.bitmap = countGdiObject(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    desktop.bits = static_cast<std::uint8_t*>(bits);
    const HGDIOBJ previous =
        desktop.memoryDC && desktop.bitmap && desktop.bits ? SelectObject(desktop.memoryDC, desktop.bitmap) : nullptr;
    if (!previous || previous == HGDI_ERROR)
        return false;
    desktop.previousBitmap = previous;
    return true;
}

} // namespace

void copyFrozenForSelection() {
    FrozenDesktop& desktop = app.frozenDesktop;
    if (!desktop.valid || desktop.pixelsKept || !desktop.bits)
        return;
    const std::size_t pixelCount =
        std::size_t(static_cast<std::uint32_t>(desktop.width)) * static_cast<std::uint32_t>(desktop.height);
    // Made only now: nothing on the screen needs it, and its pages are first touched here.
    desktop.pixels.reset(new (std::nothrow) std::uint8_t[pixelCount * 4]);
    if (!desktop.pixels)
        return;
    copyOpaque(desktop.bits, desktop.pixels.get(), pixelCount);
    desktop.pixelsKept = true;
}

void paintFrozenDesktop(HDC dc, const PixelRect& area) {
    const FrozenDesktop& desktop = app.frozenDesktop;
    if (desktop.valid)
        BitBlt(dc, 0, 0, area.width, area.height, desktop.memoryDC, area.x - desktop.originX, area.y - desktop.originY,
               SRCCOPY);
}

void releaseFrozenDesktop(FrozenDesktop& desktop) {
    if (desktop.memoryDC) {
        if (desktop.previousBitmap)
            SelectObject(desktop.memoryDC, desktop.previousBitmap);
        gdiDeleteDC(desktop.memoryDC);
    }
    if (desktop.bitmap)
        gdiDeleteObject(desktop.bitmap);
    desktop = FrozenDesktop{};
}

void releaseDuplicationCache() { duplicationCache.clear(); }

bool freezeDesktop() {
    FrozenDesktop& desktop = app.frozenDesktop;
    releaseFrozenDesktop(desktop);
    desktop.originX = GetSystemMetrics(SM_XVIRTUALSCREEN);
    desktop.originY = GetSystemMetrics(SM_YVIRTUALSCREEN);
    desktop.width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    desktop.height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (desktop.width <= 0 || desktop.height <= 0)
        return false;
    bool screenCopied = false;
    {
        // GetDC(NULL) covers the whole virtual screen wherever the primary
        // monitor lies; a "DISPLAY" DC reads beside it on some drivers.
        const DisplayDc screen;
        screenCopied = screen.get() && makeDesktopBitmap(screen.get(), desktop) &&
                       BitBlt(desktop.memoryDC, 0, 0, desktop.width, desktop.height, screen.get(), desktop.originX,
                              desktop.originY, SRCCOPY) &&
                       GdiFlush();
    }
    const HdrTarget target{desktop.bits, desktop.originX, desktop.originY, desktop.width, desktop.height};
    if (screenCopied)
        blackenUncovered(target, app.monitors);
    if (!screenCopied || !runHdrPass(systemDuplication(), duplicationCache, HdrTargets(&target, 1))) {
        releaseFrozenDesktop(desktop);
        return false;
    }
    desktop.valid = true;
    return true;
}
