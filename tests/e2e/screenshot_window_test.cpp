// Living with a pinned screenshot, as its user does: moving it, closing it
// with a click, its menu, Quick Save, Copy. Real windows, files and clipboard.
#include <gtest/gtest.h>

#include <algorithm>

#include "driver.h"

using namespace driver;

namespace {

constexpr POINT patternAt{150, 120};
constexpr int patternWidth = 480;
constexpr int patternHeight = 360;
constexpr DWORD screenSettles = 3000;
constexpr int shotMenuItems = 4; // Save As, Quick Save, Copy, Close All

class ScreenshotWindowUse : public ::testing::Test {
protected:
    void SetUp() override {
        resetProfile();
        quickFolder = scratchFolder("quick-save");
        writeSettings(true);
        pattern = std::make_unique<PatternWindow>(patternAt, testPicture(patternWidth, patternHeight));
        iconsBefore = trayIcons();
        process = std::make_unique<Process>();
        ASSERT_TRUE(process->started());
        orvane = std::make_unique<RunningOrvane>(RunningOrvane{*process});
        ASSERT_TRUE(waitForStartUp(*process, iconsBefore, *orvane));
        ASSERT_TRUE(waitUntil(
            [&] { return grabScreen().crop(pattern->rect()).sameColours(testPicture(patternWidth, patternHeight)); },
            screenSettles));
    }

    void TearDown() override {
        if (process && process->running()) {
            EXPECT_TRUE(chooseTrayItem(*orvane, exitItem));
            EXPECT_EQ(process->waitForExit(5000), 0u);
        }
    }

    // prefs.txt: close after Quick Save as given, grey selection, PNG, the scratch Quick Save folder.
    void writeSettings(bool closeOnSave, const std::string& folder = "") {
        CreateDirectoryA(settingsFolder().c_str(), nullptr);
        writeFile(settingsFolder() + "prefs.txt", std::string(closeOnSave ? "1" : "0") +
                                                      ":1:1:" + (folder.empty() ? quickFolder : folder) +
                                                      "\nresizeScreenshotWindows=0\n");
    }

    std::vector<HWND> shots() const { return visibleWindows(process->id(), screenshotClass); }

    // PrintScreen, a drag over `rect`, and the new pinned window.
    HWND pin(const RECT& rect) {
        pressKey(VK_SNAPSHOT);
        if (!waitUntil([&] { return !visibleWindows(process->id(), overlayClass).empty(); }, 5000))
            return nullptr;
        const std::vector<HWND> before = shots();
        drag({rect.left, rect.top}, {rect.right, rect.bottom});
        HWND made = nullptr;
        waitUntil(
            [&] {
                for (HWND window : shots())
                    if (std::find(before.begin(), before.end(), window) == before.end())
                        made = window;
                return made != nullptr;
            },
            3000);
        // Let its cache file be written before the tests look at the folder.
        waitUntil([] { return !cacheImageFiles().empty(); }, 3000);
        return made;
    }

    void chooseShotItem(HWND shot, int item) {
        click(centreOf(windowRect(shot)), Button::right);
        const HWND menu = waitForPopupMenu(process->id(), 3000);
        ASSERT_NE(menu, nullptr) << "the screenshot menu did not open";
        clickMenuItem(menu, item, shotMenuItems);
    }

    std::string quickFolder;
    std::unique_ptr<PatternWindow> pattern;
    std::vector<HWND> iconsBefore;
    std::unique_ptr<Process> process;
    std::unique_ptr<RunningOrvane> orvane;
};

const RECT area{200, 160, 360, 280};

bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST_F(ScreenshotWindowUse, ADragMovesItAndAPlainClickClosesItWithItsCacheFile) {
    const Screenshot before = grabScreen();
    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    ASSERT_EQ(cacheImageFiles().size(), 1u);

    drag({250, 200}, {330, 260});
    EXPECT_TRUE(waitUntil(
        [&] {
            return sameRect(windowRect(shot), {280, 220, 440, 340});
        },
        3000))
        << "the window did not follow the pointer";
    EXPECT_TRUE(GetWindowLongPtrA(shot, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(waitUntil(
        [&] {
            return grabScreen().crop({281, 221, 439, 339}).sameColours(before.crop({201, 161, 359, 279}));
        },
        screenSettles))
        << "the moved window does not show its picture";
    EXPECT_TRUE(IsWindow(shot)) << "a drag to another place must not close it";

    click({300, 250});
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(shot); }, 3000)) << "a plain click did not close it";
    EXPECT_TRUE(waitUntil([] { return cacheImageFiles().empty(); }, 3000)) << "its cache file was not deleted";
}

TEST_F(ScreenshotWindowUse, ADragThatEndsWhereItBeganClosesIt) {
    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    moveMouse({250, 200});
    Sleep(40);
    buttonDown();
    for (POINT p : {POINT{280, 230}, POINT{300, 240}, POINT{250, 200}}) {
        Sleep(30);
        moveMouse(p);
    }
    Sleep(40);
    buttonUp();
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(shot); }, 3000));
}

TEST_F(ScreenshotWindowUse, QuickSaveWritesTheCapturedPixelsAndClosesTheWindow) {
    const Screenshot before = grabScreen();
    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    chooseShotItem(shot, 1);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(shot); }, 3000)) << "closeScreenshotOnSave is on";
    std::vector<std::string> saved;
    ASSERT_TRUE(waitUntil([&] { return (saved = fileNamesIn(quickFolder)).size() == 1; }, 3000));
    EXPECT_EQ(saved.front().rfind("ScreenCapture", 0), 0u) << saved.front();
    EXPECT_EQ(saved.front().substr(saved.front().size() - 4), ".png");
    const Screenshot file = decodeImageFile(quickFolder + saved.front());
    EXPECT_TRUE(file.sameColours(before.crop(area))) << "the saved file does not hold the captured pixels";
}

TEST_F(ScreenshotWindowUse, TwoQuickSavesInOneSecondKeepBothFiles) {
    writeSettings(false); // read at start-up: restart with the new settings
    ASSERT_TRUE(chooseTrayItem(*orvane, exitItem));
    ASSERT_EQ(process->waitForExit(5000), 0u);
    process = std::make_unique<Process>();
    orvane = std::make_unique<RunningOrvane>(RunningOrvane{*process});
    ASSERT_TRUE(waitForStartUp(*process, trayIcons(), *orvane));

    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    chooseShotItem(shot, 1);
    chooseShotItem(shot, 1);
    std::vector<std::string> saved;
    EXPECT_TRUE(waitUntil([&] { return (saved = fileNamesIn(quickFolder)).size() == 2; }, 4000))
        << saved.size() << " file(s)";
    EXPECT_TRUE(IsWindow(shot)) << "closeScreenshotOnSave is off";
}

TEST_F(ScreenshotWindowUse, AQuickSaveFolderThatCannotBeMadeKeepsTheWindowAndSaysSo) {
    // A file where a folder level should be: the folder cannot be created.
    writeFile(quickFolder + "blocker", "x");
    writeSettings(true, quickFolder + "blocker/shots/");
    ASSERT_TRUE(chooseTrayItem(*orvane, exitItem));
    ASSERT_EQ(process->waitForExit(5000), 0u);
    process = std::make_unique<Process>();
    orvane = std::make_unique<RunningOrvane>(RunningOrvane{*process});
    ASSERT_TRUE(waitForStartUp(*process, trayIcons(), *orvane));

    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    chooseShotItem(shot, 1);
    HWND message = nullptr;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (HWND window : topLevelWindows(process->id()))
                if (IsWindowVisible(window) && windowTitle(window) == "Quick Save")
                    message = window;
            return message != nullptr;
        },
        3000))
        << "no message";
    PostMessageA(message, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(message); }, 3000));
    EXPECT_TRUE(IsWindow(shot)) << "a screenshot that could not be saved must stay";
}

TEST_F(ScreenshotWindowUse, CopyPutsTheCapturedPixelsOnTheClipboardAndTheyOutliveTheWindow) {
    const Screenshot before = grabScreen();
    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    chooseShotItem(shot, 2);
    ASSERT_TRUE(waitUntil([] { return IsClipboardFormatAvailable(CF_BITMAP) != 0; }, 3000));
    click({300, 250}); // close the window
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(shot); }, 3000));

    ASSERT_TRUE(OpenClipboard(nullptr));
    const HBITMAP bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
    ASSERT_NE(bitmap, nullptr);
    BITMAP info{};
    GetObjectA(bitmap, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, area.right - area.left);
    EXPECT_EQ(info.bmHeight, area.bottom - area.top);
    BITMAPINFO request{};
    request.bmiHeader.biSize = sizeof(request.bmiHeader);
    request.bmiHeader.biWidth = info.bmWidth;
    request.bmiHeader.biHeight = -info.bmHeight; // top-down
    request.bmiHeader.biPlanes = 1;
    request.bmiHeader.biBitCount = 32;
    request.bmiHeader.biCompression = BI_RGB;
    Screenshot pasted;
    pasted.width = info.bmWidth;
    pasted.height = info.bmHeight;
    pasted.bgra.resize(std::size_t(info.bmWidth) * std::size_t(info.bmHeight) * 4);
    const HDC screen = GetDC(nullptr);
    EXPECT_EQ(
        GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.bmHeight), pasted.bgra.data(), &request, DIB_RGB_COLORS),
        info.bmHeight);
    ReleaseDC(nullptr, screen);
    CloseClipboard();
    EXPECT_TRUE(pasted.sameColours(before.crop(area))) << "the clipboard does not hold the captured pixels";
}

} // namespace
