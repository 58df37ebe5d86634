// Screenshot records and windows under Wine: releasing them (shutdown, "Close
// All", WM_CLOSE: the cache file deleted unless it was handed out by
// drag and drop, never waiting for the save worker), and their window
// procedure's move, Escape and exception guard.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <thread>

#include "app/app.h"
#include "state/app_state.h"
#include "output/output.h"
#include "shots/shots.h"

// One allocation can be made to fail, as when memory runs out. The library's
// operator delete frees with free(), so it pairs with this one; not inlined, so
// that the compiler does not take malloc for a mismatch with delete.
std::atomic<bool> failNextAllocation{false};
[[gnu::noinline]] void* operator new(std::size_t size) {
    if (failNextAllocation.exchange(false))
        throw std::bad_alloc();
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

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

TEST(ReleaseScreenshot, DeletesTheCacheFile) {
    const std::string path = cacheFile("release.png");
    std::unique_ptr<ScreenshotWindow> slot = recordWithFile(path, false);
    releaseScreenshot(slot);
    EXPECT_EQ(slot, nullptr);
    EXPECT_FALSE(fs::exists(path));
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

std::atomic<bool> writerInside{false}, writerMayFinish{false};
void heldWrite(const SaveJob& job) {
    writerInside = true;
    while (!writerMayFinish)
        Sleep(1);
    writeSaveJob(job);
}

// Catches a close that waits for the worker (no window painted, the hook
// unserved), or the file being written at that moment staying behind.
TEST(ReleaseScreenshot, ClosingWhileItsFileIsWrittenNeverWaitsAndLeavesNoFile) {
    const std::string path = cacheFile("writing.bmp");
    fs::remove(path);
    const std::vector<std::uint8_t> pixels(8 * 8 * 4, 0x80);
    enqueueSave(path.c_str(), pixels.data(), 8, 8, bmpFormat);
    std::thread pass([] { runSavePass(heldWrite); });
    while (!writerInside)
        Sleep(1);
    std::unique_ptr<ScreenshotWindow> slot = recordWithFile(path, false);
    releaseScreenshot(slot);
    EXPECT_TRUE(savePending(path)) << "the close waited for the worker";
    writerMayFinish = true;
    pass.join();
    EXPECT_FALSE(fs::exists(path));
}

// A "Capped" window with a record in slot 0.
HWND screenshotWindowInSlot0(const std::string& cacheName) {
    WNDCLASSEXA info{};
    info.cbSize = sizeof(info);
    if (!GetClassInfoExA(GetModuleHandleA(nullptr), screenshotWindowClass, &info)) {
        EXPECT_TRUE(registerWindowClasses());
    }
    app.instance = GetModuleHandleA(nullptr);
    app.screenshots.clear();
    app.screenshots.resize(screenshotSlots);
    app.screenshotIndex.clear();
    const HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, screenshotWindowClass, "", WS_POPUP, 100, 100, 8, 8, nullptr,
                                        nullptr, app.instance, nullptr);
    app.screenshotIndex.emplace(window, 0);
    app.screenshots[0] = recordWithFile(cacheFile(cacheName), false);
    app.screenshots[0]->hwnd = window;
    app.screenshotCount = 1;
    return window;
}

// Catches a move that outlives a lost mouse capture: the window would follow
// the pointer with no button held, and its menu would not open.
TEST(ScreenshotWindowProc, LosingTheMouseCaptureEndsAMove) {
    const HWND window = screenshotWindowInSlot0("moving.png");
    ASSERT_NE(window, nullptr);
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ASSERT_TRUE(app.screenshots[0]->moving);
    const HWND other = plainWindow();
    SetCapture(other); // a system dialog or another program takes it
    EXPECT_FALSE(app.screenshots[0]->moving);
    ReleaseCapture();
    DestroyWindow(other);
    closeAllScreenshots();
}

// Catches an exception unwinding through the system's dispatch (memory running
// out while the window handles a press): the program ends as the entry point would.
TEST(ScreenshotWindowProcDeathTest, AnExceptionEndsTheProgramWithCodeZero) {
    const HWND window = screenshotWindowInSlot0("a-cache-name-too-long-for-in-place-storage.png");
    ASSERT_NE(window, nullptr);
    EXPECT_EXIT(
        {
            failNextAllocation = true;
            SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, 0);
        },
        ::testing::ExitedWithCode(0), "");
    failNextAllocation = false;
    closeAllScreenshots();
}

// Catches Alt+F4 (or any WM_CLOSE) destroying the window through the default
// handling while its record, pixels and cache file stay until the program ends.
TEST(ScreenshotWindowProc, WmCloseClosesItAsAClickDoes) {
    const HWND window = screenshotWindowInSlot0("alt-f4.png");
    ASSERT_NE(window, nullptr);
    const std::string path = app.screenshots[0]->cachePath;
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(app.screenshotCount, 0u);
    EXPECT_TRUE(app.screenshotIndex.empty());
    EXPECT_EQ(app.screenshots[0], nullptr);
    EXPECT_FALSE(fs::exists(path)) << "the cache file stayed";
}

// Catches an Escape that cancelled a capture closing the pin that gets the
// keyboard once the overlays are gone, or a held one (repeat bit) closing it.
TEST(ScreenshotWindowProc, OnlyAFreshEscapeCloses) {
    const HWND window = screenshotWindowInSlot0("escape.png");
    ASSERT_NE(window, nullptr);
    app.escapeCancelledCapture = true;
    SendMessageA(window, WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_TRUE(IsWindow(window)) << "the capture's Escape closed it";
    app.escapeCancelledCapture = false;
    SendMessageA(window, WM_KEYDOWN, VK_ESCAPE, 1 | (1 << 30));
    EXPECT_TRUE(IsWindow(window)) << "a held Escape closed it";
    SendMessageA(window, WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(app.screenshotCount, 0u);
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
