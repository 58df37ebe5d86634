// Releasing screenshot records (shutdown, "Close All") under Wine: GDI objects
// freed, the cache file deleted unless it was handed out by drag and drop,
// windows out of the index before they are destroyed.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/app_state.h"
#include "shots/shots.h"

namespace fs = std::filesystem;

namespace {

std::string cacheFile(const std::string& name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    const std::string path = std::string(temp) + "orvane-win-" + name;
    std::ofstream(path, std::ios::binary) << "image";
    return path;
}

std::unique_ptr<ScreenshotWindow> recordWithFile(const std::string& path, bool keepFile) {
    auto shot = std::make_unique<ScreenshotWindow>();
    HDC screen = GetDC(nullptr);
    shot->memoryDC = CreateCompatibleDC(screen);
    shot->bitmap = CreateCompatibleBitmap(screen, 8, 8);
    ReleaseDC(nullptr, screen);
    shot->previousBitmap = SelectObject(shot->memoryDC, shot->bitmap);
    shot->pixels = std::make_unique<std::uint8_t[]>(8 * 8 * 4);
    shot->imageWidth = shot->imageHeight = 8;
    shot->cachePath = path;
    shot->keepFile = keepFile;
    return shot;
}

HWND plainWindow() {
    static const ATOM registered = [] {
        WNDCLASSEXA record{};
        record.cbSize = sizeof(record);
        record.lpfnWndProc = DefWindowProcA;
        record.hInstance = GetModuleHandleA(nullptr);
        record.lpszClassName = "OrvaneTestShot";
        return RegisterClassExA(&record);
    }();
    EXPECT_NE(registered, 0);
    return CreateWindowExA(0, "OrvaneTestShot", "", WS_POPUP, 0, 0, 8, 8, nullptr, nullptr, GetModuleHandleA(nullptr),
                           nullptr);
}

TEST(ReleaseScreenshot, FreesTheGdiObjectsAndDeletesTheCacheFile) {
    const std::string path = cacheFile("release.png");
    std::unique_ptr<ScreenshotWindow> slot = recordWithFile(path, false);
    const HDC dc = slot->memoryDC;
    const HBITMAP bitmap = slot->bitmap;
    releaseScreenshot(slot);
    EXPECT_EQ(slot, nullptr);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(GetObjectType(bitmap), 0u);
    EXPECT_EQ(GetObjectType(dc), 0u);
}

TEST(ReleaseScreenshot, KeepsAFileHandedOutByDragAndDrop) {
    const std::string path = cacheFile("dragged.png");
    std::unique_ptr<ScreenshotWindow> slot = recordWithFile(path, true);
    releaseScreenshot(slot);
    EXPECT_EQ(slot, nullptr);
    EXPECT_TRUE(fs::exists(path));
    fs::remove(path);
}

TEST(ReleaseScreenshot, AFileNeverWrittenIsNoError) {
    std::unique_ptr<ScreenshotWindow> slot = recordWithFile(cacheFile("gone.png"), false);
    fs::remove(slot->cachePath);
    releaseScreenshot(slot);
    EXPECT_EQ(slot, nullptr);
}

TEST(CloseAllScreenshots, ClosesEveryWindowAndEmptiesTheTable) {
    app.screenshots.clear();
    app.screenshots.resize(screenshotSlots);
    app.screenshotIndex.clear();
    const std::string files[] = {cacheFile("all0.png"), cacheFile("all1.png"), cacheFile("all2.png")};
    HWND windows[3] = {};
    for (std::uint32_t i = 0; i < 3; ++i) {
        windows[i] = plainWindow();
        ASSERT_NE(windows[i], nullptr);
        app.screenshotIndex.emplace(windows[i], i);
        app.screenshots[i] = recordWithFile(files[i], i == 1);
        app.screenshots[i]->hwnd = windows[i];
    }
    app.screenshotCount = 3;

    closeAllScreenshots();

    EXPECT_EQ(app.screenshotCount, 0u);
    EXPECT_TRUE(app.screenshotIndex.empty());
    for (std::uint32_t i = 0; i < 3; ++i) {
        EXPECT_FALSE(IsWindow(windows[i])) << i;
        EXPECT_EQ(app.screenshots[i], nullptr) << i;
    }
    EXPECT_FALSE(fs::exists(files[0]));
    EXPECT_TRUE(fs::exists(files[1])); // handed out by drag and drop
    EXPECT_FALSE(fs::exists(files[2]));
    fs::remove(files[1]);
}

TEST(CloseAllScreenshots, WithNoWindowsOnlyTheCountIsSet) {
    app.screenshots.clear();
    app.screenshots.resize(screenshotSlots);
    app.screenshotIndex.clear();
    app.screenshotCount = 0;
    closeAllScreenshots();
    EXPECT_EQ(app.screenshotCount, 0u);
}

} // namespace
