// The options window under Wine with real windows: what it asks the system to
// create (seen through a CBT hook) at 100, 125 and 150 %, the tables it fills,
// one window at a time, fonts for a new scale, clicks on release, its pixels
// at 150 % (the driver's scenarios look at 100 %), the close that keeps the
// folder and writes prefs.txt, and the message when it cannot be made. Wine's
// shell reports every monitor at 100 %, so openOptionsWindow gets 150 directly.
#include <windows.h>

#include <gtest/gtest.h>
#include <lodepng.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "state/app_state.h"
#include "options/options.h"
#include "options_test_support.h"
#include "prefs/prefs.h"

namespace fs = std::filesystem;

namespace {

// --- what the window asks the system for -------------------------------------------------------

struct Creation {
    std::string className;
    std::string title;
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, width = 0, height = 0;
    HWND parent = nullptr;
    HINSTANCE instance = nullptr;
    HMENU menu = nullptr;
};

std::vector<Creation>* recording = nullptr;

LRESULT CALLBACK recordCreation(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND && recording) {
        const CREATESTRUCTA& create = *reinterpret_cast<CBT_CREATEWNDA*>(lp)->lpcs;
        char name[64] = {};
        GetClassNameA(reinterpret_cast<HWND>(wp), name, sizeof(name));
        recording->push_back({name, create.lpszName ? create.lpszName : "", static_cast<DWORD>(create.style),
                              create.dwExStyle, create.x, create.y, create.cx, create.cy, create.hwndParent,
                              create.hInstance, create.hMenu});
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

std::vector<Creation> creationsOf(std::int32_t scale) {
    std::vector<Creation> seen;
    recording = &seen;
    const HHOOK hook = SetWindowsHookExA(WH_CBT, recordCreation, nullptr, GetCurrentThreadId());
    openOptionsWindow(scale);
    UnhookWindowsHookEx(hook);
    recording = nullptr;
    // Wine makes helper windows of its own on the way (the input method's, OLE's).
    std::vector<Creation> ours;
    for (const Creation& c : seen)
        if (c.className == optionsWindowClass || (c.parent && c.parent == app.options.optionsWindow))
            ours.push_back(c);
    return ours;
}

// --- the screen ---------------------------------------------------------------------------------------

void pumpMessages() {
    for (int round = 0; round < 5; ++round) {
        MSG msg{};
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(20);
    }
}

// The screen under a window's client area, as the user sees it.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const {
        return x >= 0 && y >= 0 && x < width && y < height ? pixels[static_cast<std::size_t>(y * width + x)]
                                                           : CLR_INVALID;
    }
};

Picture grabScreen(const RECT& area) {
    Picture picture;
    picture.width = area.right - area.left;
    picture.height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, picture.width, picture.height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, picture.width, picture.height, screen, area.left, area.top, SRCCOPY);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            picture.pixels.push_back(GetPixel(memory, x, y));
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}

Picture grabClientArea(HWND window) {
    pumpMessages();
    RECT client{};
    GetClientRect(window, &client);
    MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
    return grabScreen(client);
}

// For the README: the whole window as it stands on the screen.
void saveWindowPicture(HWND window, const std::string& name) {
    pumpMessages();
    RECT frame{};
    GetWindowRect(window, &frame);
    const Picture picture = grabScreen(frame);
    std::vector<unsigned char> rgba;
    for (const COLORREF c : picture.pixels)
        rgba.insert(rgba.end(), {GetRValue(c), GetGValue(c), GetBValue(c), 255});
    fs::create_directories(moduleFolder() + "pictures");
    lodepng::encode(moduleFolder() + "pictures\\" + name, rgba, static_cast<unsigned>(picture.width),
                    static_cast<unsigned>(picture.height));
}

RECT rectInParent(HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::vector<HWND> childrenOf(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

std::string textOf(HWND window) {
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void release(HWND control) {
    SendMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
}

// --- the fixture ------------------------------------------------------------------------------------

constexpr COLORREF grey = RGB(60, 60, 60);
constexpr COLORREF yellow = RGB(255, 255, 0);
constexpr COLORREF white = RGB(255, 255, 255);

// Part of the check mark's white tick (its edges are blended into the grey).
bool tick(COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) > 200 && GetBValue(c) > 200; }

// Where the grid puts the first child of a role.
std::size_t firstOf(OptionsRole role) {
    const OptionsLayout grid = optionsLayout(100);
    return static_cast<std::size_t>(
        std::find_if(grid.begin(), grid.end(), [role](const OptionsChild& c) { return c.role == role; }) -
        grid.begin());
}

const std::size_t firstSwatch = firstOf(OptionsRole::swatch), jpgChoice = firstOf(OptionsRole::formatChoice),
                  closeToggle = firstOf(OptionsRole::closeToggle), resizeToggle = firstOf(OptionsRole::resizeToggle);

class OptionsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(optionsClassesForTests().registered);
        static std::atomic<unsigned> counter{0};
        folder_ = fs::temp_directory_path() /
                  ("orvane-options-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++));
        fs::create_directories(folder_);
        savedPrefs_ = preferences;
        savedPath_ = prefsPath;
        preferences = Preferences{};
        prefsPath = (folder_ / "prefs.txt").string();
        quickSaveFolder = "C:/Users/Someone/Desktop/";
        // Another suite may have released the fonts as shutdown does.
        if (!app.options.labelFont)
            app.options.labelFont = createOptionsFont(scaledBy(16, app.options.uiScale));
        if (!app.options.formatFont)
            app.options.formatFont = createOptionsFont(scaledBy(22, app.options.uiScale));
    }
    void TearDown() override {
        if (app.options.optionsOpen && IsWindow(app.options.optionsWindow))
            SendMessageA(app.options.optionsWindow, WM_CLOSE, 0, 0);
        pumpMessages();
        preferences = savedPrefs_;
        prefsPath = savedPath_;
        quickSaveFolder.clear();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    HWND open(std::int32_t scale) {
        openOptionsWindow(scale);
        return app.options.optionsWindow;
    }
    HWND child(std::size_t index) const {
        const std::vector<HWND> children = childrenOf(app.options.optionsWindow);
        return index < children.size() ? children[index] : nullptr;
    }
    void closeWindow() { SendMessageA(app.options.optionsWindow, WM_CLOSE, 0, 0); }

    fs::path folder_;
    Preferences savedPrefs_;
    std::string savedPath_;
};

class OptionsWindowAtScale : public OptionsWindow, public ::testing::WithParamInterface<std::int32_t> {};

TEST_P(OptionsWindowAtScale, AsksForTheWindowAndItsNineteenChildrenInGridOrder) {
    const std::int32_t scale = GetParam();
    auto scaled = [&](int value) { return value * scale / 100; };
    const std::vector<Creation> made = creationsOf(scale);
    ASSERT_EQ(made.size(), 20u);
    const Creation& window = made[0];
    EXPECT_EQ(window.className, "Screen Capture Options Menu");
    EXPECT_EQ(window.title, "Lumagrab Options");
    EXPECT_EQ(window.style, 0x00CE0000u);
    // The system itself adds the edge of a sizing frame to the requested 0.
    EXPECT_EQ(window.exStyle & ~static_cast<DWORD>(WS_EX_WINDOWEDGE), 0u);
    EXPECT_EQ(window.x, scaled(300));
    EXPECT_EQ(window.y, scaled(300));
    EXPECT_EQ(window.width, scaled(400));
    EXPECT_EQ(window.height, scaled(260));
    EXPECT_EQ(window.parent, nullptr);
    EXPECT_EQ(window.menu, nullptr);
    EXPECT_EQ(window.instance, app.instance);
    const HWND options = app.options.optionsWindow;
    const OptionsLayout grid = optionsLayout(scale);
    for (std::size_t i = 0; i < optionsChildCount; ++i) {
        const Creation& c = made[i + 1];
        const OptionsChild& row = grid[i];
        EXPECT_EQ(c.className, row.className) << i;
        // The edit box is made with the current folder as its title.
        EXPECT_EQ(c.title, row.role == OptionsRole::pathEdit ? "C:/Users/Someone/Desktop/" : row.title) << i;
        EXPECT_EQ(c.style, row.style) << i;
        EXPECT_EQ(c.exStyle, 0u) << i;
        EXPECT_EQ(c.x, row.rect.x) << i;
        EXPECT_EQ(c.y, row.rect.y) << i;
        EXPECT_EQ(c.width, row.rect.width) << i;
        EXPECT_EQ(c.height, row.rect.height) << i;
        EXPECT_EQ(c.parent, options) << i;
        EXPECT_EQ(c.menu, nullptr) << i;
        // The edit box is the system's and is made without the module.
        EXPECT_EQ(c.instance, row.role == OptionsRole::pathEdit ? nullptr : app.instance) << i;
    }
    // The real window and children stand where they were asked to, in that Z order.
    RECT frame{};
    GetWindowRect(options, &frame);
    EXPECT_EQ(frame.left, scaled(300));
    EXPECT_EQ(frame.right - frame.left, scaled(400));
    EXPECT_EQ(frame.bottom - frame.top, scaled(260));
    const std::vector<HWND> children = childrenOf(options);
    ASSERT_EQ(children.size(), 19u);
    for (std::size_t i = 0; i < optionsChildCount; ++i) {
        const RECT r = rectInParent(children[i]);
        EXPECT_EQ(r.left, grid[i].rect.x) << i;
        EXPECT_EQ(r.top, grid[i].rect.y) << i;
        EXPECT_EQ(r.right - r.left, grid[i].rect.width) << i;
    }
    EXPECT_TRUE(IsWindowVisible(options));
    EXPECT_TRUE(app.options.optionsOpen);
}

INSTANTIATE_TEST_SUITE_P(Scales, OptionsWindowAtScale, ::testing::Values(100, 150, 125));

TEST_F(OptionsWindow, AtOneHundredFiftyTheFirstSwatchSitsAt210And58) {
    const HWND window = open(150);
    RECT frame{};
    GetWindowRect(window, &frame);
    EXPECT_EQ(frame.left, 450);
    EXPECT_EQ(frame.top, 450);
    EXPECT_EQ(frame.right - frame.left, 600);
    EXPECT_EQ(frame.bottom - frame.top, 390);
    const RECT swatch = rectInParent(child(firstSwatch));
    EXPECT_EQ(swatch.left, 210);
    EXPECT_EQ(swatch.top, 58);
    EXPECT_EQ(swatch.right - swatch.left, 30);
    EXPECT_EQ(swatch.bottom - swatch.top, 30);
}

TEST_F(OptionsWindow, TheTablesNameEveryControlOfTheWindow) {
    preferences.selectionColor = 4;
    preferences.defaultFormat = 2;
    open(100);
    const std::vector<HWND> c = childrenOf(app.options.optionsWindow);
    ASSERT_EQ(c.size(), 19u);
    const std::map<HWND, std::string> labels = {{c[0], "Lumagrab 3.0"},
                                                {c[1], "Selection Color: "},
                                                {c[2], "Quicksave location: "},
                                                {c[3], "Default format: "},
                                                {c[4], "Close Screenshot on image save: "},
                                                {c[16], "Resize screenshot windows"}};
    EXPECT_EQ(app.options.labelTexts, labels);
    const std::map<HWND, COLORREF> paint = {{c[5], RGB(0, 0, 0)},   {c[6], RGB(96, 96, 96)}, {c[7], RGB(200, 200, 200)},
                                            {c[8], RGB(128, 0, 0)}, {c[9], RGB(0, 128, 0)},  {c[10], RGB(0, 0, 128)}};
    EXPECT_EQ(app.options.swatchColors, paint);
    const std::map<HWND, std::uint32_t> indices = {{c[5], 0}, {c[6], 1}, {c[7], 2}, {c[8], 3}, {c[9], 4}, {c[10], 5}};
    EXPECT_EQ(app.options.swatchIndices, indices);
    const std::map<HWND, std::uint32_t> formats = {{c[12], 0}, {c[13], 1}, {c[14], 2}};
    EXPECT_EQ(app.options.formatIndices, formats);
    EXPECT_EQ(app.options.selectedSwatch, c[9]);
    EXPECT_EQ(app.options.selectedFormatChoice, c[14]);
    EXPECT_EQ(app.options.browseButton, c[11]);
    EXPECT_EQ(app.options.resizeToggle, c[17]);
    EXPECT_EQ(app.options.pathEdit, c[18]);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(c[18], WM_GETFONT, 0, 0)), app.options.labelFont);
}

TEST_F(OptionsWindow, ASecondOpenMakesNoSecondWindow) {
    const HWND first = open(100);
    ASSERT_NE(first, nullptr);
    const std::vector<Creation> again = creationsOf(100);
    EXPECT_TRUE(again.empty());
    EXPECT_EQ(app.options.optionsWindow, first);
    EXPECT_EQ(FindWindowExA(nullptr, first, "Screen Capture Options Menu", nullptr), nullptr);
}

TEST_F(OptionsWindow, ANewScaleMakesNewFontsEvenWhileTheWindowIsOpen) {
    open(100);
    const HFONT oldLabel = app.options.labelFont;
    const HFONT oldFormat = app.options.formatFont;
    EXPECT_TRUE(creationsOf(150).empty());
    EXPECT_EQ(app.options.uiScale, 150);
    LOGFONTA label{}, format{};
    ASSERT_TRUE(GetObjectA(app.options.labelFont, sizeof(label), &label));
    ASSERT_TRUE(GetObjectA(app.options.formatFont, sizeof(format), &format));
    EXPECT_EQ(label.lfHeight, 24);
    EXPECT_EQ(format.lfHeight, 33);
    EXPECT_STREQ(label.lfFaceName, "Tahoma");
    EXPECT_EQ(GetObjectType(oldLabel), 0u);
    EXPECT_EQ(GetObjectType(oldFormat), 0u);
    // The open box was handed the new font before the old one was deleted.
    const auto boxFont = reinterpret_cast<HFONT>(SendMessageA(app.options.pathEdit, WM_GETFONT, 0, 0));
    EXPECT_EQ(boxFont, app.options.labelFont);
    EXPECT_EQ(GetObjectType(boxFont), static_cast<DWORD>(OBJ_FONT));
    closeWindow();
    openOptionsWindow(100); // back to the scale the other tests expect
    EXPECT_EQ(app.options.uiScale, 100);
}

// --- clicks ------------------------------------------------------------------------------------------

TEST_F(OptionsWindow, ASwatchReleaseSelectsItsColourAndAPressDoesNothing) {
    open(100);
    for (const std::uint32_t index : {3u, 0u, 5u, 5u, 2u}) {
        const HWND swatch = child(firstSwatch + index);
        const HWND before = app.options.selectedSwatch;
        const std::uint32_t colourBefore = preferences.selectionColor;
        SendMessageA(swatch, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        EXPECT_EQ(app.options.selectedSwatch, before);
        EXPECT_EQ(preferences.selectionColor, colourBefore);
        SendMessageA(swatch, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        EXPECT_EQ(app.options.selectedSwatch, swatch) << index;
        EXPECT_EQ(preferences.selectionColor, index);
    }
}

TEST_F(OptionsWindow, AFormatReleaseSetsTheDefaultFormat) {
    open(100);
    for (const ImageFormat code : {2, 0, 1, 1}) {
        const HWND choice = child(jpgChoice + static_cast<std::size_t>(code));
        const HWND before = app.options.selectedFormatChoice;
        const ImageFormat formatBefore = preferences.defaultFormat;
        SendMessageA(choice, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        EXPECT_EQ(app.options.selectedFormatChoice, before);
        EXPECT_EQ(preferences.defaultFormat, formatBefore);
        SendMessageA(choice, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        EXPECT_EQ(app.options.selectedFormatChoice, choice);
        EXPECT_EQ(preferences.defaultFormat, code);
    }
}

TEST_F(OptionsWindow, EachToggleFlipsItsOwnSettingAndTwoReleasesRestoreIt) {
    open(100);
    SendMessageA(child(closeToggle), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_TRUE(preferences.closeScreenshotOnSave);
    SendMessageA(child(closeToggle), WM_LBUTTONUP, 0, 0);
    EXPECT_FALSE(preferences.closeScreenshotOnSave);
    EXPECT_FALSE(preferences.resizeScreenshotWindows);
    release(child(resizeToggle));
    EXPECT_TRUE(preferences.resizeScreenshotWindows);
    EXPECT_FALSE(preferences.closeScreenshotOnSave);
    release(child(closeToggle));
    release(child(resizeToggle));
    EXPECT_TRUE(preferences.closeScreenshotOnSave);
    EXPECT_FALSE(preferences.resizeScreenshotWindows);
}

TEST_F(OptionsWindow, LabelsAndTheBoxIgnoreClicks) {
    open(100);
    const Preferences before = preferences;
    release(child(0));
    release(child(16));
    EXPECT_EQ(preferences, before);
    EXPECT_TRUE(app.options.optionsOpen);
}

// --- pixels ---------------------------------------------------------------------------------------------

TEST_F(OptionsWindow, AtOneHundredFiftyTheGridAndTheCheckMarkGrow) {
    preferences.selectionColor = 0;
    const HWND window = open(150);
    const Picture p = grabClientArea(window);
    EXPECT_EQ(p.at(450, 300), grey);
    EXPECT_EQ(p.at(210, 58), yellow); // the first swatch, selected
    EXPECT_EQ(p.at(239, 87), yellow);
    EXPECT_EQ(p.at(225, 72), RGB(0, 0, 0));
    EXPECT_EQ(p.at(246, 58), RGB(96, 96, 96));
    EXPECT_EQ(p.at(270, 148), yellow); // PNG at (270, 148), 60 x 39
    EXPECT_EQ(p.at(329, 186), yellow);
    // The check mark drawn at one and a half times its 20 x 20 pixels, inside the 30 x 30 toggle.
    EXPECT_EQ(p.at(330, 193), white);
    EXPECT_EQ(p.at(359, 222), white);
    EXPECT_TRUE(tick(p.at(342, 214))); // the tick's bend (8, 14) x 1.5
    EXPECT_EQ(p.at(351, 214), grey);   // below its long stroke (14, 14) x 1.5
    saveWindowPicture(window, "options-150.png");
}

// --- closing -------------------------------------------------------------------------------------------

struct CloseCase {
    std::string typed;
    std::string folder;   // quickSaveFolder after the close
    std::string location; // quickSaveLocation after the close
};

class OptionsClose : public OptionsWindow, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(OptionsClose, KeepsTheTypedFolderAndWritesTheSettingsFile) {
    std::string user;
    ASSERT_TRUE(currentUserName(user));
    auto withUser = [&](std::string text) {
        for (std::size_t at; (at = text.find("<user>")) != std::string::npos;)
            text.replace(at, 6, user);
        return text;
    };
    const HWND window = open(100);
    SetWindowTextA(app.options.pathEdit, withUser(GetParam().typed).c_str());
    closeWindow();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(app.options.optionsOpen);
    EXPECT_EQ(quickSaveFolder, withUser(GetParam().folder));
    EXPECT_EQ(preferences.quickSaveLocation, GetParam().location);
    EXPECT_EQ(readBytes(prefsPath), "1:1:1:" + GetParam().location + "\r\nresizeScreenshotWindows=0\r\n");
}

INSTANTIATE_TEST_SUITE_P(Folders, OptionsClose,
                         ::testing::Values(CloseCase{"C:/Shots", "C:/Shots/", "C:/Shots/"},
                                           CloseCase{"C:\\Shots\\", "C:\\Shots\\", "C:/Shots/"},
                                           CloseCase{"D:/a\\b", "D:/a\\b\\", "D:/a/b/"},
                                           CloseCase{"C:\\Users\\<user>\\Pictures", "C:\\Users\\<user>\\Pictures\\",
                                                     "C:/Users/($User)/Pictures/"},
                                           CloseCase{"C:/Users/Someone/Desktop/", "C:/Users/Someone/Desktop/",
                                                     "C:/Users/Someone/Desktop/"},
                                           CloseCase{"", "", ""}));

TEST_F(OptionsWindow, ClosingEmptiesTheTablesAndAReopenHoldsOnlyTheNewControls) {
    const HWND first = open(100);
    closeWindow();
    EXPECT_TRUE(app.options.labelTexts.empty());
    EXPECT_TRUE(app.options.swatchColors.empty());
    EXPECT_TRUE(app.options.swatchIndices.empty());
    EXPECT_TRUE(app.options.formatIndices.empty());
    const HWND second = open(100);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(IsWindow(second));
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(app.options.labelTexts.size(), 6u);
    EXPECT_EQ(app.options.swatchColors.size(), 6u);
    EXPECT_EQ(app.options.swatchIndices.size(), 6u);
    EXPECT_EQ(app.options.formatIndices.size(), 3u);
    for (const auto& table : {app.options.swatchIndices, app.options.formatIndices})
        for (const auto& [hwnd, value] : table)
            EXPECT_EQ(GetParent(hwnd), second) << value;
    for (const auto& [hwnd, text] : app.options.labelTexts)
        EXPECT_EQ(GetParent(hwnd), second) << text;
    for (HWND named : {app.options.selectedSwatch, app.options.selectedFormatChoice, app.options.resizeToggle,
                       app.options.browseButton, app.options.pathEdit})
        EXPECT_EQ(GetParent(named), second);
    // And its controls act.
    release(child(firstSwatch + 5));
    EXPECT_EQ(preferences.selectionColor, 5u);
}

TEST_F(OptionsWindow, ChangedSettingsReachTheFileOnlyOnClose) {
    open(100);
    release(child(firstSwatch + 5));
    release(child(jpgChoice));
    release(child(closeToggle));
    release(child(resizeToggle));
    EXPECT_FALSE(fs::exists(prefsPath));
    closeWindow();
    EXPECT_EQ(readBytes(prefsPath), "0:5:0:C:/Users/Someone/Desktop/\r\nresizeScreenshotWindows=1\r\n");
    // What a restart reads back.
    std::ifstream in(prefsPath);
    EXPECT_EQ(parsePreferences(in), (Preferences{false, 5, 0, "C:/Users/Someone/Desktop/", true}));
}

TEST_F(OptionsWindow, ALongFolderIsKeptWhole) {
    const std::string longFolder = "C:/" + std::string(300, 'a') + "/Shots/";
    open(100);
    SetWindowTextA(app.options.pathEdit, longFolder.c_str());
    closeWindow();
    EXPECT_EQ(quickSaveFolder, longFolder);
    EXPECT_EQ(preferences.quickSaveLocation, longFolder);
}

TEST_F(OptionsWindow, ALineBreakInTheBoxNeverReachesTheSettingsFile) {
    open(100);
    SetWindowTextA(app.options.pathEdit, "C:/Shots\r\nresizeScreenshotWindows=1");
    closeWindow();
    EXPECT_EQ(quickSaveFolder, "C:/Shots/");
    EXPECT_EQ(readBytes(prefsPath), "1:1:1:C:/Shots/\r\nresizeScreenshotWindows=0\r\n");
}

TEST_F(OptionsWindow, WithoutItsBoxACloseKeepsTheFolder) {
    open(100);
    DestroyWindow(app.options.pathEdit);
    closeWindow();
    EXPECT_EQ(quickSaveFolder, "C:/Users/Someone/Desktop/");
    EXPECT_EQ(preferences.quickSaveLocation, Preferences{}.quickSaveLocation);
    EXPECT_EQ(readBytes(prefsPath), "1:1:1:C:/Users/($User)/Desktop/\r\nresizeScreenshotWindows=0\r\n");
}

// --- a window that cannot be made ----------------------------------------------------------------

// Dismisses the message box this process shows next and reports its caption and text.
class MessageBoxWatcher {
public:
    MessageBoxWatcher()
        : thread_([this] {
              for (int i = 0; i < 250 && !done_; ++i) {
                  const HWND box = FindWindowA("#32770", nullptr);
                  if (box && IsWindowVisible(box)) {
                      caption_ = textOf(box);
                      for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
                          if (textOf(c).find("Failed") != std::string::npos)
                              text_ = textOf(c);
                      PostMessageA(box, WM_COMMAND, IDOK, 0);
                      return;
                  }
                  Sleep(20);
              }
          }) {}
    ~MessageBoxWatcher() {
        done_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    std::string caption() {
        done_ = true;
        if (thread_.joinable())
            thread_.join();
        return caption_;
    }
    const std::string& text() const { return text_; }

private:
    std::atomic<bool> done_{false};
    std::string caption_;
    std::string text_;
    std::thread thread_;
};

TEST_F(OptionsWindow, AWindowThatCannotBeMadeShowsTheMessageAndTheNextOpenTriesAgain) {
    ASSERT_TRUE(UnregisterClassA(optionsWindowClass, app.instance));
    {
        MessageBoxWatcher watcher;
        openOptionsWindow(100);
        EXPECT_EQ(watcher.caption(), "Error!");
        EXPECT_EQ(watcher.text(), "Options Window Creation Failed!");
    }
    EXPECT_FALSE(app.options.optionsOpen);
    EXPECT_EQ(app.options.optionsWindow, nullptr);

    WNDCLASSEXA record{};
    record.cbSize = sizeof(record);
    record.lpfnWndProc = optionsWindowProc;
    record.hInstance = app.instance;
    record.hIcon = optionsClassesForTests().icon;
    record.hCursor = app.arrowCursor;
    record.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    record.lpszClassName = optionsWindowClass;
    ASSERT_TRUE(RegisterClassExA(&record));
    EXPECT_NE(open(100), nullptr);
    EXPECT_TRUE(app.options.optionsOpen);
}

} // namespace
