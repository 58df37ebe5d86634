// How long the user waits, measured from outside as the driver sees the
// screen: from the PrintScreen release to the overlays shown, and from the
// mouse release to the screenshot window shown with its pixels. The figures
// are printed (and recorded as test properties); ctest runs this at the
// default screen and on Xvfb screens of 1920x1080 and 3840x2160.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "driver.h"

using namespace driver;

namespace {

constexpr int captures = 6;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string figures(const std::vector<double>& values) {
    std::string text;
    for (double value : values) {
        char one[16];
        std::snprintf(one, sizeof one, " %.0f", value);
        text += one;
    }
    return text;
}

TEST(Latency, PrintScreenToOverlaysAndReleaseToScreenshotWindow) {
    resetProfile();
    const Screenshot screen = grabScreen();
    const int width = std::min(640, screen.width / 2), height = std::min(480, screen.height / 2);
    const POINT at{screen.width / 4, screen.height / 4};
    PatternWindow pattern(at, testPicture(width, height));
    const std::vector<HWND> icons = trayIcons();
    Process process;
    ASSERT_TRUE(process.started());
    RunningOrvane orvane{process};
    ASSERT_TRUE(waitForStartUp(process, icons, orvane));
    ASSERT_TRUE(
        waitUntil([&] { return grabScreen().crop(pattern.rect()).sameColours(testPicture(width, height)); }, 3000));

    const RECT rect{at.x + 10, at.y + 10, at.x + width - 10, at.y + height - 10};
    const POINT probe{rect.left + 37, rect.top + 23};
    std::vector<double> toOverlays, toScreenshot;
    for (int i = 0; i < captures; ++i) {
        const Screenshot shown = testPicture(width, height, i);
        pattern.show(shown);
        ASSERT_TRUE(waitUntil([&] { return grabScreen().crop(pattern.rect()).sameColours(shown); }, 3000));
        const COLORREF frozenProbe = screenPixel(probe);

        keyDown(VK_SNAPSHOT);
        Sleep(30);
        keyUp(VK_SNAPSHOT);
        const double released = nowMs();
        const auto overlayUp = msUntil(
            [&] {
                const std::vector<HWND> overlays = visibleWindows(process.id(), overlayClass);
                return !overlays.empty() && screenPixel(probe) == frozenProbe;
            },
            released, 10000);
        ASSERT_TRUE(overlayUp) << "capture " << i;
        toOverlays.push_back(*overlayUp);
        // The drag starts once the capture has returned to the message loop.
        ASSERT_TRUE(waitUntilResponsive(visibleWindows(process.id(), overlayClass).front(), 5000));

        // The live desktop changes under the overlays: once they go, only the
        // screenshot window's own paint shows the frozen colour at the probe.
        ASSERT_TRUE(pressInOverlay(process.id(), {rect.left, rect.top}));
        moveMouse({rect.right, rect.bottom});
        Sleep(30);
        moveMouse({rect.right, rect.bottom});
        pattern.show(testPicture(width, height, i + 50));
        // On a loaded machine the tinted window may take a while to reach a 4K screen.
        ASSERT_TRUE(waitUntil([&] { return screenPixel(probe) != frozenProbe; }, 3000))
            << "the selection window should cover the probe; selection windows: "
            << visibleWindows(process.id(), selectionClass).size();
        // The release counts only once the selection spans the whole rectangle.
        ASSERT_TRUE(waitUntil(
            [&] {
                moveMouse({rect.right, rect.bottom});
                const RECT spanned = windowRect(selectionWindowOf(process.id()));
                return EqualRect(&spanned, &rect) != 0;
            },
            5000))
            << "the selection window should span the dragged rectangle";
        const std::size_t shotsBefore = visibleWindows(process.id(), screenshotClass).size();
        buttonUp();
        const double up = nowMs();
        const auto pinned = msUntil(
            [&] {
                return visibleWindows(process.id(), screenshotClass).size() > shotsBefore &&
                       screenPixel(probe) == frozenProbe;
            },
            up, 10000);
        ASSERT_TRUE(pinned) << "capture " << i << ": " << visibleWindows(process.id(), screenshotClass).size()
                            << " screenshot window(s), probe " << std::hex << screenPixel(probe) << " instead of "
                            << frozenProbe << ", overlays " << visibleWindows(process.id(), overlayClass).size()
                            << ", running " << process.running() << ", exit " << process.waitForExit(0).value_or(999);
        toScreenshot.push_back(*pinned);
        ASSERT_TRUE(chooseTrayItem(orvane, closeAllItem));
        ASSERT_TRUE(waitUntil([&] { return visibleWindows(process.id(), screenshotClass).empty(); }, 3000));
    }
    std::printf("[ latency  ] screen %dx%d, %d captures (the first loads dxgi.dll and makes the DXGI factory)\n",
                screen.width, screen.height, captures);
    std::printf("[ latency  ] PrintScreen release -> overlays shown (ms):%s; median of the later ones %.0f\n",
                figures(toOverlays).c_str(), median({toOverlays.begin() + 1, toOverlays.end()}));
    std::printf("[ latency  ] mouse release -> screenshot window shown (ms):%s; median %.0f\n",
                figures(toScreenshot).c_str(), median(toScreenshot));
    ::testing::Test::RecordProperty("screen", std::to_string(screen.width) + "x" + std::to_string(screen.height));
    ::testing::Test::RecordProperty("overlaysMs", figures(toOverlays));
    ::testing::Test::RecordProperty("screenshotMs", figures(toScreenshot));

    ASSERT_TRUE(chooseTrayItem(orvane, exitItem));
    EXPECT_EQ(process.waitForExit(5000), 0u);
}

} // namespace
