// The user-level driver: Orvane's windows and files; see driver.h.
#include "driver.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace driver {

// --- Orvane's windows and files ----------------------------------------------------------------------------------

HWND selectionWindowOf(DWORD process) {
    const std::vector<HWND> found = visibleWindows(process, selectionClass);
    return found.empty() ? nullptr : found.front();
}

bool pressInOverlay(DWORD process, POINT at) {
    moveMouse(at);
    Sleep(30);
    buttonDown();
    return waitUntil([&] { return selectionWindowOf(process) != nullptr; }, 5000);
}

bool dragSelection(DWORD process, POINT from, POINT to, int steps) {
    if (!pressInOverlay(process, from))
        return false;
    for (int i = 1; i <= steps; ++i) {
        moveMouse({from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps});
        Sleep(15);
    }
    const RECT want{std::min(from.x, to.x), std::min(from.y, to.y), std::max(from.x, to.x), std::max(from.y, to.y)};
    const bool spanned = waitUntil(
        [&] {
            moveMouse(to);
            const RECT at = windowRect(selectionWindowOf(process));
            return at.left == want.left && at.top == want.top && at.right == want.right && at.bottom == want.bottom;
        },
        5000);
    buttonUp();
    return spanned;
}

HWND waitForNewScreenshot(DWORD process, const std::vector<HWND>& before, DWORD timeoutMs) {
    HWND made = nullptr;
    waitUntil(
        [&] {
            for (HWND window : visibleWindows(process, screenshotClass))
                if (std::find(before.begin(), before.end(), window) == before.end())
                    made = window;
            return made != nullptr;
        },
        timeoutMs);
    return made;
}

HWND pinScreenshot(const Process& process, const RECT& rect, std::string& failure) {
    // The notification icon comes before the keyboard hook: wait for the message loop.
    process.waitUntilIdle(5000);
    pressKey(VK_SNAPSHOT);
    if (!waitUntil([&] { return !visibleWindows(process.id(), overlayClass).empty(); }, 5000)) {
        failure = "PrintScreen opened no overlay";
        return nullptr;
    }
    // A drag before the overlays take input would be lost.
    process.waitUntilIdle(3000);
    Sleep(100);
    const std::vector<HWND> before = visibleWindows(process.id(), screenshotClass);
    if (!dragSelection(process.id(), {rect.left, rect.top}, {rect.right, rect.bottom})) {
        failure = "the selection did not span the dragged rectangle";
        return nullptr;
    }
    const HWND made = waitForNewScreenshot(process.id(), before, 3000);
    if (!made)
        failure = "no new screenshot window";
    return made;
}

bool chooseScreenshotItem(DWORD process, HWND shot, int item) {
    click(centreOf(windowRect(shot)), Button::right);
    const HWND menu = waitForPopupMenu(process, 3000);
    if (!menu)
        return false;
    clickMenuItem(menu, item, shotMenuItems);
    return waitUntil([&] { return !popupMenuOpen(process); }, 3000);
}

std::vector<HWND> visibleWindows(DWORD process, const std::string& windowClass) {
    std::vector<HWND> found;
    for (HWND window : topLevelWindows(process))
        if (IsWindowVisible(window) && className(window) == windowClass)
            found.push_back(window);
    return found;
}

void writePreferences(int selectionColor, int defaultFormat) {
    writeFile(settingsFolder() + "prefs.txt", "1:" + std::to_string(selectionColor) + ":" +
                                                  std::to_string(defaultFormat) +
                                                  ":C:/Users/($User)/Desktop/\r\nresizeScreenshotWindows=0\r\n");
}

std::vector<std::string> cacheImageFiles() {
    std::vector<std::string> images;
    for (const std::string& name : fileNamesIn(cacheFolder())) {
        const std::string extension = name.size() >= 4 ? name.substr(name.size() - 4) : std::string();
        if (extension == ".jpg" || extension == ".png" || extension == ".bmp")
            images.push_back(name);
    }
    return images;
}

COLORREF expectedFrameColor(const Screenshot& cut) {
    std::uint32_t sum[3] = {}, count = 0;
    for (int y = 0; y < cut.height; ++y)
        for (int x = 0; x < cut.width; ++x) {
            if (x != 0 && y != 0 && x != cut.width - 1 && y != cut.height - 1)
                continue;
            const std::uint8_t* p = &cut.bgra[(static_cast<std::size_t>(y) * cut.width + x) * 4];
            for (int c = 0; c < 3; ++c)
                sum[c] += p[c];
            ++count;
        }
    // sum[0] is blue: it becomes the red component.
    return RGB(255 - sum[0] / count, 255 - sum[1] / count, 255 - sum[2] / count);
}

} // namespace driver
