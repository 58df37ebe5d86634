// Start-up with files missing from the program folder.
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
