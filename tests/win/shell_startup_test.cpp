// Start-up steps of the application shell under Wine: window classes, the
// program folder, the cache clean-up, the two menus, the monitor table and
// the selection colour check.
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

TEST(ShellClasses, FiveClassesRegisteredOnceWithTheirStyles) {
    ensureShellClasses();
    struct Expected {
        const char* name;
        UINT style;
    };
    const Expected classes[] = {{"Screen Capture", 0},
                                {"Screen Capture2", 0},
                                {"Capped", 0},
                                {"ScreenCaptureSysTray", CS_HREDRAW | CS_VREDRAW},
                                {"QV_DefaultWProc", CS_HREDRAW | CS_VREDRAW}};
    for (const Expected& expected : classes) {
        WNDCLASSEXA info{};
        info.cbSize = sizeof(info);
        ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), expected.name, &info)) << expected.name;
        EXPECT_EQ(info.style, expected.style) << expected.name;
        EXPECT_EQ(info.hCursor, nullptr) << expected.name; // the procedures set the cursor
        EXPECT_EQ(info.hbrBackground, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)));
        EXPECT_NE(info.hIcon, nullptr) << expected.name;
    }
    // Registered twice, the classes fail: the condition under which start-up ends with code 12.
    EXPECT_FALSE(registerWindowClasses());
}

TEST(ProgramFolder, IsTheFolderOfTheRunningProgram) {
    const std::string folder = moduleFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_TRUE(fs::exists(folder + "orvane_win_tests.exe")) << folder;
}

TEST(CacheCleanup, DeletesJpgPngAndBmpFilesAndNothingElse) {
    const std::string folder = freshFolder("cache");
    for (const char* name : {"1.jpg", "2.png", "3.bmp", "4.JPG", "keep.txt", "keep.jpeg", "keep.png.txt"})
        touch(folder + name);
    fs::create_directory(folder + "folder.png");
    cleanCacheFolder(folder);
    EXPECT_EQ(namesIn(folder), (std::set<std::string>{"folder.png", "keep.jpeg", "keep.png.txt", "keep.txt"}));
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

struct MenuItem {
    UINT id;
    const char* text;
};

void expectMenu(HMENU menu, std::initializer_list<MenuItem> items) {
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(items.size()));
    int position = 0;
    for (const MenuItem& item : items) {
        EXPECT_EQ(GetMenuItemID(menu, position), item.id);
        char text[64] = {};
        GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof(text), MF_BYPOSITION);
        EXPECT_STREQ(text, item.text);
        ++position;
    }
}

TEST(Menus, TheScreenshotMenu) {
    HMENU menu = createShotMenu();
    expectMenu(menu, {{1000, "Save As"}, {1003, "Quick Save"}, {1001, "Copy"}, {1002, "Close All"}});
    DestroyMenu(menu);
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
    expectMenu(app.trayMenu, {{999, "Begin Capture"}, {1000, "Options"}, {1001, "Close All"}, {1002, "Exit"}});

    // A press or a move over the icon opens nothing and returns at once.
    EXPECT_EQ(SendMessageA(app.trayWindow, trayCallbackMessage, trayIconId, WM_LBUTTONDOWN), 0);
    EXPECT_EQ(SendMessageA(app.trayWindow, trayCallbackMessage, trayIconId, WM_MOUSEMOVE), 0);
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
