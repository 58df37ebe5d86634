// The capture front: the frozen virtual screen is held in bottom-up 32-bit
// DIB sections, one per band of rows, all read by GDI at once (on the screen
// readers) and then overwritten by desktop duplication on the HDR outputs;
// keepFrozenPixels, once the overlays are painted, makes the picture opaque
// and keeps its pixel copy for cutting. GUI thread.
#include <windows.h>

#include <algorithm>
#include <new>
#include <vector>

#include "state/app_state.h"
#include "state/bgra_info.h"
#include "state/gdi_ledger.h"
#include "state/handle_guards.h"
#include "capture/capture.h"
#include "capture/capture_front.h"
#include "capture/duplication.h"
#include "capture/screen_readers.h"

void releaseBand(FrozenBand& band) {
    if (band.memoryDC) {
        if (band.previousBitmap)
            SelectObject(band.memoryDC, band.previousBitmap);
        gdiDeleteDC(band.memoryDC);
    }
    if (band.bitmap)
        gdiDeleteObject(band.bitmap);
    band = FrozenBand{};
}

bool makeBand(HDC screen, std::int32_t width, BandRows rows, FrozenBand& band) {
    band.top = rows.top;
    band.height = rows.height;
    band.memoryDC = gdiMade(CreateCompatibleDC(screen));
    const BITMAPINFO info = bgraInfo(width, rows.height); // bottom-up
    void* bits = nullptr;
    band.bitmap = gdiMade(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    band.bits = static_cast<std::uint8_t*>(bits);
    const HGDIOBJ previous =
        band.memoryDC && band.bitmap && band.bits ? SelectObject(band.memoryDC, band.bitmap) : nullptr;
    if (!previous || previous == HGDI_ERROR) {
        releaseBand(band);
        return false;
    }
    band.previousBitmap = previous;
    return true;
}

void keepFrozenPixels() {
    FrozenDesktop& desktop = app.frozenDesktop;
    if (!desktop.valid || desktop.pixelsKept || !desktop.pixels)
        return;
    const std::size_t width = static_cast<std::uint32_t>(desktop.width);
    for (const FrozenBand& band : desktop.bands) {
        // Bottom-up: the lowest band is the first in the copy.
        const std::size_t below = static_cast<std::uint32_t>(desktop.height - band.top - band.height);
        copyOpaque(band.bits, desktop.pixels.get() + below * width * 4,
                   width * static_cast<std::uint32_t>(band.height));
    }
    desktop.pixelsKept = true;
}

void paintFrozenDesktop(HDC dc, const PixelRect& area) {
    const FrozenDesktop& desktop = app.frozenDesktop;
    if (!desktop.valid)
        return;
    const std::int32_t areaTop = area.y - desktop.originY; // in rows from the top of the frozen screen
    for (const FrozenBand& band : desktop.bands) {
        const std::int32_t top = std::max(areaTop, band.top);
        const std::int32_t bottom = std::min(areaTop + area.height, band.top + band.height);
        if (top < bottom)
            BitBlt(dc, 0, top - areaTop, area.width, bottom - top, band.memoryDC, area.x - desktop.originX,
                   top - band.top, SRCCOPY);
    }
}

void releaseFrozenDesktop(FrozenDesktop& desktop) {
    for (FrozenBand& band : desktop.bands)
        releaseBand(band);
    desktop.bands.clear();
    desktop.pixels.reset();
    desktop.pixelsKept = false;
    desktop.valid = false;
}

void releaseDuplicationCache() { duplicationCache.clear(); }

bool beginFreezingDesktop() {
    FrozenDesktop& desktop = app.frozenDesktop;
    desktop.valid = false;
    desktop.pixelsKept = false;
    const std::int32_t width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    // New DIB sections and a new pixel block (33 MB each at 4K) cost their
    // page faults on every capture: the last capture's are kept while the size stays.
    if (desktop.bands.empty() || !desktop.pixels || width != desktop.width || height != desktop.height)
        releaseFrozenDesktop(desktop);
    desktop.originX = GetSystemMetrics(SM_XVIRTUALSCREEN);
    desktop.originY = GetSystemMetrics(SM_YVIRTUALSCREEN);
    desktop.width = width;
    desktop.height = height;
    if (width <= 0 || height <= 0) {
        releaseFrozenDesktop(desktop);
        return false;
    }
    if (desktop.bands.empty()) {
        const DisplayDc screen;
        // Only reserved here; its pages are first touched by the copy after the overlays are up.
        const std::size_t pixelCount =
            std::size_t(static_cast<std::uint32_t>(width)) * static_cast<std::uint32_t>(height);
        desktop.pixels.reset(new (std::nothrow) std::uint8_t[pixelCount * 4]);
        desktop.bands.resize(screenBandCount(height));
        bool made = screen.get() && desktop.pixels;
        for (std::uint32_t i = 0; made && i < desktop.bands.size(); ++i)
            made = makeBand(screen.get(), width, screenBand(height, i), desktop.bands[i]);
        if (!made) {
            releaseFrozenDesktop(desktop);
            return false;
        }
    }
    beginReadingBands(desktop);
    return true;
}

bool finishFreezingDesktop() {
    FrozenDesktop& desktop = app.frozenDesktop;
    if (!finishReadingBands()) {
        releaseFrozenDesktop(desktop);
        return false;
    }
    std::vector<HdrTarget> targets;
    for (const FrozenBand& band : desktop.bands)
        targets.push_back({band.bits, desktop.originX, desktop.originY + band.top, desktop.width, band.height});
    if (!runHdrPass(systemDuplication(), duplicationCache, targets)) {
        releaseFrozenDesktop(desktop);
        return false;
    }
    desktop.valid = true;
    return true;
}
