// The capture inside one process under Wine: the tray window's capture
// request freezes the real screen (GDI, and no desktop duplication since
// Wine's outputs are SDR), the overlays come up borderless over each monitor,
// the hook is installed afresh, and screenshot windows are made from the
// frozen pixels with unique cache files and no limit on their number; Quick
// Save takes a window off the screen before its file is written.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "state/app_state.h"
#include "capture/capture_front.h"
#include "capture/duplication.h"
#include "capture/monitors.h"
#include "output/output.h"
#include "prefs/prefs.h"
#include "selection/selection.h"
#include "shots/shots.h"

namespace fs = std::filesystem;

namespace {

bool classRegistered(const char* name) {
    WNDCLASSEXA info{};
    info.cbSize = sizeof(info);
    return GetClassInfoExA(GetModuleHandleA(nullptr), name, &info) != FALSE;
}

std::string freshCacheFolder(const std::string& name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    const fs::path folder = fs::path(temp) / ("orvane-win-" + name) / "VELTO_CACHE";
    fs::remove_all(folder.parent_path());
    fs::create_directories(folder.parent_path());
    return folder.string() + "\\";
}

void pumpMessagesFor(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg{};
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    } while (GetTickCount() - start < ms);
}

// The virtual screen in one read, bottom-up and opaque: what a capture must hold.
std::vector<std::uint8_t> readScreen() {
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    std::vector<std::uint8_t> picture(std::size_t(width) * std::size_t(height) * 4);
    const HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, GetSystemMetrics(SM_XVIRTUALSCREEN),
           GetSystemMetrics(SM_YVIRTUALSCREEN), SRCCOPY);
    SelectObject(memory, previous);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(info.bmiHeader), width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), picture.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    DeleteDC(screen);
    for (std::size_t i = 3; i < picture.size(); i += 4)
        picture[i] = 255;
    return picture;
}

// Paints the whole screen so that every row differs: a band read into or
// painted at the wrong rows shows.
void paintRowPattern() {
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    std::vector<std::uint8_t> picture(std::size_t(width) * std::size_t(height) * 4);
    for (std::size_t i = 0; i < picture.size(); i += 4) {
        const std::size_t x = i / 4 % std::size_t(width), y = i / 4 / std::size_t(width);
        picture[i] = static_cast<std::uint8_t>(y);
        picture[i + 1] = static_cast<std::uint8_t>((y >> 8) * 16 + (x >> 8));
        picture[i + 2] = static_cast<std::uint8_t>(x);
    }
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(info.bmiHeader), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    const HDC screen = GetDC(nullptr);
    SetDIBitsToDevice(screen, GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), width, height,
                      0, 0, 0, height, picture.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    pumpMessagesFor(100);
}

// The state start-up leaves behind, for the parts a capture uses.
class CaptureInProcess : public ::testing::Test {
protected:
    void SetUp() override {
        SetProcessDPIAware();
        if (!classRegistered(trayWindowClass)) {
            ASSERT_TRUE(registerWindowClasses());
        }
        app.instance = GetModuleHandleA(nullptr);
        ASSERT_TRUE(enumerateMonitors(app.monitors));
        app.monitorCount = static_cast<std::uint32_t>(app.monitors.size());
        app.overlayWindows.assign(app.monitorCount, nullptr);
        app.screenshots.clear();
        app.screenshots.resize(screenshotSlots);
        app.screenshotCount = 0;
        app.screenshotIndex.clear();
        app.captureActive = app.overlaysShown = app.selectionWindowShown = app.selectionButtonDown = false;
        app.cacheFolder = freshCacheFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        preferences = Preferences{};
    }

    void TearDown() override {
        if (app.captureActive)
            tearDownSelection();
        closeAllScreenshots();
        releaseFrozenDesktop(app.frozenDesktop);
        releaseDuplicationCache();
        {
            std::lock_guard<std::mutex> hold(saveQueueLock);
            saveQueue.clear();
        }
    }

    // A frozen desktop of our own: an asymmetric picture, bottom-up.
    void freezePicture(std::int32_t originX, std::int32_t originY, std::int32_t width, std::int32_t height) {
        FrozenDesktop& desktop = app.frozenDesktop;
        releaseFrozenDesktop(desktop);
        desktop.originX = originX;
        desktop.originY = originY;
        desktop.width = width;
        desktop.height = height;
        desktop.pixels = std::make_unique<std::uint8_t[]>(std::size_t(width) * std::size_t(height) * 4);
        for (std::int32_t row = 0; row < height; ++row)
            for (std::int32_t x = 0; x < width; ++x) {
                std::uint8_t* p = &desktop.pixels[(std::size_t(row) * std::size_t(width) + std::size_t(x)) * 4];
                const std::int32_t line = height - 1 - row; // bottom-up
                p[0] = static_cast<std::uint8_t>(x * 3);
                p[1] = static_cast<std::uint8_t>(line * 5);
                p[2] = static_cast<std::uint8_t>(x < width / 3 && line < height / 2 ? 230 : 20);
                p[3] = 255;
            }
        desktop.valid = true;
    }
};

TEST_F(CaptureInProcess, TheCaptureRequestFreezesTheScreenWithGdiAloneAndInstallsTheHookAgain) {
    paintRowPattern();
    const std::vector<std::uint8_t> screen = readScreen();
    ASSERT_TRUE(createTrayWindow());
    installKeyboardHook();
    const HHOOK firstHook = app.keyboardHook;
    ASSERT_NE(firstHook, nullptr);

    SendMessageA(app.trayWindow, captureRequestMessage, 0, 0);

    const FrozenDesktop& desktop = app.frozenDesktop;
    ASSERT_TRUE(desktop.valid);
    EXPECT_TRUE(app.captureActive);
    EXPECT_EQ(desktop.originX, GetSystemMetrics(SM_XVIRTUALSCREEN));
    EXPECT_EQ(desktop.originY, GetSystemMetrics(SM_YVIRTUALSCREEN));
    EXPECT_EQ(desktop.width, GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(desktop.height, GetSystemMetrics(SM_CYVIRTUALSCREEN));
    EXPECT_TRUE(duplicationCache.empty()) << "Wine's outputs are SDR: no duplication";

    // The pixel copy is the screen as one read sees it, bottom-up and opaque,
    // once the thread has waited for messages (the overlays reach the screen
    // first); the overlays paint it back where it was.
    for (int i = 0; i < 200 && !desktop.pixelsKept; ++i)
        pumpMessagesFor(0);
    ASSERT_TRUE(desktop.pixelsKept);
    const std::size_t bytes = std::size_t(desktop.width) * std::size_t(desktop.height) * 4;
    ASSERT_EQ(screen.size(), bytes);
    EXPECT_EQ(std::memcmp(screen.data(), desktop.pixels.get(), bytes), 0);
    pumpMessagesFor(100);
    EXPECT_TRUE(readScreen() == screen) << "the overlays show the frozen screen unchanged";
    {
        // A monitor away from the virtual screen's corner gets its own rows.
        const PixelRect monitor{desktop.originX + 7, desktop.originY + desktop.height / 3 + 5, desktop.width / 2,
                                desktop.height / 2};
        const HDC memory = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(info.bmiHeader), monitor.width, -monitor.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* painted = nullptr;
        const HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &painted, nullptr, 0);
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        paintFrozenDesktop(memory, monitor);
        GdiFlush();
        for (int y = 0; y < monitor.height; y += 7)
            for (int x = 0; x < monitor.width; x += 5) {
                const std::size_t line = std::size_t(desktop.height - 1 - (monitor.y - desktop.originY + y));
                const std::uint8_t* want =
                    &desktop.pixels[(line * std::size_t(desktop.width) + std::size_t(monitor.x - desktop.originX + x)) *
                                    4];
                const auto* got = static_cast<const std::uint8_t*>(painted) + (std::size_t(y) * monitor.width + x) * 4;
                ASSERT_EQ(std::memcmp(got, want, 3), 0) << "monitor pixel " << x << ", " << y;
            }
        SelectObject(memory, previous);
        DeleteObject(bitmap);
        DeleteDC(memory);
    }

    ASSERT_EQ(app.overlayMap.size(), app.monitorCount);
    for (std::uint32_t i = 0; i < app.monitorCount; ++i) {
        const HWND overlay = app.overlayWindows[i];
        ASSERT_TRUE(IsWindowVisible(overlay)) << i;
        EXPECT_EQ(app.overlayMap.at(overlay), i);
        EXPECT_EQ(GetWindowLongA(overlay, GWL_STYLE) & ~WS_VISIBLE & ~WS_CLIPSIBLINGS, 0);
        RECT window{}, client{};
        GetWindowRect(overlay, &window);
        GetClientRect(overlay, &client);
        const MonitorRect& monitor = app.monitors[i];
        EXPECT_EQ(window.left, monitor.x);
        EXPECT_EQ(window.top, monitor.y);
        // No caption is left over from the creation style: client and window agree.
        EXPECT_EQ(client.right, monitor.width);
        EXPECT_EQ(client.bottom, monitor.height);
    }

    // The hook is a new one; the old one is gone.
    EXPECT_NE(app.keyboardHook, nullptr);
    EXPECT_NE(app.keyboardHook, firstHook);
    EXPECT_FALSE(UnhookWindowsHookEx(firstHook));

    // A second request while the overlays are up changes nothing.
    const HWND overlay = app.overlayWindows[0];
    const HBITMAP bitmap = desktop.bitmap;
    SendMessageA(app.trayWindow, captureRequestMessage, 0, 0);
    EXPECT_EQ(app.overlayWindows[0], overlay);
    EXPECT_EQ(desktop.bitmap, bitmap);

    tearDownSelection();
    EXPECT_FALSE(app.captureActive);
    EXPECT_FALSE(app.overlaysShown);
    EXPECT_TRUE(app.overlayMap.empty());
    EXPECT_FALSE(IsWindow(overlay));
    EXPECT_TRUE(desktop.valid) << "the frozen desktop stays until the next capture";

    UnhookWindowsHookEx(app.keyboardHook);
    app.keyboardHook = nullptr;
    DestroyWindow(app.trayWindow);
    DestroyMenu(app.trayMenu);
    app.trayWindow = nullptr;
    app.trayMenu = nullptr;
}

// Catches a second capture cutting from the last capture's picture.
TEST_F(CaptureInProcess, ASecondCaptureOfTheSameScreenCopiesItsOwnPicture) {
    ASSERT_TRUE(createTrayWindow());
    SendMessageA(app.trayWindow, captureRequestMessage, 0, 0);
    FrozenDesktop& desktop = app.frozenDesktop;
    ASSERT_TRUE(desktop.valid);
    tearDownSelection();
    const std::size_t bytes = std::size_t(desktop.width) * std::size_t(desktop.height) * 4;
    copyFrozenForSelection();
    ASSERT_TRUE(desktop.pixels);
    std::memset(desktop.pixels.get(), 0, bytes); // what the second capture must not show

    SendMessageA(app.trayWindow, captureRequestMessage, 0, 0);
    ASSERT_TRUE(desktop.valid);
    // Catches a press before the deferred pixel copy cutting from the last capture's pixels.
    SendMessageA(app.overlayWindows.at(0), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ASSERT_TRUE(desktop.pixels);
    EXPECT_TRUE(readScreen() == std::vector<std::uint8_t>(desktop.pixels.get(), desktop.pixels.get() + bytes));

    tearDownSelection();
    DestroyWindow(app.trayWindow);
    DestroyMenu(app.trayMenu);
    app.trayWindow = nullptr;
    app.trayMenu = nullptr;
}

TEST_F(CaptureInProcess, AScreenshotShowsTheFrozenPixelsAndQueuesItsCacheFile) {
    freezePicture(-40, -20, 200, 120);
    createScreenshot(-30, -10, 60, 40);
    ASSERT_EQ(app.screenshotCount, 1u);
    const ScreenshotWindow& shot = *app.screenshots[0];
    EXPECT_EQ(app.screenshotIndex.at(shot.hwnd), 0u);
    EXPECT_TRUE(IsWindowVisible(shot.hwnd));
    EXPECT_EQ(GetWindowLongA(shot.hwnd, GWL_STYLE) & WS_POPUP, static_cast<LONG>(WS_POPUP));
    EXPECT_TRUE(GetWindowLongA(shot.hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT rect{};
    GetWindowRect(shot.hwnd, &rect);
    EXPECT_EQ(rect.left, -30);
    EXPECT_EQ(rect.top, -10);
    EXPECT_EQ(rect.right - rect.left, 60);
    EXPECT_EQ(rect.bottom - rect.top, 40);
    EXPECT_EQ(shot.imageWidth, 60);
    EXPECT_EQ(shot.dpiX, shot.dpiY);
    EXPECT_GT(shot.dpiX, 0u);
    EXPECT_NE(shot.monitor, nullptr);
    // Pixel (10, 5) of the image is desktop point (-20, -5): line 15, column 20.
    const std::uint8_t* pixel = &shot.pixels[(5 * 60 + 10) * 4];
    EXPECT_EQ(pixel[0], 60);
    EXPECT_EQ(pixel[1], 75);
    EXPECT_EQ(pixel[2], 230);

    // The window paints those pixels, upright, inside its frame: the part of it on the screen shows them.
    pumpMessagesFor(100);
    const std::vector<std::uint8_t> screen = readScreen();
    const int screenWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN), screenHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    for (int y = 1; y < 29; ++y)
        for (int x = 1; x < 29; ++x) {
            const std::uint8_t* shown =
                &screen[(std::size_t(screenHeight - 1 - y) * std::size_t(screenWidth) + std::size_t(x)) * 4];
            ASSERT_EQ(std::memcmp(shown, &shot.pixels[((y + 10) * 60 + x + 30) * 4], 3), 0)
                << "screen " << x << ", " << y;
        }

    // The cache file is queued in the (hidden) cache folder and written by a pass.
    EXPECT_EQ(shot.cachePath.rfind(app.cacheFolder + "ScreenCapture", 0), 0u) << shot.cachePath;
    EXPECT_EQ(shot.cachePath.substr(shot.cachePath.size() - 4), ".png");
    EXPECT_TRUE(GetFileAttributesA(app.cacheFolder.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    runSavePass();
    EXPECT_TRUE(fs::exists(shot.cachePath));
}

TEST_F(CaptureInProcess, ASelectionReachingPastTheFrozenDesktopIsCutToIt) {
    freezePicture(0, 0, 100, 80);
    createScreenshot(90, 70, 40, 40);
    ASSERT_EQ(app.screenshotCount, 1u);
    RECT rect{};
    GetWindowRect(app.screenshots[0]->hwnd, &rect);
    EXPECT_EQ(rect.right - rect.left, 10);
    EXPECT_EQ(rect.bottom - rect.top, 10);
    // Less than 5 x 5 left: nothing.
    createScreenshot(97, 10, 40, 40);
    EXPECT_EQ(app.screenshotCount, 1u);
}

TEST_F(CaptureInProcess, ScreenshotsInTheSameTickGetTheirOwnFilesAndTheTableGrowsPastAHundred) {
    freezePicture(0, 0, 64, 48);
    constexpr std::uint32_t made = 130;
    for (std::uint32_t i = 0; i < made; ++i)
        createScreenshot(static_cast<std::int32_t>(i % 50), 3, 8, 6);
    ASSERT_EQ(app.screenshotCount, made);
    EXPECT_EQ(app.screenshotIndex.size(), made);
    std::set<std::string> paths;
    for (std::uint32_t i = 0; i < made; ++i) {
        ASSERT_NE(app.screenshots[i], nullptr) << i;
        EXPECT_EQ(app.screenshotIndex.at(app.screenshots[i]->hwnd), i);
        paths.insert(app.screenshots[i]->cachePath);
    }
    EXPECT_EQ(paths.size(), made) << "two screenshots share a cache file";
    runSavePass();
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(app.cacheFolder))
        files += entry.is_regular_file();
    EXPECT_EQ(files, made);

    // Closing one leaves every other file; the table closes up behind it.
    const HWND third = app.screenshots[3]->hwnd;
    const std::string thirdPath = app.screenshots[3]->cachePath;
    const HWND fourth = app.screenshots[4]->hwnd;
    closeScreenshot(3);
    EXPECT_FALSE(IsWindow(third));
    EXPECT_FALSE(fs::exists(thirdPath));
    EXPECT_EQ(app.screenshotCount, made - 1);
    EXPECT_EQ(app.screenshots[3]->hwnd, fourth);
    EXPECT_EQ(app.screenshotIndex.at(fourth), 3u);
    EXPECT_EQ(app.screenshotIndex.count(third), 0u);
    EXPECT_EQ(app.screenshots[made - 1], nullptr);

    closeAllScreenshots();
    EXPECT_EQ(app.screenshotCount, 0u);
    EXPECT_TRUE(fs::is_empty(app.cacheFolder));
}

TEST_F(CaptureInProcess, ANameTakenByAFileLeftInTheFolderIsNotReused) {
    freezePicture(0, 0, 64, 48);
    createScreenshot(0, 0, 10, 10);
    ASSERT_EQ(app.screenshotCount, 1u);
    // As after a drag and drop: the window goes, its file stays.
    app.screenshots[0]->keepFile = true;
    const std::string kept = app.screenshots[0]->cachePath;
    runSavePass();
    closeScreenshot(0);
    ASSERT_TRUE(fs::exists(kept));
    const auto written = fs::last_write_time(kept);
    for (int i = 0; i < 20; ++i)
        createScreenshot(0, 0, 12, 12);
    for (std::uint32_t i = 0; i < app.screenshotCount; ++i)
        EXPECT_NE(app.screenshots[i]->cachePath, kept);
    runSavePass();
    EXPECT_EQ(fs::last_write_time(kept), written);
}

// --- Quick Save ----------------------------------------------------------------------------

// Handles what the save worker posted to the tray window.
void deliverPostedMessages() {
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

class QuickSaveInProcess : public CaptureInProcess {
protected:
    void SetUp() override {
        CaptureInProcess::SetUp();
        if (!app.trayWindow || !IsWindow(app.trayWindow)) {
            ASSERT_TRUE(createTrayWindow());
        }
        quickSaveFolder = fs::path(app.cacheFolder).parent_path().parent_path().string() + "\\quick\\";
        freezePicture(0, 0, 64, 48);
        createScreenshot(5, 5, 30, 20);
        ASSERT_EQ(app.screenshotCount, 1u);
        shot = app.screenshots[0]->hwnd;
        GetWindowRect(shot, &placed);
        runSavePass(); // the cache file, so that only the Quick Save is left for the worker
    }
    void TearDown() override {
        CaptureInProcess::TearDown();
        quickSaveFolder.clear();
    }
    std::vector<std::string> savedFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(quickSaveFolder))
            names.push_back(entry.path().filename().string());
        return names;
    }
    HWND shot = nullptr;
    RECT placed{};
};

// Catches a window that stays on the screen until its file is written.
TEST_F(QuickSaveInProcess, TheWindowLeavesTheScreenAtOnceAndClosesOnceTheFileIsWritten) {
    preferences.closeScreenshotOnSave = true;
    quickSaveScreenshot(*app.screenshots[0]);
    EXPECT_FALSE(IsWindowVisible(shot));
    ASSERT_TRUE(IsWindow(shot)) << "closed before the worker wrote the file";
    EXPECT_EQ(app.screenshotCount, 1u);
    EXPECT_TRUE(savedFiles().empty());

    runSavePass();
    deliverPostedMessages();
    EXPECT_FALSE(IsWindow(shot));
    EXPECT_EQ(app.screenshotCount, 0u);
    EXPECT_EQ(savedFiles().size(), 1u);
}

// Catches a hidden window lost, or shown elsewhere or after the message, when its file fails.
TEST_F(QuickSaveInProcess, AFileThatCannotBeWrittenBringsTheWindowBackWhereItWasWithTheMessage) {
    preferences.closeScreenshotOnSave = true;
    quickSaveScreenshot(*app.screenshots[0]);
    ASSERT_FALSE(IsWindowVisible(shot));
    fs::remove_all(quickSaveFolder); // gone before the worker writes

    std::atomic<bool> visibleWithMessage{false};
    std::atomic<bool> messageSeen{false};
    RECT shownAt{};
    std::thread watcher([&] {
        for (int i = 0; i < 250; ++i) {
            const HWND box = FindWindowA("#32770", "Quick Save");
            if (box && IsWindowVisible(box)) {
                messageSeen = true;
                visibleWithMessage = IsWindowVisible(shot) != FALSE;
                GetWindowRect(shot, &shownAt);
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                return;
            }
            Sleep(20);
        }
    });
    runSavePass();
    deliverPostedMessages();
    watcher.join();
    EXPECT_TRUE(messageSeen);
    EXPECT_TRUE(visibleWithMessage);
    EXPECT_TRUE(EqualRect(&shownAt, &placed));
    EXPECT_TRUE(IsWindow(shot));
    EXPECT_EQ(app.screenshotCount, 1u);
}

// Catches a window hidden although the user asked to keep it after a save.
TEST_F(QuickSaveInProcess, WithCloseAfterSaveOffTheWindowStaysShown) {
    preferences.closeScreenshotOnSave = false;
    quickSaveScreenshot(*app.screenshots[0]);
    EXPECT_TRUE(IsWindowVisible(shot));
    runSavePass();
    deliverPostedMessages();
    EXPECT_TRUE(IsWindowVisible(shot));
    EXPECT_EQ(savedFiles().size(), 1u);
}

} // namespace
