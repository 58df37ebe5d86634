// Start-up, the tray icon and its menu, a second copy, and the end of the
// program, as a user meets them.
#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <cctype>
#include <set>

#include "scenario.h"

using namespace driver;

namespace {

// Whether `process` has a module of this file name (letter case aside) loaded.
bool moduleLoaded(DWORD process, std::string name) {
    const auto lower = [](std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    name = lower(name);
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    MODULEENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = Module32First(snapshot, &entry); more && !found; more = Module32Next(snapshot, &entry))
        found = lower(entry.szModule) == name;
    CloseHandle(snapshot);
    return found;
}

class TrayProgram : public OrvaneScenario {
protected:
    void SetUp() override {
        OrvaneScenario::SetUp();
        iconsBefore = trayIcons();
        ASSERT_NO_FATAL_FAILURE(start());
    }

    std::vector<HWND> iconsBefore;
};

TEST_F(TrayProgram, StartUpShowsNoWindowAndAddsOneIcon) {
    EXPECT_EQ(trayIcons().size(), iconsBefore.size() + 1);
    const std::set<std::string> programClasses = {"Screen Capture",  "Screen Capture2", "Capped",
                                                  "QV_DefaultWProc", "OLabel",          "Screen Capture Options Menu"};
    for (HWND window : topLevelWindows(orvane.id())) {
        EXPECT_FALSE(IsWindowVisible(window)) << className(window) << " is visible";
        EXPECT_EQ(programClasses.count(className(window)), 0u) << className(window);
    }
    EXPECT_FALSE(IsWindowVisible(orvane.trayWindow()));
    EXPECT_EQ(windowTitle(orvane.trayWindow()), ".");
    // The fresh profile gets its settings folder; the cache folder waits for the first screenshot.
    EXPECT_TRUE(fileExists(settingsFolder()));
    EXPECT_FALSE(fileExists(cacheFolder()));
}

// Catches a first capture that still has to load dxgi.dll and make the DXGI factory itself.
TEST_F(TrayProgram, DesktopDuplicationIsMadeReadyWithoutACapture) {
    EXPECT_TRUE(waitUntil([&] { return moduleLoaded(orvane.id(), "dxgi.dll"); }, 5000))
        << "dxgi.dll was not loaded after start-up";
}

TEST_F(TrayProgram, ASecondCopyEndsAtOnceWithCodeZeroAndAddsNothing) {
    Process second;
    ASSERT_TRUE(second.started());
    EXPECT_EQ(second.waitForExit(3000), 0u);
    EXPECT_EQ(trayIcons().size(), iconsBefore.size() + 1); // what it added, it added before it ended
    std::size_t trayWindows = 0;
    for (HWND window : topLevelWindows())
        trayWindows += className(window) == trayWindowClass;
    EXPECT_EQ(trayWindows, 1u);
    EXPECT_TRUE(orvane.running());
    // The first copy goes on undisturbed: its menu still opens.
    ASSERT_NE(orvane.openTrayMenu(), nullptr);
    pressKey(VK_ESCAPE);
    EXPECT_TRUE(waitUntil([&] { return !popupMenuOpen(orvane.id()); }, 3000));
}

class TrayMenuButton : public TrayProgram, public ::testing::WithParamInterface<Button> {};

TEST_P(TrayMenuButton, AReleaseOverTheIconOpensTheMenuAtTheCursor) {
    const POINT at = centreOf(windowRect(orvane.icon()));
    const HWND menu = orvane.openTrayMenu(GetParam());
    ASSERT_NE(menu, nullptr);
    const RECT rect = windowRect(menu);
    // The system may move a menu that would leave the screen, never far from the cursor.
    EXPECT_LE(std::abs(rect.left - at.x), rect.right - rect.left);
    EXPECT_LE(std::abs(rect.top - at.y), rect.bottom - rect.top);
    EXPECT_GT(rect.bottom - rect.top, 4 * 8); // four items
    pressKey(VK_ESCAPE);
    EXPECT_TRUE(waitUntil([&] { return !popupMenuOpen(orvane.id()); }, 3000));
    EXPECT_TRUE(orvane.running());
}

INSTANTIATE_TEST_SUITE_P(Buttons, TrayMenuButton, ::testing::Values(Button::left, Button::right),
                         [](const auto& test) { return test.param == Button::left ? "Left" : "Right"; });

TEST_F(TrayProgram, APressOrAMoveOverTheIconOpensNothing) {
    for (UINT mouse : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_LBUTTONDBLCLK, WM_MBUTTONUP})
        EXPECT_EQ(orvane.relayIconMouse(mouse), nullptr) << mouse;
    // The callback the icon sends for a release does open it.
    EXPECT_NE(orvane.relayIconMouse(WM_RBUTTONUP), nullptr);
    pressKey(VK_ESCAPE);
    EXPECT_TRUE(waitUntil([&] { return !popupMenuOpen(orvane.id()); }, 3000));
}

TEST_F(TrayProgram, ExitEndsTheProgramWithinASecondAndRemovesTheIcon) {
    const HWND menu = orvane.openTrayMenu();
    ASSERT_NE(menu, nullptr);
    double chosen = 0;
    ASSERT_TRUE(orvane.chooseMenuItem(menu, exitItem, trayItemCount, &chosen)) << orvane.failure();
    EXPECT_EQ(orvane.process().waitForExit(1000), 0u);
    EXPECT_LE(nowMs() - chosen, 1000.0);
    EXPECT_TRUE(waitUntil([&] { return trayIcons().size() == iconsBefore.size(); }, 2000));
}

TEST_F(TrayProgram, DismissingTheMenuOrChoosingAStubLeavesTheProgramRunning) {
    // "Begin Capture" has scenarios of its own (capture_test.cpp).
    for (TrayItem item : {optionsItem, closeAllItem}) {
        ASSERT_TRUE(orvane.chooseTrayItem(item)) << item;
        orvane.settle(); // the choice is handled: an exit would be under way
        EXPECT_TRUE(orvane.running()) << item;
    }
}

TEST_F(TrayProgram, TheIconComesBackWhenExplorerRestarts) {
    // What Explorer's restart does to the program: its icon is gone...
    NOTIFYICONDATAA icon{};
    icon.cbSize = sizeof(icon);
    icon.hWnd = orvane.trayWindow();
    icon.uID = 1;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &icon));
    ASSERT_TRUE(waitUntil([&] { return trayIcons().size() == iconsBefore.size(); }, 3000));
    // ...and every top-level window hears "TaskbarCreated".
    PostMessageA(orvane.trayWindow(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    ASSERT_TRUE(orvane.waitForIcon(iconsBefore, 3000)) << "the icon did not come back";
    EXPECT_EQ(trayIcons().size(), iconsBefore.size() + 1);
    // The new icon works like the old one; TearDown chooses Exit through it.
}

} // namespace
