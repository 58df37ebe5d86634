// The options window as a user meets it: "Options" in the tray menu, what the
// window shows, clicks that act on release, the folder dialog, typing a
// folder, closing, and what prefs.txt and a restart make of it. Wine reports
// every monitor at 100 %, so the window opens at 100 % here (150 % is in the
// Win32 tests). A capture taken with the window still open shows that a
// swatch or format click acts at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "scenario.h"

using namespace driver;

namespace {

constexpr COLORREF grey = RGB(60, 60, 60);
constexpr COLORREF yellow = RGB(255, 255, 0);
constexpr COLORREF white = RGB(255, 255, 255);

enum Child : std::size_t {
    firstSwatch = 5,
    browseButton = 11,
    jpgChoice = 12,
    pngChoice = 13,
    bmpChoice = 14,
    closeToggle = 15,
    resizeToggle = 17,
    pathBox = 18,
};

std::string prefsFile() { return prefsPath(); }

// The edit control keeps its text itself: ask it.
std::string boxText(HWND box) { return controlText(box); }

bool tick(COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) > 200 && GetBValue(c) > 200; }

// One orvane.exe with its options window.
class OptionsProgram : public OrvaneScenario {
protected:
    void stop() { EXPECT_EQ(orvane.stop(), 0u) << orvane.failure(); }

    HWND openOptions() {
        window_ = orvane.openOptions();
        EXPECT_NE(window_, nullptr) << orvane.failure();
        return window_;
    }
    HWND child(std::size_t index) const { return orvane.optionsChild(index); }
    POINT centreOfChild(std::size_t index) const { return centreOf(windowRect(child(index))); }
    // A click on a control, taken once the window's thread has handled it.
    void clickChild(std::size_t index) {
        click(centreOfChild(index));
        inputTaken(window_);
    }
    // The pixel at (x, y) of the client area, in a fresh picture of the screen.
    COLORREF pixel(int x, int y) const { return clientPicture().pixel(x, y); }
    // Waits (up to 2 s) for the window to repaint the pixel at (x, y) as wanted.
    bool showsWithin(int x, int y, const std::function<bool(COLORREF)>& wanted) const {
        return waitUntil([&] { return wanted(pixel(x, y)); }, 2000);
    }
    bool shows(int x, int y, COLORREF colour) const {
        return showsWithin(x, y, [colour](COLORREF seen) { return seen == colour; });
    }
    bool showsTick(int x, int y, bool on) const {
        return showsWithin(x, y, [on](COLORREF seen) { return tick(seen) == on; });
    }
    // The client area once the window's thread has painted what it was asked to.
    Picture clientPicture() const {
        painted(window_);
        RECT client{};
        GetClientRect(window_, &client);
        MapWindowPoints(window_, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
        return grabScreen(client);
    }
    bool closeOptions() { return orvane.closeOptions(); }
    void typeIntoBox(const std::string& text) {
        ASSERT_TRUE(typeInto(child(pathBox), text)) << boxText(child(pathBox));
    }
    // PrintScreen, then the left button pressed at one corner of `rect` and
    // moved to the other, held there.
    bool beginSelection(const RECT& rect) {
        if (!orvane.startCapture() || !orvane.pressInOverlay({rect.left, rect.top}))
            return false;
        moveMouse({rect.right, rect.bottom});
        inputTaken(POINT{rect.right, rect.bottom});
        // The selection rectangle follows one move behind.
        nudgeMouse({rect.right, rect.bottom});
        return true;
    }
    HWND waitForFolderDialog() {
        return waitUntil([&] { return !orvane.windows(dialogClass).empty(); }, 3000)
                   ? orvane.windows(dialogClass).front()
                   : nullptr;
    }

    HWND window_ = nullptr;
};

TEST_F(OptionsProgram, OptionsOpensTheWindowAtOneHundredPercentWithItsNineteenControls) {
    ASSERT_NO_FATAL_FAILURE(start());
    const HWND window = openOptions();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(windowTitle(window), "Lumagrab Options");
    EXPECT_TRUE(IsWindowVisible(window));
    const RECT frame = windowRect(window);
    EXPECT_EQ(frame.left, 300);
    EXPECT_EQ(frame.top, 300);
    EXPECT_EQ(frame.right - frame.left, 400);
    EXPECT_EQ(frame.bottom - frame.top, 260);
    // Caption, system menu, sizing frame, minimise box; the system adds the visible and sibling bits.
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)) & ~(WS_VISIBLE | WS_CLIPSIBLINGS), 0x00CE0000u);

    // Each child's class, style and place is the layout table's, checked in-process
    // by OptionsWindowAtScale; here only that the program builds them all.
    EXPECT_EQ(childWindows(window).size(), 19u);
    EXPECT_EQ(boxText(childWindows(window).at(pathBox)), "C:/Users/" + userName() + "/Desktop/");

    // A second "Options" opens no second window.
    ASSERT_TRUE(orvane.chooseTrayItem(optionsItem)) << orvane.failure();
    orvane.settle(); // a second window would be made by now
    EXPECT_EQ(orvane.windows(optionsClass), std::vector<HWND>{window});
    EXPECT_EQ(windowRect(window).left, 300);
}

TEST_F(OptionsProgram, TheWindowShowsTheSettingsInItsFixedColours) {
    ASSERT_NO_FATAL_FAILURE(start());
    const HWND window = openOptions();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(shows(164, 39, yellow));
    const Picture p = clientPicture();
    EXPECT_EQ(p.pixel(300, 200), grey); // the window's own background
    EXPECT_EQ(p.pixel(3, 3), grey);     // a label's
    const COLORREF fills[] = {RGB(0, 0, 0),   RGB(96, 96, 96), RGB(200, 200, 200),
                              RGB(128, 0, 0), RGB(0, 128, 0),  RGB(0, 0, 128)};
    for (int i = 0; i < 6; ++i) {
        const int x = 140 + 24 * i;
        EXPECT_EQ(p.pixel(x + 10, 49), fills[i]) << "swatch " << i;
        // Swatch 1, the stored selection colour by default, has the yellow outline.
        EXPECT_EQ(p.pixel(x, 39), i == 1 ? yellow : fills[i]) << "swatch " << i;
        EXPECT_EQ(p.pixel(x + 19, 58), i == 1 ? yellow : fills[i]) << "swatch " << i;
    }
    EXPECT_EQ(p.pixel(180, 99), yellow); // PNG, the default format
    EXPECT_EQ(p.pixel(140, 99), grey);
    EXPECT_EQ(p.pixel(220, 99), grey);
    EXPECT_EQ(p.pixel(220, 129), white); // close after Quick Save: on, the check mark in a white frame
    EXPECT_EQ(p.pixel(222, 131), grey);
    EXPECT_TRUE(tick(p.pixel(228, 143)));
    EXPECT_EQ(p.pixel(220, 159), white); // resize: off, a white outline on grey
    EXPECT_EQ(p.pixel(230, 169), grey);
    EXPECT_EQ(p.pixel(340, 69), RGB(0, 0, 0)); // browse: black outline on white
    EXPECT_EQ(p.pixel(342, 86), white);

    std::filesystem::create_directories(driverFolder() + "pictures");
    grabScreen(windowRect(window)).savePng(driverFolder() + "pictures\\options-100.png");
}

TEST_F(OptionsProgram, StoredSettingsAreShownSelectedWhenTheWindowOpens) {
    writeFile(prefsFile(), "0:4:2:D:/Shots/\r\nresizeScreenshotWindows=1\r\n");
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NE(openOptions(), nullptr);
    ASSERT_TRUE(shows(236, 39, yellow)); // swatch 4
    const Picture p = clientPicture();
    EXPECT_EQ(p.pixel(164, 39), RGB(96, 96, 96));
    EXPECT_EQ(p.pixel(220, 99), yellow); // BMP
    EXPECT_EQ(p.pixel(180, 99), grey);
    EXPECT_FALSE(tick(p.pixel(228, 143))); // close after Quick Save: off
    EXPECT_TRUE(tick(p.pixel(228, 173)));  // resize: on
    EXPECT_EQ(boxText(child(pathBox)), "D:/Shots/");
}

TEST_F(OptionsProgram, PressesDoNothingAndReleasesAct) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NE(openOptions(), nullptr);
    pressLeft(centreOfChild(firstSwatch + 3));
    EXPECT_EQ(pixel(164, 39), yellow) << "a press moved the outline";
    EXPECT_EQ(pixel(212, 39), RGB(128, 0, 0));
    releaseLeft();
    EXPECT_TRUE(shows(212, 39, yellow));
    EXPECT_EQ(pixel(164, 39), RGB(96, 96, 96));

    pressLeft(centreOfChild(bmpChoice));
    EXPECT_EQ(pixel(220, 99), grey);
    releaseLeft();
    EXPECT_TRUE(shows(220, 99, yellow));
    EXPECT_EQ(pixel(180, 99), grey);

    pressLeft(centreOfChild(resizeToggle));
    EXPECT_FALSE(tick(pixel(228, 173)));
    releaseLeft();
    EXPECT_TRUE(showsTick(228, 173, true));

    // Nothing reaches the file before the window closes.
    EXPECT_FALSE(fileExists(prefsFile()));
    ASSERT_TRUE(closeOptions());
    EXPECT_EQ(readFile(prefsFile()), "1:3:2:C:/Users/($User)/Desktop/\r\nresizeScreenshotWindows=1\r\n");
}

TEST_F(OptionsProgram, TogglesAlternateBetweenOutlineAndCheckMark) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NE(openOptions(), nullptr);
    for (const bool on : {false, true, false}) {
        clickChild(closeToggle);
        EXPECT_TRUE(showsTick(228, 143, on)) << on;
        const Picture p = clientPicture();
        EXPECT_EQ(p.pixel(220, 129), white) << on;
        EXPECT_EQ(p.pixel(239, 148), white) << on;
        EXPECT_EQ(tick(p.pixel(228, 143)), on) << on;
        EXPECT_EQ(p.pixel(222, 131), grey) << on; // grey both ways: the box's fill, or the mark's background
    }
    ASSERT_TRUE(closeOptions());
    EXPECT_EQ(readFile(prefsFile()), "0:1:1:C:/Users/($User)/Desktop/\r\nresizeScreenshotWindows=0\r\n");
}

TEST_F(OptionsProgram, WithoutTheCheckMarkFileAnOnToggleShowsItsFrameAlone) {
    const std::string folder = scratchFolder("no-checkmark");
    for (const char* file : {"orvane.exe", "cursor.cur", "icon.ico"})
        std::filesystem::copy_file(driverFolder() + file, folder + file);
    ASSERT_NO_FATAL_FAILURE(start(folder + "orvane.exe"));
    ASSERT_NE(openOptions(), nullptr);
    ASSERT_TRUE(shows(164, 39, yellow));
    const Picture p = clientPicture();
    EXPECT_EQ(p.pixel(220, 129), white);
    EXPECT_EQ(p.pixel(239, 148), white);
    // Inside the frame, the class background (the system's window colour), not the mark.
    EXPECT_EQ(p.pixel(222, 131), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(p.pixel(230, 140), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(p.pixel(230, 169), grey); // the resize toggle, off, as ever
}

TEST_F(OptionsProgram, BrowsingPutsTheChosenFolderInTheBoxWithOneBackslash) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NE(openOptions(), nullptr);
    clickChild(browseButton);
    HWND dialog = waitForFolderDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(windowTitle(dialog), "Browse for Folder");
    // The dialog belongs to the options window: no second dialog, no close meanwhile.
    EXPECT_FALSE(IsWindowEnabled(window_));
    ASSERT_TRUE(selectFolderInDialog(dialog, {"Desktop", "My Computer", "(C:)", "windows"}));
    clickDialogButton(dialog, IDOK);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(dialog); }, 3000));
    EXPECT_TRUE(waitUntil([&] { return boxText(child(pathBox)) == "C:\\windows\\"; }, 2000)) << boxText(child(pathBox));
    EXPECT_TRUE(IsWindowEnabled(window_));

    // A drive root keeps its own backslash and gets one more.
    clickChild(browseButton);
    dialog = waitForFolderDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(selectFolderInDialog(dialog, {"Desktop", "My Computer", "(C:)"}));
    clickDialogButton(dialog, IDOK);
    EXPECT_TRUE(waitUntil([&] { return boxText(child(pathBox)) == "C:\\\\"; }, 3000)) << boxText(child(pathBox));

    // The close keeps a folder that already ends in "\" and stores it folded.
    ASSERT_TRUE(closeOptions());
    EXPECT_EQ(readFile(prefsFile()), "1:1:1:C:/\r\nresizeScreenshotWindows=0\r\n");
    ASSERT_NE(openOptions(), nullptr);
    EXPECT_EQ(boxText(child(pathBox)), "C:\\\\");
}

TEST_F(OptionsProgram, CancellingTheFolderDialogChangesNothing) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NE(openOptions(), nullptr);
    const std::string before = boxText(child(pathBox));
    clickChild(browseButton);
    const HWND dialog = waitForFolderDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(selectFolderInDialog(dialog, {"Desktop", "My Computer", "(C:)", "windows"}));
    clickDialogButton(dialog, IDCANCEL);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(dialog); }, 3000));
    inputTaken(window_); // back from the dialog: the box would be filled by now
    EXPECT_EQ(boxText(child(pathBox)), before);
    ASSERT_TRUE(closeOptions());
    EXPECT_EQ(readFile(prefsFile()), "1:1:1:C:/Users/($User)/Desktop/\r\nresizeScreenshotWindows=0\r\n");
}

TEST_F(OptionsProgram, ATypedFolderGetsItsSeparatorAndARestartReadsItBack) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NE(openOptions(), nullptr);
    typeIntoBox("C:/Shots");
    EXPECT_EQ(boxText(child(pathBox)), "C:/Shots");
    ASSERT_TRUE(closeOptions());
    EXPECT_EQ(readFile(prefsFile()), "1:1:1:C:/Shots/\r\nresizeScreenshotWindows=0\r\n");
    // The folder in use now, as the next window shows it.
    ASSERT_NE(openOptions(), nullptr);
    EXPECT_EQ(boxText(child(pathBox)), "C:/Shots/");
    clickChild(firstSwatch + 5);
    clickChild(jpgChoice);
    ASSERT_TRUE(closeOptions());
    EXPECT_EQ(readFile(prefsFile()), "1:5:0:C:/Shots/\r\nresizeScreenshotWindows=0\r\n");

    ASSERT_NO_FATAL_FAILURE(restart());
    ASSERT_NE(openOptions(), nullptr);
    EXPECT_EQ(boxText(child(pathBox)), "C:/Shots/");
    EXPECT_TRUE(shows(260, 39, yellow));
    EXPECT_TRUE(shows(140, 99, yellow));

    // Catches a network folder stored without its leading separators, which the next start refused as relative.
    typeIntoBox("\\\\server\\share\\shots");
    ASSERT_TRUE(closeOptions());
    EXPECT_EQ(readFile(prefsFile()), "1:5:0://server/share/shots/\r\nresizeScreenshotWindows=0\r\n");
    ASSERT_NO_FATAL_FAILURE(restart());
    ASSERT_NE(openOptions(), nullptr);
    EXPECT_EQ(boxText(child(pathBox)), "//server/share/shots/");
}

TEST_F(OptionsProgram, TheUsersOwnFolderIsStoredWithThePlaceholder) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NE(openOptions(), nullptr);
    const std::string pictures = "C:\\Users\\" + userName() + "\\Pictures";
    typeIntoBox(pictures);
    ASSERT_TRUE(closeOptions());
    EXPECT_EQ(readFile(prefsFile()), "1:1:1:C:/Users/($User)/Pictures/\r\nresizeScreenshotWindows=0\r\n");
    ASSERT_NE(openOptions(), nullptr);
    EXPECT_EQ(boxText(child(pathBox)), pictures + "\\"); // more "\" than "/"
    ASSERT_TRUE(closeOptions());
    ASSERT_NO_FATAL_FAILURE(restart());
    ASSERT_NE(openOptions(), nullptr);
    EXPECT_EQ(boxText(child(pathBox)), "C:/Users/" + userName() + "/Pictures/");
}

TEST_F(OptionsProgram, AReopenedWindowsControlsAct) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NE(openOptions(), nullptr);
    clickChild(firstSwatch + 2);
    ASSERT_TRUE(closeOptions());
    const HWND first = window_;
    ASSERT_NE(openOptions(), nullptr);
    EXPECT_NE(window_, first);
    EXPECT_TRUE(shows(188, 39, yellow)); // the colour chosen in the first window
    clickChild(firstSwatch);
    clickChild(bmpChoice);
    clickChild(resizeToggle);
    ASSERT_TRUE(showsTick(228, 173, true));
    const Picture p = clientPicture();
    EXPECT_EQ(p.pixel(140, 39), yellow);
    EXPECT_EQ(p.pixel(188, 39), RGB(200, 200, 200));
    EXPECT_EQ(p.pixel(220, 99), yellow);
    EXPECT_TRUE(tick(p.pixel(228, 173)));
    ASSERT_TRUE(closeOptions());
    EXPECT_EQ(readFile(prefsFile()), "1:0:2:C:/Users/($User)/Desktop/\r\nresizeScreenshotWindows=1\r\n");
}

TEST_F(OptionsProgram, ExitWithTheWindowOpenWritesNothing) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NE(openOptions(), nullptr);
    clickChild(bmpChoice);
    typeIntoBox("D:/Elsewhere");
    stop();
    EXPECT_FALSE(fileExists(prefsFile()));
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NE(openOptions(), nullptr);
    EXPECT_TRUE(shows(180, 99, yellow)); // PNG again
    EXPECT_EQ(boxText(child(pathBox)), "C:/Users/" + userName() + "/Desktop/");
}

// Over the window's own grey background, below its controls, so that every
// tint (black too) differs from what was there before.
constexpr RECT overTheWindow{330, 515, 670, 550};

struct SwatchCase {
    const char* name;
    std::size_t swatch;
    COLORREF tint;
};

class SwatchTint : public OptionsProgram, public ::testing::WithParamInterface<SwatchCase> {};

TEST_P(SwatchTint, TheNextSelectionIsTintedInTheClickedColour) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NE(openOptions(), nullptr);
    clickChild(firstSwatch + GetParam().swatch);
    ASSERT_TRUE(shows(140 + 24 * static_cast<int>(GetParam().swatch), 39, yellow));
    const POINT centre = centreOf(overTheWindow);
    ASSERT_NE(screenPixel(centre), GetParam().tint);

    ASSERT_TRUE(beginSelection(overTheWindow)) << orvane.failure();
    // One selection window ("Screen Capture2"), following the pointer over the selection.
    EXPECT_TRUE(waitUntil(
        [&] {
            const std::vector<HWND> selections = orvane.windows(selectionClass);
            if (selections.size() != 1)
                return false;
            const RECT shown = windowRect(selections.front());
            return PtInRect(&shown, centre) != FALSE;
        },
        3000));
    EXPECT_TRUE(waitUntil([&] { return screenPixel(centre) == GetParam().tint; }, 3000))
        << std::hex << screenPixel(centre);
    buttonUp();
    EXPECT_TRUE(orvane.captureEnded());
}

INSTANTIATE_TEST_SUITE_P(Swatches, SwatchTint,
                         ::testing::Values(SwatchCase{"Black", 0, RGB(0, 0, 0)},
                                           SwatchCase{"LightGrey", 2, RGB(230, 230, 230)},
                                           SwatchCase{"Red", 3, RGB(255, 0, 0)}, SwatchCase{"Green", 4, RGB(0, 255, 0)},
                                           SwatchCase{"Blue", 5, RGB(0, 0, 255)}),
                         [](const auto& test) { return std::string(test.param.name); });

struct FormatClickCase {
    const char* name;
    std::vector<std::size_t> clicks;
    const char* extension;
    std::string magic;
};

class FormatClick : public OptionsProgram, public ::testing::WithParamInterface<FormatClickCase> {};

TEST_P(FormatClick, TheNextCacheFileHasTheClickedFormat) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NE(openOptions(), nullptr);
    for (std::size_t choice : GetParam().clicks)
        clickChild(choice);
    ASSERT_TRUE(shows(140 + 40 * static_cast<int>(GetParam().clicks.back() - jpgChoice), 99, yellow));
    ASSERT_TRUE(cacheImageFiles().empty());

    ASSERT_TRUE(beginSelection(overTheWindow)) << orvane.failure();
    buttonUp();
    ASSERT_TRUE(waitUntil([&] { return cacheImageFiles().size() == 1; }, 1500));
    const std::string name = cacheImageFiles().front();
    EXPECT_EQ(name.substr(name.size() - 4), GetParam().extension);
    std::string bytes;
    ASSERT_TRUE(waitUntil([&] { return (bytes = readFile(cacheFolder() + name)).size() > 64; }, 1000));
    EXPECT_EQ(bytes.substr(0, GetParam().magic.size()), GetParam().magic);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FormatClick,
    ::testing::Values(FormatClickCase{"Jpg", {jpgChoice}, ".jpg", "\xFF\xD8\xFF"},
                      FormatClickCase{"Bmp", {bmpChoice}, ".bmp", "BM"},
                      FormatClickCase{"PngAgain", {bmpChoice, pngChoice}, ".png", std::string("\x89PNG\r\n\x1A\n", 8)}),
    [](const auto& test) { return std::string(test.param.name); });

} // namespace
