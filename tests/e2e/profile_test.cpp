// Start-up with the files a user's profile and the program folder may hold:
// the cache clean-up, a missing cache folder, missing asset files.
#include <gtest/gtest.h>

#include <filesystem>

#include "scenario.h"

using namespace driver;

namespace {

// Starts orvane.exe from `exe` and ends it through its menu, with code 0.
class ProfileStart : public OrvaneScenario {
protected:
    void expectStartsAndExits(const std::string& exe = orvanePath()) {
        ASSERT_NO_FATAL_FAILURE(start(exe));
        EXPECT_EQ(orvane.stop(3000), 0u) << orvane.failure();
    }
};

using CacheCleanup = ProfileStart;

TEST_F(CacheCleanup, StartUpDeletesCachedImagesAndKeepsOtherFiles) {
    for (const char* name : {"1700000000_1.jpg", "1700000001_2.png", "1700000002_3.bmp", "notes.txt"})
        writeFile(cacheFolder() + name, "old");
    expectStartsAndExits();
    EXPECT_EQ(fileNamesIn(cacheFolder()), std::vector<std::string>{"notes.txt"});
}

TEST_F(CacheCleanup, NoCacheFolderIsFine) {
    expectStartsAndExits();
    EXPECT_FALSE(fileExists(cacheFolder()));
    EXPECT_TRUE(fileExists(settingsFolder())) << "the settings folder is made at start-up";
}

class MissingAsset : public ProfileStart, public ::testing::WithParamInterface<std::vector<const char*>> {};

TEST_P(MissingAsset, StartUpGoesOn) {
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
