// The capture front: captureDesktop freezes the whole virtual screen with one
// GDI BitBlt into a bottom-up 32-bit DIB section and lets desktop duplication
// overwrite the HDR outputs; keepFrozenPixels, once the overlays are painted,
// makes the picture opaque and keeps its pixel copy for cutting. GUI thread.
#include <windows.h>

#include <memory>
#include <new>
#include <utility>

#include "state/app_state.h"
#include "state/gdi_ledger.h"
#include "state/handle_guards.h"
#include "capture/capture.h"
#include "capture/capture_front.h"
#include "capture/duplication.h"

namespace {

// The memory DC and DIB section of a capture in progress; released unless
// handed over to the frozen desktop.
struct CaptureSurface {
    HDC memoryDC = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    std::uint8_t* bits = nullptr;

    CaptureSurface() = default;
    CaptureSurface(const CaptureSurface&) = delete;
    CaptureSurface& operator=(const CaptureSurface&) = delete;
    ~CaptureSurface() {
        if (memoryDC && previousBitmap)
            SelectObject(memoryDC, previousBitmap);
        if (memoryDC)
            gdiDeleteDC(memoryDC);
        if (bitmap)
            gdiDeleteObject(bitmap);
    }
};

bool makeSurface(HDC screen, std::int32_t width, std::int32_t height, CaptureSurface& surface) {
    surface.memoryDC = gdiMade(CreateCompatibleDC(screen));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // positive: bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    surface.bitmap = gdiMade(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    surface.bits = static_cast<std::uint8_t*>(bits);
    if (!surface.memoryDC || !surface.bitmap || !surface.bits)
        return false;
    const HGDIOBJ previous = SelectObject(surface.memoryDC, surface.bitmap);
    if (!previous || previous == HGDI_ERROR)
        return false;
    surface.previousBitmap = previous;
    return true;
}

} // namespace

void keepFrozenPixels() {
    FrozenDesktop& desktop = app.frozenDesktop;
    if (!desktop.valid || desktop.pixelsKept || !desktop.bits || !desktop.pixels)
        return;
    copyOpaque(desktop.bits, desktop.pixels.get(),
               std::size_t(static_cast<std::uint32_t>(desktop.width)) * static_cast<std::uint32_t>(desktop.height));
    desktop.pixelsKept = true;
}

void releaseFrozenDesktop(FrozenDesktop& desktop) {
    if (desktop.memoryDC) {
        if (desktop.previousBitmap)
            SelectObject(desktop.memoryDC, desktop.previousBitmap);
        gdiDeleteDC(desktop.memoryDC);
    }
    if (desktop.bitmap)
        gdiDeleteObject(desktop.bitmap);
    desktop.pixels.reset();
    desktop.memoryDC = nullptr;
    desktop.bitmap = nullptr;
    desktop.previousBitmap = nullptr;
    desktop.bits = nullptr;
    desktop.pixelsKept = false;
    desktop.valid = false;
}

void releaseDuplicationCache() { duplicationCache.clear(); }

bool captureDesktop() {
    FrozenDesktop& desktop = app.frozenDesktop;
    desktop.valid = false;
    desktop.pixelsKept = false;
    const std::int32_t width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    // A new 33 MB DIB section and pixel block at 4K cost their page faults on
    // every capture: the last capture's are kept while the size stays.
    if (!desktop.memoryDC || !desktop.pixels || width != desktop.width || height != desktop.height)
        releaseFrozenDesktop(desktop);
    desktop.originX = GetSystemMetrics(SM_XVIRTUALSCREEN);
    desktop.originY = GetSystemMetrics(SM_YVIRTUALSCREEN);
    desktop.width = width;
    desktop.height = height;
    if (width <= 0 || height <= 0) {
        releaseFrozenDesktop(desktop);
        return false;
    }
    const std::size_t pixelCount = std::size_t(static_cast<std::uint32_t>(width)) * static_cast<std::uint32_t>(height);

    const DisplayDc screen;
    if (!screen.get()) {
        releaseFrozenDesktop(desktop);
        return false;
    }
    if (!desktop.memoryDC) {
        CaptureSurface surface;
        // Only reserved here; its pages are first touched by the copy after the overlays are up.
        std::unique_ptr<std::uint8_t[]> pixels(new (std::nothrow) std::uint8_t[pixelCount * 4]);
        if (!pixels || !makeSurface(screen.get(), width, height, surface))
            return false;
        desktop.pixels = std::move(pixels);
        desktop.memoryDC = std::exchange(surface.memoryDC, nullptr);
        desktop.bitmap = std::exchange(surface.bitmap, nullptr);
        desktop.previousBitmap = std::exchange(surface.previousBitmap, nullptr);
        desktop.bits = surface.bits;
    }
    if (!BitBlt(desktop.memoryDC, 0, 0, width, height, screen.get(), desktop.originX, desktop.originY, SRCCOPY)) {
        releaseFrozenDesktop(desktop);
        return false;
    }
    GdiFlush();

    const HdrTarget target{desktop.bits, desktop.originX, desktop.originY, width, height};
    if (!runHdrPass(systemDuplication(), duplicationCache, target)) {
        releaseFrozenDesktop(desktop);
        return false;
    }
    desktop.valid = true;
    return true;
}
