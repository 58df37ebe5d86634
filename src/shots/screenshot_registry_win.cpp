// The screenshot table: releasing records and "Close All". Slots below
// app.screenshotCount hold records; screenshotIndex maps each window to its slot.
#include "shots/cache.h"
#include "shots/shots.h"
#include "shots/slot_table.h"

void releaseScreenshot(std::unique_ptr<ScreenshotWindow>& slot) {
    if (!slot)
        return;
    ScreenshotWindow& shot = *slot;
    shot.pixels.reset();
    if (!shot.keepFile && !shot.cachePath.empty())
        deleteCacheFile(shot.cachePath);
    shot.cachePath.clear();
    slot.reset();
}

void closeScreenshot(std::uint32_t slot) {
    if (slot >= app.screenshotCount || slot >= app.screenshots.size())
        return;
    std::unique_ptr<ScreenshotWindow>& record = app.screenshots[slot];
    HWND window = record ? record->hwnd : nullptr;
    if (!window) // a slot still being filled: its window is the one the index gives it
        for (const auto& [handle, at] : app.screenshotIndex)
            if (at == slot)
                window = handle;
    if (window)
        DestroyWindow(window);
    releaseScreenshot(record);
    compactSlots(app.screenshots, app.screenshotCount, app.screenshotIndex, slot, window);
}

void closeAllScreenshots() {
    for (std::uint32_t i = 0; i < app.screenshotCount && i < app.screenshots.size(); ++i) {
        std::unique_ptr<ScreenshotWindow>& slot = app.screenshots[i];
        if (!slot)
            continue;
        const HWND window = slot->hwnd;
        app.screenshotIndex.erase(window);
        DestroyWindow(window);
        releaseScreenshot(slot);
    }
    app.screenshotCount = 0;
}
