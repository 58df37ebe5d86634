// The application shell's pure decisions: folders, cache clean-up names, the
// selection colour check, the tray callback and the options scale.
#include <cctype>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "app/decisions.h"
#include "shots/cache.h"
#include "output/output.h"

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

struct CacheFolderCase {
    const char* settings;
    const char* cache;
};

class CacheFolder : public ::testing::TestWithParam<CacheFolderCase> {};

TEST_P(CacheFolder, LivesInTheSettingsFolderInBackslashForm) {
    EXPECT_EQ(cacheFolderFor(GetParam().settings), GetParam().cache);
}

INSTANTIATE_TEST_SUITE_P(Folders, CacheFolder,
                         ::testing::Values(CacheFolderCase{"C:/Users/Bob/AppData/Local/Lumagrab/",
                                                           "C:\\Users\\Bob\\AppData\\Local\\Lumagrab\\VELTO_CACHE\\"},
                                           CacheFolderCase{"D:\\Profiles\\bob\\Local\\Lumagrab\\",
                                                           "D:\\Profiles\\bob\\Local\\Lumagrab\\VELTO_CACHE\\"},
                                           CacheFolderCase{"E:/Local/Lumagrab", "E:\\Local\\Lumagrab\\VELTO_CACHE\\"},
                                           // No settings folder: no cache folder, never the current directory.
                                           CacheFolderCase{"", ""}));

struct NameCase {
    const char* name;
    bool deleted;
};

class CacheCleanup : public ::testing::TestWithParam<NameCase> {};

TEST_P(CacheCleanup, DeletesOnlyNamesWithAnImageExtension) {
    EXPECT_EQ(isCacheImageName(GetParam().name), GetParam().deleted) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Names, CacheCleanup,
                         ::testing::Values(NameCase{"1700000000_123.jpg", true}, NameCase{"a.png", true},
                                           NameCase{"a.bmp", true}, NameCase{"SHOT.JPG", true},
                                           NameCase{"Shot.Png", true}, NameCase{"notes.txt", false},
                                           // What a search for "*.png" also finds through the 8.3 name.
                                           NameCase{"a.pngold", false}, NameCase{"a.jpeg", false},
                                           NameCase{"a.bmp.txt", false}, NameCase{"jpg", false}, NameCase{"", false}));

TEST(CachePartFiles, AreThoseAnImageSaveCutShortLeftBehind) {
    EXPECT_TRUE(isCachePartName("1700000000_123.png.part"));
    EXPECT_TRUE(isCachePartName("a.JPG.PART"));
    EXPECT_FALSE(isCachePartName("notes.txt.part")) << "not one of ours";
    EXPECT_FALSE(isCachePartName("a.part"));
    EXPECT_FALSE(isCachePartName(".part"));
    EXPECT_FALSE(isCachePartName("a.png")) << "an image itself is matched as one";
    // Catches a clean-up that misses the later temporary names a save may take.
    for (int attempt = 1; attempt <= temporaryNameTries; ++attempt)
        EXPECT_TRUE(isCachePartName(temporaryName("1700000000_123.png", attempt))) << attempt;
    EXPECT_FALSE(isCachePartName("a.7.part"));
    EXPECT_FALSE(isCachePartName("a.png.x7.part"));
}

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

struct EntryCase {
    const char* what;
    const char* folder;
    const char* name;
    const char* entry;
    bool isEntry;
};

class CacheEntry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(CacheEntry, OnlyAnEntryThatIsItselfInTheFolderIsDeleted) {
    EXPECT_EQ(isEntryOfFolder(GetParam().folder, GetParam().name, GetParam().entry), GetParam().isEntry)
        << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    FinalPaths, CacheEntry,
    ::testing::Values(
        EntryCase{"a file of the folder", "\\\\?\\C:\\cache", "a.png", "\\\\?\\C:\\cache\\a.png", true},
        EntryCase{"folder with its separator", "\\\\?\\C:\\cache\\", "a.png", "\\\\?\\C:\\cache\\a.png", true},
        EntryCase{"letters differ in case", "\\\\?\\C:\\Users\\Bob\\cache", "Shot.PNG",
                  "\\\\?\\c:\\users\\bob\\CACHE\\shot.png", true},
        EntryCase{"a link to a file elsewhere", "\\\\?\\C:\\cache", "a.png", "\\\\?\\C:\\elsewhere\\target.png", false},
        EntryCase{"a link to another file of the folder", "\\\\?\\C:\\cache", "a.png", "\\\\?\\C:\\cache\\b.png",
                  false},
        EntryCase{"a link into a subfolder", "\\\\?\\C:\\cache", "a.png", "\\\\?\\C:\\cache\\sub\\a.png", false},
        EntryCase{"a link to a same-named file elsewhere", "\\\\?\\C:\\cache", "a.png", "\\\\?\\C:\\other\\a.png",
                  false},
        EntryCase{"a folder name that only starts the same", "\\\\?\\C:\\cache", "a.png", "\\\\?\\C:\\cache2\\a.png",
                  false},
        EntryCase{"no final path", "\\\\?\\C:\\cache", "a.png", "", false},
        EntryCase{"no folder", "", "a.png", "\\a.png", false}),
    [](const auto& test) {
        std::string name;
        for (const char c : std::string(test.param.what))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

} // namespace
