// What Orvane costs in memory beyond the pixels it must hold, measured from
// outside as private bytes: after start-up, after one capture, with twenty
// screenshot windows open; with none open after those captures (against the
// figure after start-up); against a program with one window and a message
// loop, started the same way, which also makes the DXGI factory that Orvane
// makes at start-up for its captures (minimal_window.cpp). ctest runs it on a
// 1920x1080 screen (ORVANE_XVFB_SCREEN gives another).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "process_figures.h"
#include "scenario.h"

using namespace driver;

namespace {

constexpr double overheadLimit = 16.0 * 1024 * 1024;
constexpr int windowsOpen = 20;
constexpr int shotWidth = 480, shotHeight = 360;

// Private bytes once they have stopped moving: two readings 200 ms apart
// within 64 KB of each other (the save worker and Wine settle after a step).
std::uint64_t settledPrivateBytes(DWORD id) {
    std::uint64_t last = 0;
    for (int i = 0; i < 25; ++i) {
        const std::optional<ProcessFigures> figures = processFigures(id);
        if (!figures)
            return 0;
        const std::uint64_t now = figures->privateBytes;
        if (i > 0 && (now > last ? now - last : last - now) < 64 * 1024)
            return now;
        last = now;
        Sleep(200); // the reading's own interval: steady means steady over time
    }
    return last;
}

std::uint64_t baselinePrivateBytes(bool withDxgi) {
    SetEnvironmentVariableA("ORVANE_BASELINE_DXGI", withDxgi ? "1" : nullptr);
    Process minimal(driverFolder() + "minimal_window.exe");
    SetEnvironmentVariableA("ORVANE_BASELINE_DXGI", nullptr);
    if (!minimal.started() || !waitForWindow(minimal.id(), "OrvaneMinimalWindow", 10000))
        return 0;
    minimal.waitUntilIdle(5000);
    const std::uint64_t bytes = settledPrivateBytes(minimal.id());
    if (const HWND window = waitForWindow(minimal.id(), "OrvaneMinimalWindow", 1000))
        PostMessageA(window, WM_CLOSE, 0, 0);
    minimal.waitForExit(5000);
    return bytes;
}

// A whole cache file for every open window: written, and decoding.
bool cacheFilesWritten(std::size_t count) {
    const std::vector<std::string> files = cacheImageFiles();
    if (files.size() != count)
        return false;
    for (const std::string& name : files)
        if (decodeImageFile(cacheFolder() + name).width != shotWidth)
            return false;
    return true;
}

void report(const char* step, double bytes, double baseline, double pixels) {
    const double overhead = bytes - baseline - pixels;
    std::printf("[ memory   ] %-26s private %s: baseline %s + pixel data %s + %s beyond them\n", step,
                megabytes(bytes).c_str(), megabytes(baseline).c_str(), megabytes(pixels).c_str(),
                megabytes(overhead).c_str());
    ::testing::Test::RecordProperty(std::string(step) + " (MB beyond baseline and pixels)",
                                    std::to_string(overhead / (1024.0 * 1024.0)));
}

using Memory = OrvaneScenario;

TEST_F(Memory, BeyondTheBaselineAndItsPixelsOrvaneUsesAtMostSixteenMegabytes) {
    const double bareBaseline = double(baselinePrivateBytes(false));
    ASSERT_GT(bareBaseline, 0) << "the baseline program did not run";
    // A capture needs DXGI to learn which monitors are HDR; what that costs
    // belongs to the system (under Wine, about 22 MB of OpenGL stack).
    const double baseline = double(baselinePrivateBytes(true));
    ASSERT_GT(baseline, 0) << "the baseline program did not run with DXGI";
    std::printf("[ memory   ] baseline: one window %s; with the DXGI factory and outputs described %s\n",
                megabytes(bareBaseline).c_str(), megabytes(baseline).c_str());
    RecordProperty("baselineMB", std::to_string(bareBaseline / (1024.0 * 1024.0)));
    RecordProperty("dxgiBaselineMB", std::to_string(baseline / (1024.0 * 1024.0)));

    ASSERT_NO_FATAL_FAILURE(start());
    const double atStart = double(settledPrivateBytes(orvane.id()));
    // Start-up makes the DXGI factory and describes the outputs, ready for the first capture.
    report("after start-up", atStart, baseline, 0);
    EXPECT_LE(atStart - baseline, overheadLimit);

    const int screenWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN), screenHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    // The frozen desktop: its DIB section and the pixel copy that selections are cut from.
    const double desktopPixels = 2.0 * screenWidth * screenHeight * 4;
    // Once its cache file is written a screenshot holds one copy of its pixels.
    const double shotPixels = double(shotWidth) * shotHeight * 4;

    double afterOne = 0;
    for (int i = 0; i < windowsOpen; ++i) {
        const POINT from{40 + (i % 5) * 60, 40 + (i / 5) * 50};
        ASSERT_NE(orvane.pin({from.x, from.y, from.x + shotWidth, from.y + shotHeight}, 2), nullptr)
            << "capture " << i << ": " << orvane.failure();
        ASSERT_EQ(orvane.screenshots().size(), std::size_t(i) + 1);
        ASSERT_TRUE(waitUntil([&] { return cacheFilesWritten(std::size_t(i) + 1); }, 5000));
        if (i == 0) {
            afterOne = double(settledPrivateBytes(orvane.id()));
            report("after one capture", afterOne, baseline, desktopPixels + shotPixels);
        }
    }
    const double withAll = double(settledPrivateBytes(orvane.id()));
    report("with 20 screenshot windows", withAll, baseline, desktopPixels + windowsOpen * shotPixels);
    std::printf("[ memory   ] screen %dx%d, screenshots %dx%d\n", screenWidth, screenHeight, shotWidth, shotHeight);

    EXPECT_LE(afterOne - baseline - desktopPixels - shotPixels, overheadLimit);
    EXPECT_LE(withAll - baseline - desktopPixels - windowsOpen * shotPixels, overheadLimit);

    // Catches the frozen picture's blocks kept while the program waits: with
    // nothing open, after captures ended by a screenshot and by Escape.
    ASSERT_TRUE(orvane.chooseTrayItem(closeAllItem)) << orvane.failure();
    ASSERT_TRUE(waitUntil([&] { return orvane.screenshots().empty() && cacheImageFiles().empty(); }, 5000));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(orvane.startCapture()) << orvane.failure();
        pressKey(VK_ESCAPE);
        ASSERT_TRUE(orvane.captureEnded());
    }
    const double idle = double(settledPrivateBytes(orvane.id()));
    report("nothing open, after 22", idle, atStart, 0);
    EXPECT_LE(idle - atStart, overheadLimit);

    EXPECT_EQ(orvane.stop(10000), 0u) << orvane.failure();
}

} // namespace
