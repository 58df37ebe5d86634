// Start-up steps of the application shell under Wine: a refused class
// registration, the program folder, the cache clean-up, the tray window and
// its menu, the monitor table.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "app/app.h"
#include "state/app_state.h"
#include "capture/monitors.h"
#include "options/options.h"
#include "prefs/prefs.h"
#include "shots/cache.h"
#include "shots/shots.h"

namespace fs = std::filesystem;

namespace {

std::string freshFolder(const std::string& name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    const fs::path folder = fs::path(temp) / ("orvane-win-" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder.string() + "\\";
}

void touch(const std::string& path) { std::ofstream(path, std::ios::binary) << "x"; }

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

bool classRegistered(const char* name) {
    WNDCLASSEXA info{};
    info.cbSize = sizeof(info);
    return GetClassInfoExA(GetModuleHandleA(nullptr), name, &info) != FALSE;
}

void ensureShellClasses() {
    if (!classRegistered(trayWindowClass)) {
        ASSERT_TRUE(registerWindowClasses());
    }
}

// Catches a registration that ignores the system's refusal: start-up ends with code 12 on it.
TEST(ShellClasses, ARefusedRegistrationIsReported) {
    ensureShellClasses();
    EXPECT_FALSE(registerWindowClasses()); // registered already
}

TEST(ProgramFolder, IsTheFolderOfTheRunningProgram) {
    const std::string folder = moduleFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_TRUE(fs::exists(folder + "orvane_win_tests.exe")) << folder;
}

TEST(CacheCleanup, DeletesImagesAndCutShortSavesDirectlyInTheFolderAndNothingElse) {
    const std::string folder = freshFolder("cache");
    fs::create_directories(folder + "folder.png");
    fs::create_directories(folder + "sub");
    for (const char* name :
         {"1.jpg", "2.png", "3.bmp", "4.JPG", "5.png.part", "keep.txt", "keep.jpeg", "keep.png.txt",
          "a.pngold" /* its short name ends in .PNG */, "notes.txt.part", "sub\\6.png", "folder.png\\7.png"})
        touch(folder + name);
    cleanCacheFolder(folder);
    EXPECT_EQ(namesIn(folder), (std::set<std::string>{"a.pngold", "folder.png", "keep.jpeg", "keep.png.txt", "keep.txt",
                                                      "notes.txt.part", "sub"}));
    EXPECT_EQ(namesIn(folder + "sub"), std::set<std::string>{"6.png"});
    EXPECT_EQ(namesIn(folder + "folder.png"), std::set<std::string>{"7.png"});
}

TEST(CacheCleanup, AMissingFolderIsFine) {
    const std::string folder = freshFolder("cache-missing") + "VELTO_CACHE\\";
    cleanCacheFolder(folder);
    EXPECT_FALSE(fs::exists(folder));
}

TEST(CacheCleanup, NoCacheFolderNeverTouchesTheCurrentDirectory) {
    const std::string folder = freshFolder("cache-none");
    touch(folder + "mine.jpg");
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof(previous), previous);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    cleanCacheFolder("");
    SetCurrentDirectoryA(previous);
    EXPECT_TRUE(fs::exists(folder + "mine.jpg"));
}

TEST(Menus, TheTrayWindowMakesTheTrayMenuWhenCreated) {
    ensureShellClasses();
    app.instance = GetModuleHandleA(nullptr);
    app.trayMenu = nullptr;
    ASSERT_TRUE(createTrayWindow());
    EXPECT_FALSE(IsWindowVisible(app.trayWindow));
    // Catches a message-only tray window: it would never hear that the session ends.
    EXPECT_EQ(GetAncestor(app.trayWindow, GA_PARENT), GetDesktopWindow());
    char title[8] = {};
    GetWindowTextA(app.trayWindow, title, sizeof(title));
    EXPECT_STREQ(title, ".");
    EXPECT_NE(app.trayMenu, nullptr);

    // A press or a move over the icon opens nothing and returns at once.
    EXPECT_EQ(SendMessageA(app.trayWindow, trayCallbackMessage, trayIconId, WM_LBUTTONDOWN), 0);
    EXPECT_EQ(SendMessageA(app.trayWindow, trayCallbackMessage, trayIconId, WM_MOUSEMOVE), 0);
    // Catches a pointer taken from lParam: any program may post WM_APP + 5, and 1 was read as a rectangle.
    PostMessageA(app.trayWindow, WM_APP + 5, 1, 1);
    MSG msg{};
    while (PeekMessageA(&msg, app.trayWindow, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    EXPECT_TRUE(IsWindow(app.trayWindow));
    DestroyWindow(app.trayWindow);
    DestroyMenu(app.trayMenu);
    app.trayWindow = nullptr;
    app.trayMenu = nullptr;
}

TEST(Monitors, TheTableHoldsTheScreenOfThisDisplay) {
    SetProcessDPIAware();
    MonitorTable table;
    ASSERT_TRUE(enumerateMonitors(table));
    ASSERT_EQ(table.size(), static_cast<std::size_t>(GetSystemMetrics(SM_CMONITORS)));
    const MonitorRect& primary = table[0];
    EXPECT_EQ(primary.x, 0);
    EXPECT_EQ(primary.y, 0);
    EXPECT_EQ(primary.width, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(primary.height, GetSystemMetrics(SM_CYSCREEN));
    // A second enumeration starts afresh instead of appending.
    ASSERT_TRUE(enumerateMonitors(table));
    EXPECT_EQ(table.size(), static_cast<std::size_t>(GetSystemMetrics(SM_CMONITORS)));
}

} // namespace
