// The application shell's pure decisions: folders, the selection colour
// check, the tray callback and the options scale.
#include <string>

#include <gtest/gtest.h>

#include "app/decisions.h"

namespace {

struct FolderCase {
    const char* path;
    const char* folder;
};

class FolderOfPath : public ::testing::TestWithParam<FolderCase> {};

TEST_P(FolderOfPath, KeepsEverythingUpToTheLastSeparator) {
    EXPECT_EQ(folderOfPath(GetParam().path), GetParam().folder);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FolderOfPath,
    ::testing::Values(FolderCase{"C:\\Program Files\\Orvane\\orvane.exe", "C:\\Program Files\\Orvane\\"},
                      FolderCase{"C:/tools/orvane.exe", "C:/tools/"},
                      FolderCase{"C:\\mixed/dir\\orvane.exe", "C:\\mixed/dir\\"},
                      FolderCase{"\\\\server\\share\\orvane.exe", "\\\\server\\share\\"}, FolderCase{"orvane.exe", ""},
                      FolderCase{"", ""}, FolderCase{"C:\\", "C:\\"}));

TEST(SelectionColor, AnIndexPastThePaletteBecomesZero) {
    EXPECT_EQ(validSelectionColor(0, 6), 0u);
    EXPECT_EQ(validSelectionColor(5, 6), 5u);
    EXPECT_EQ(validSelectionColor(6, 6), 0u);
    EXPECT_EQ(validSelectionColor(4000000000u, 6), 0u);
    EXPECT_EQ(validSelectionColor(1, 0), 0u); // no palette at all
}

TEST(TrayCallback, OnlyAButtonReleaseOpensTheMenu) {
    EXPECT_TRUE(trayCallbackOpensMenu(0x0202));  // WM_LBUTTONUP
    EXPECT_TRUE(trayCallbackOpensMenu(0x0205));  // WM_RBUTTONUP
    EXPECT_FALSE(trayCallbackOpensMenu(0x0200)); // WM_MOUSEMOVE
    EXPECT_FALSE(trayCallbackOpensMenu(0x0201)); // WM_LBUTTONDOWN
    EXPECT_FALSE(trayCallbackOpensMenu(0x0204)); // WM_RBUTTONDOWN
    EXPECT_FALSE(trayCallbackOpensMenu(0x0203)); // WM_LBUTTONDBLCLK
    EXPECT_FALSE(trayCallbackOpensMenu(0x0208)); // WM_MBUTTONUP
    EXPECT_FALSE(trayCallbackOpensMenu(0x0400)); // NIN_SELECT
    EXPECT_FALSE(trayCallbackOpensMenu(0x007B)); // WM_CONTEXTMENU
}

TEST(OptionsScale, NeverBelowOneHundredPercent) {
    EXPECT_EQ(optionsScaleFrom(0), 100); // the query failed
    EXPECT_EQ(optionsScaleFrom(-1), 100);
    EXPECT_EQ(optionsScaleFrom(99), 100);
    EXPECT_EQ(optionsScaleFrom(100), 100);
    EXPECT_EQ(optionsScaleFrom(150), 150);
    EXPECT_EQ(optionsScaleFrom(500), 500);
}

} // namespace

namespace {

constexpr std::uintptr_t keyDown = 0x0100, keyUp = 0x0101, sysKeyDown = 0x0104, sysKeyUp = 0x0105;
constexpr std::uint32_t escape = 0x1B, printScreen = 0x2C, letterA = 0x41;

struct HookCase {
    int code;
    std::uintptr_t message;
    std::uint32_t key;
    bool captureActive;
    HookKey result;
};

class KeyboardHookKeys : public ::testing::TestWithParam<HookCase> {};

TEST_P(KeyboardHookKeys, EscapeCancelsARunningCaptureAndAPrintScreenReleaseAsks) {
    const HookCase& c = GetParam();
    EXPECT_EQ(classifyHookKey(c.code, c.message, c.key, c.captureActive), c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyboardHookKeys,
    ::testing::Values(HookCase{0, keyDown, escape, true, HookKey::cancelCapture},
                      HookCase{0, sysKeyDown, escape, true, HookKey::cancelCapture}, // Alt held
                      HookCase{0, keyDown, escape, false, HookKey::other},           // no capture: only passed on
                      HookCase{0, keyUp, escape, true, HookKey::other},
                      HookCase{0, keyUp, printScreen, false, HookKey::printScreenReleased},
                      HookCase{0, sysKeyUp, printScreen, false, HookKey::printScreenReleased}, // Alt+PrintScreen
                      HookCase{0, keyUp, printScreen, true, HookKey::printScreenReleased},     // ignored later
                      HookCase{0, keyDown, printScreen, false, HookKey::other}, // the press, auto-repeat too
                      HookCase{0, sysKeyDown, printScreen, false, HookKey::other},
                      HookCase{0, keyUp, letterA, true, HookKey::other},
                      HookCase{-1, keyUp, printScreen, false, HookKey::other}, // not HC_ACTION
                      HookCase{3, keyDown, escape, true, HookKey::other}));

} // namespace

namespace {

struct StallCase {
    std::uint64_t dispatchMs;
    bool reinstall;
};

class HookStall : public ::testing::TestWithParam<StallCase> {};

TEST_P(HookStall, OnlyALongDispatchCountsAsAPossiblyLostHook) {
    EXPECT_EQ(hookMayHaveBeenDropped(GetParam().dispatchMs), GetParam().reinstall);
}

INSTANTIATE_TEST_SUITE_P(Durations, HookStall,
                         ::testing::Values(StallCase{0, false}, StallCase{hookStallMs - 1, false},
                                           StallCase{hookStallMs, true}, StallCase{60000, true}));

} // namespace
