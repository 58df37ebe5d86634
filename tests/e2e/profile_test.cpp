// Start-up with the files a user's profile and the program folder may hold:
// the cache clean-up, a missing cache folder, missing asset files.
#include <gtest/gtest.h>

#include <filesystem>

#include "driver.h"

using namespace driver;

namespace {

// Starts orvane.exe from `exe`, checks that it gets through start-up, and
// ends it through its menu.
void expectStartsAndExits(const std::string& exe = orvanePath()) {
    Process process(exe);
    ASSERT_TRUE(process.started());
    RunningOrvane orvane{process};
    const std::vector<HWND> before = trayIcons();
    ASSERT_TRUE(waitForStartUp(process, before, orvane));
    ASSERT_TRUE(chooseTrayItem(orvane, exitItem));
    EXPECT_EQ(process.waitForExit(3000), 0u);
}

TEST(CacheCleanup, StartUpDeletesCachedImagesAndKeepsOtherFiles) {
    resetProfile();
    for (const char* name : {"1700000000_1.jpg", "1700000001_2.png", "1700000002_3.bmp", "notes.txt"})
        writeFile(cacheFolder() + name, "old");
    expectStartsAndExits();
    EXPECT_EQ(fileNamesIn(cacheFolder()), std::vector<std::string>{"notes.txt"});
}

TEST(CacheCleanup, NoCacheFolderIsFine) {
    resetProfile();
    expectStartsAndExits();
    EXPECT_FALSE(fileExists(cacheFolder()));
    EXPECT_TRUE(fileExists(settingsFolder())) << "the settings folder is made at start-up";
}

class MissingAsset : public ::testing::TestWithParam<std::vector<const char*>> {};

TEST_P(MissingAsset, StartUpGoesOn) {
    resetProfile();
    const std::string folder = scratchFolder("missing-asset");
    std::filesystem::copy_file(orvanePath(), folder + "orvane.exe");
    for (const char* asset : {"cursor.cur", "icon.ico", "checkmark.bmp"}) {
        bool missing = false;
        for (const char* gone : GetParam())
            missing |= std::string(gone) == asset;
        if (!missing)
            std::filesystem::copy_file(driverFolder() + asset, folder + asset);
    }
    expectStartsAndExits(folder + "orvane.exe");
}

INSTANTIATE_TEST_SUITE_P(Files, MissingAsset,
                         ::testing::Values(std::vector<const char*>{"cursor.cur"}, std::vector<const char*>{"icon.ico"},
                                           std::vector<const char*>{"checkmark.bmp"},
                                           std::vector<const char*>{"cursor.cur", "icon.ico", "checkmark.bmp"}));

} // namespace
