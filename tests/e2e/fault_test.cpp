// Orvane when things go wrong around it: the cache, settings and Quick Save
// folders read-only, missing or on a full drive; the process killed while it
// replaces prefs.txt; its GUI thread busy while keys are typed; damaged files
// beside the program. It must keep working, say what the user has to know,
// and never drop a screenshot it could not save. The read-only folders and
// full drives are real mounts made by fault_test.sh (fault_harness.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>

#include "fault_harness.h"
#include "scenario.h"

using namespace driver;
using faults::FaultyFolder;
using faults::FolderState;

namespace {

constexpr std::size_t closeToggle = 15; // "Close Screenshot on image save", among the options' children
const RECT area{200, 160, 360, 280};

std::string prefsFile() { return prefsPath(); }

std::string settingsText(bool closeOnSave, const std::string& folder) { return prefsText({closeOnSave, 1, 1, folder}); }

// The visible top-level window of `process` with this title, or null.
HWND windowTitled(DWORD process, const std::string& title) {
    for (HWND window : topLevelWindows(process))
        if (IsWindowVisible(window) && windowTitle(window) == title)
            return window;
    return nullptr;
}

// Whether `file` is a whole image: it decodes, at the size of `area`.
bool wholeImage(const std::string& file) {
    const Picture picture = decodeImageFile(file);
    return picture.width == area.right - area.left && picture.height == area.bottom - area.top;
}

// One orvane.exe, started by each scenario with the settings it needs.
class FaultProgram : public OrvaneScenario {
protected:
    void SetUp() override {
        OrvaneScenario::SetUp();
        // Written back by the options window exactly as stored: forward
        // slashes, one at the end, nothing for the "($User)" folding to touch.
        std::error_code ignored;
        std::filesystem::remove_all(quickFolder, ignored);
        std::filesystem::create_directories(quickFolder, ignored);
    }

    void writeSettings(bool closeOnSave, const std::string& folder) {
        writeFile(prefsFile(), settingsText(closeOnSave, folder));
    }

    // The "Quick Save" message, waited for; null when none came.
    HWND waitForQuickSaveMessage(DWORD timeoutMs = 3000) { return orvane.waitForWindowTitled("Quick Save", timeoutMs); }

    // Quick Save of a fresh screenshot into a folder that works: the file
    // appears whole and the window closes (close after save is on).
    void expectQuickSaveWorks(const std::string& folder) {
        const std::vector<std::string> before = fileNamesIn(folder);
        const HWND shot = pin(area);
        ASSERT_NE(shot, nullptr);
        chooseShotItem(shot, quickSaveItem);
        EXPECT_TRUE(waitUntil([&] { return !IsWindow(shot); }, 3000)) << "the saved screenshot did not close";
        std::vector<std::string> now;
        ASSERT_TRUE(waitUntil([&] { return (now = fileNamesIn(folder)).size() == before.size() + 1; }, 3000));
        for (const std::string& name : now)
            if (std::find(before.begin(), before.end(), name) == before.end()) {
                EXPECT_TRUE(wholeImage(folder + name)) << name;
            }
    }

    // Options from the tray menu, the close-after-save toggle clicked, the
    // window closed: the program writes prefs.txt.
    void toggleCloseOnSaveInOptions() {
        ASSERT_NE(orvane.openOptions(), nullptr) << orvane.failure();
        click(centreOf(windowRect(orvane.optionsChild(closeToggle))));
        inputTaken(orvane.options());
        ASSERT_TRUE(orvane.closeOptions()) << orvane.failure();
        orvane.settle();
    }

    const std::string quickFolder = "C:/orvane-fault-quick/";
};

#define SKIP_WITHOUT_MOUNTS()                                                                                          \
    do {                                                                                                               \
        const std::string why = faults::mountsUnavailable();                                                           \
        if (!why.empty())                                                                                              \
            GTEST_SKIP() << why;                                                                                       \
    } while (false)

#define ASSERT_FOLDER_READY(folder)                                                                                    \
    do {                                                                                                               \
        if (!(folder).ready())                                                                                         \
            GTEST_SKIP() << "the mount was refused: " << (folder).error();                                             \
    } while (false)

// --- the Quick Save folder -------------------------------------------------------------------

struct QuickSaveCase {
    const char* name;
    FolderState state;
    const char* below; // the Quick Save folder below the drive's root
};

class QuickSaveFolderFault : public FaultProgram, public ::testing::WithParamInterface<QuickSaveCase> {};

TEST_P(QuickSaveFolderFault, KeepsTheScreenshotSaysSoAndSavesOnceTheFolderWorks) {
    SKIP_WITHOUT_MOUNTS();
    const QuickSaveCase& c = GetParam();
    std::string error;
    const std::string drive = faults::mapDrive('q', std::string("quick-") + c.name, error);
    ASSERT_FALSE(drive.empty()) << error;
    // What an earlier Quick Save left there must survive the failed one.
    const std::string earlier = drive + "ScreenCapture1700000000.png";
    writeFile(earlier, readFile(driverFolder() + "checkmark.bmp"));
    const std::string earlierBytes = readFile(earlier);
    const std::string folder = drive + c.below;
    writeSettings(true, folder);
    ASSERT_NO_FATAL_FAILURE(start());

    FaultyFolder faulty(drive, c.state);
    ASSERT_FOLDER_READY(faulty);
    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    chooseShotItem(shot, quickSaveItem);
    const HWND message = waitForQuickSaveMessage();
    ASSERT_NE(message, nullptr) << "the user was not told that the screenshot was not saved";
    const std::string text = messageText(message);
    std::string shown = folder; // as the program keeps it: forward slashes
    std::replace(shown.begin(), shown.end(), '\\', '/');
    EXPECT_NE(text.find(shown), std::string::npos) << "the message does not name the folder: " << text;
    EXPECT_TRUE(acknowledge(message));
    EXPECT_TRUE(IsWindow(shot)) << "a screenshot that could not be saved was closed";
    EXPECT_EQ(readFile(earlier), earlierBytes) << "the failed save damaged an earlier file";
    for (const std::string& name : fileNamesIn(drive))
        EXPECT_TRUE(name == "ScreenCapture1700000000.png" || name.rfind("filler", 0) == 0)
            << "the failed save left " << name;

    // The same window, saved again once the folder works.
    faulty.restore();
    chooseShotItem(shot, quickSaveItem);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(shot); }, 3000)) << "the saved screenshot did not close";
    std::vector<std::string> saved;
    EXPECT_TRUE(waitUntil(
        [&] {
            saved = fileNamesIn(folder);
            return std::any_of(saved.begin(), saved.end(),
                               [](const std::string& n) { return n != "ScreenCapture1700000000.png"; });
        },
        3000));
    for (const std::string& name : saved)
        if (name != "ScreenCapture1700000000.png") {
            EXPECT_TRUE(wholeImage(folder + name)) << name;
        }
    EXPECT_EQ(readFile(earlier), earlierBytes);
}

INSTANTIATE_TEST_SUITE_P(States, QuickSaveFolderFault,
                         ::testing::Values(QuickSaveCase{"ReadOnly", FolderState::readOnly, ""},
                                           QuickSaveCase{"Full", FolderState::full, ""}),
                         [](const auto& each) { return std::string(each.param.name); });

TEST_F(FaultProgram, AMissingQuickSaveFolderIsMadeWithEveryLevel) {
    const std::string folder = quickFolder + "one\\two\\";
    writeSettings(true, folder);
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(expectQuickSaveWorks(folder));
}

// Catches a legacy ANSI prefs.txt read as UTF-8: Quick Save then wrote into a
// folder named with a replacement character instead of "\xDC" "ber".
TEST_F(FaultProgram, ALegacyAnsiSettingsFileSendsQuickSaveIntoItsFolder) {
    // Code page 1252 bytes, as an older version wrote them; the driver's own
    // narrow calls read them in that code page too.
    const std::string folder = quickFolder + "\xDC"
                                             "ber/";
    writeSettings(true, folder);
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(expectQuickSaveWorks(folder));
}

// --- the cache folder ----------------------------------------------------------------------------

class CacheFolderFault : public FaultProgram, public ::testing::WithParamInterface<FolderState> {};

TEST_P(CacheFolderFault, CaptureCopyAndQuickSaveGoOnAndNoPartialCacheFileIsLeft) {
    SKIP_WITHOUT_MOUNTS();
    writeSettings(true, quickFolder);
    CreateDirectoryA(cacheFolder().c_str(), nullptr);
    ASSERT_NO_FATAL_FAILURE(start());
    FaultyFolder faulty(cacheFolder(), GetParam());
    ASSERT_FOLDER_READY(faulty);

    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr) << "no screenshot without a writable cache";
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    chooseShotItem(shot, copyItem);
    EXPECT_TRUE(waitUntil([] { return IsClipboardFormatAvailable(CF_BITMAP) != 0; }, 3000)) << "Copy failed";
    EXPECT_TRUE(IsWindow(shot));
    ASSERT_NO_FATAL_FAILURE(expectQuickSaveWorks(quickFolder));
    EXPECT_EQ(windowTitled(orvane.id(), "Quick Save"), nullptr);
    // One worker, one queue: with the Quick Save written, the cache saves queued before it were tried.
    for (const std::string& name : fileNamesIn(cacheFolder()))
        EXPECT_EQ(name.rfind("filler", 0), 0u) << "the failed cache save left " << name;
}

INSTANTIATE_TEST_SUITE_P(States, CacheFolderFault, ::testing::Values(FolderState::readOnly, FolderState::full),
                         [](const auto& each) { return each.param == FolderState::readOnly ? "ReadOnly" : "Full"; });

TEST_F(FaultProgram, ACacheFolderRemovedWhileRunningIsMadeAgain) {
    writeSettings(true, quickFolder);
    ASSERT_NO_FATAL_FAILURE(start());
    resetProfile(); // the settings folder, and the cache folder in it
    ASSERT_FALSE(fileExists(settingsFolder()));
    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    std::vector<std::string> cached;
    EXPECT_TRUE(waitUntil([&] { return !(cached = cacheImageFiles()).empty(); }, 3000)) << "no cache file";
    for (const std::string& name : cached)
        EXPECT_TRUE(wholeImage(cacheFolder() + name)) << name;
}

// --- the settings folder -----------------------------------------------------------------------

class SettingsFolderFault : public FaultProgram, public ::testing::WithParamInterface<FolderState> {};

TEST_P(SettingsFolderFault, AFailedSaveKeepsTheOldFileWholeAndTheProgramGoesOn) {
    SKIP_WITHOUT_MOUNTS();
    writeSettings(true, quickFolder);
    const std::string old = readFile(prefsFile());
    ASSERT_NO_FATAL_FAILURE(start());
    FaultyFolder faulty(settingsFolder(), GetParam());
    ASSERT_FOLDER_READY(faulty);

    ASSERT_NO_FATAL_FAILURE(toggleCloseOnSaveInOptions());
    EXPECT_EQ(readFile(prefsFile()), old) << "prefs.txt was damaged";
    for (const std::string& name : fileNamesIn(settingsFolder()))
        EXPECT_TRUE(name == "prefs.txt" || name == "VELTO_CACHE" || name.rfind("filler", 0) == 0)
            << "the failed save left " << name;
    // The change acts in memory: close after save is off now, so a Quick Save keeps the window.
    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    chooseShotItem(shot, quickSaveItem);
    EXPECT_TRUE(IsWindowVisible(shot)) << "the new setting is not in force: the window left the screen";
    std::vector<std::string> saved;
    EXPECT_TRUE(waitUntil([&] { return (saved = fileNamesIn(quickFolder)).size() == 1; }, 3000));
    orvane.settle();
    EXPECT_TRUE(IsWindow(shot)) << "the new setting is not in force";
}

INSTANTIATE_TEST_SUITE_P(States, SettingsFolderFault, ::testing::Values(FolderState::readOnly, FolderState::full),
                         [](const auto& each) { return each.param == FolderState::readOnly ? "ReadOnly" : "Full"; });

TEST_F(FaultProgram, ASettingsFolderRemovedWhileRunningIsMadeAgainOnSave) {
    writeSettings(true, quickFolder);
    ASSERT_NO_FATAL_FAILURE(start());
    resetProfile();
    ASSERT_NO_FATAL_FAILURE(toggleCloseOnSaveInOptions());
    EXPECT_EQ(readFile(prefsFile()), settingsText(false, quickFolder));
}

// --- killed while prefs.txt is replaced ----------------------------------------------------------

TEST_F(FaultProgram, KilledWhileSavingSettingsLeavesTheOldFileOrTheNewOneNeverAMixture) {
    // Kill moments spread over the stretch from the click on the close button
    // to well after the file is written.
    const DWORD delays[] = {0, 1, 2, 3, 4, 6, 8, 10, 13, 16, 20, 25, 32, 40, 55, 80, 120, 200, 400};
    bool closeOnSave = true;
    int sawOld = 0, sawNew = 0;
    for (DWORD delay : delays) {
        writeSettings(closeOnSave, quickFolder);
        const std::string old = settingsText(closeOnSave, quickFolder);
        const std::string changed = settingsText(!closeOnSave, quickFolder);
        ASSERT_NO_FATAL_FAILURE(start());
        const HWND window = orvane.openOptions();
        ASSERT_NE(window, nullptr) << orvane.failure();
        click(centreOf(windowRect(orvane.optionsChild(closeToggle))));
        painted(window);
        const auto closeButton = closeButtonOf(window);
        ASSERT_TRUE(closeButton.has_value());
        const HANDLE target = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, orvane.id());
        ASSERT_NE(target, nullptr);
        click(*closeButton);
        if (delay)
            Sleep(delay); // the kill moment itself: what this scenario varies
        TerminateProcess(target, 9);
        WaitForSingleObject(target, 5000);
        CloseHandle(target);

        const std::string now = readFile(prefsFile());
        EXPECT_TRUE(now == old || now == changed) << "killed " << delay << " ms after the click: \"" << now << "\"";
        sawOld += now == old;
        sawNew += now == changed;
        closeOnSave = now == changed ? !closeOnSave : closeOnSave;
    }
    // Both outcomes seen: the kills did land before and after the write.
    EXPECT_GT(sawNew, 0) << "no kill came after the save";
    std::printf("kills that left the old prefs.txt: %d, the new one: %d\n", sawOld, sawNew);
}

// --- the GUI thread kept busy --------------------------------------------------------------

TEST_F(FaultProgram, PrintScreenStillCapturesAfterKeysTypedWhileTheGuiThreadWasBusy) {
    KeyWatcher watcher; // installed before Orvane: sees what Orvane's hook passed on
    ASSERT_NO_FATAL_FAILURE(start());
    const std::string typed = "THEQUICKBROWNFOXJUMPSOVERTHELAZYDOG"; // virtual keys, as a keyboard sends them
    const auto keyUpsSeen = [&] {
        std::size_t count = 0;
        for (const KeyWatcher::Key& key : watcher.keys())
            count += key.message == WM_KEYUP && key.virtualKey >= 'A' && key.virtualKey <= 'Z';
        return count;
    };
    for (int round = 0; round < 2; ++round) {
        watcher.clear();
        // "Begin Capture" keeps the GUI thread, and with it the hook, busy for
        // a quarter of a second and then the whole capture: type through it.
        const HWND menu = orvane.openTrayMenu();
        ASSERT_NE(menu, nullptr) << orvane.failure();
        clickMenuItem(menu, beginCaptureItem, trayItemCount);
        for (const char key : typed) {
            pressKey(static_cast<WORD>(key));
            Sleep(4); // a typist's pace through the busy stretch: waiting for each key would end the stretch
        }
        ASSERT_TRUE(waitUntil([&] { return !orvane.overlays().empty(); }, 5000)) << "Begin Capture opened no overlay";
        EXPECT_TRUE(waitUntil([&] { return keyUpsSeen() == typed.size(); }, 3000))
            << keyUpsSeen() << " of " << typed.size() << " keys typed during the capture got through";
        pressKey(VK_ESCAPE);
        ASSERT_TRUE(waitUntil([&] { return orvane.overlays().empty(); }, 3000));
        orvane.settle();

        pressKey(VK_SNAPSHOT);
        EXPECT_TRUE(waitUntil([&] { return !orvane.overlays().empty(); }, 5000))
            << "PrintScreen no longer starts a capture (round " << round << ")";
        orvane.settle();
        pressKey(VK_ESCAPE);
        ASSERT_TRUE(waitUntil([&] { return orvane.overlays().empty(); }, 3000));
    }
    // A capture that runs to the end still works too.
    EXPECT_NE(pin(area), nullptr);
}

// --- damaged files beside the program ----------------------------------------------------------

struct AssetDamage {
    const char* name;
    // The bytes that replace a file, from its real ones.
    std::string (*damage)(const std::string& real);
};

std::string garbage(const std::string& real) {
    std::mt19937 random(12345);
    std::string bytes(std::max<std::size_t>(real.size(), 4096), '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}
std::string truncated(const std::string& real) { return real.substr(0, std::min<std::size_t>(real.size(), 40)); }
std::string empty(const std::string&) { return {}; }

std::size_t colourCount(const Picture& picture) {
    std::vector<COLORREF> seen;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            if (std::find(seen.begin(), seen.end(), picture.pixel(x, y)) == seen.end())
                seen.push_back(picture.pixel(x, y));
    return seen.size();
}

class DamagedAssets : public FaultProgram, public ::testing::WithParamInterface<AssetDamage> {};

TEST_P(DamagedAssets, StartUpGoesOnTheIconAppearsAndACaptureWorks) {
    const std::string folder = scratchFolder(std::string("damaged-assets-") + GetParam().name);
    std::filesystem::copy_file(orvanePath(), folder + "orvane.exe");
    for (const char* asset : {"cursor.cur", "icon.ico", "checkmark.bmp"})
        writeFile(folder + asset, GetParam().damage(readFile(driverFolder() + asset)));
    ASSERT_NO_FATAL_FAILURE(start(folder + "orvane.exe"));
    // A blank icon is no icon to a user: the tray must show a picture.
    const RECT icon = windowRect(orvane.icon());
    EXPECT_TRUE(waitUntil([&] { return colourCount(grabScreen(icon)) > 1; }, 3000)) << "the notification icon is blank";
    EXPECT_NE(pin(area), nullptr) << "no capture with damaged files";
    ASSERT_NE(orvane.openOptions(), nullptr) << "no options window with a damaged check mark: " << orvane.failure();
    EXPECT_TRUE(orvane.closeOptions()) << orvane.failure();
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedAssets,
                         ::testing::Values(AssetDamage{"Garbage", garbage}, AssetDamage{"Truncated", truncated},
                                           AssetDamage{"Empty", empty}),
                         [](const auto& each) { return std::string(each.param.name); });

} // namespace
