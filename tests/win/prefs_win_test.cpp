// The settings' Win32 half under Wine: the real user name and profile
// folders, text-mode files on disk, and replacing prefs.txt in one step.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "prefs/prefs.h"

namespace fs = std::filesystem;

namespace {

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::vector<std::string> fileNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool isFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A private folder, named with "/" and a trailing "/" as the settings folder is.
class PrefsFolder : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<unsigned> counter{0};
        root_ = fs::temp_directory_path() /
                ("orvane-prefs-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++));
        fs::create_directories(root_);
        saved_ = preferences;
        savedPath_ = prefsPath;
    }
    void TearDown() override {
        preferences = saved_;
        prefsPath = savedPath_;
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    std::string folder(const std::string& name) const { return (root_ / name).generic_string() + "/"; }

    fs::path root_;
    Preferences saved_;
    std::string savedPath_;
};

const std::string customText = "0:5:2:D:/Shots/\nresizeScreenshotWindows=1\n";
const Preferences custom{false, 5, 2, "D:/Shots/", true};

} // namespace

TEST(PrefsUser, NameComesFromTheSystem) {
    std::string name;
    ASSERT_TRUE(currentUserName(name));
    EXPECT_FALSE(name.empty());
    char fromEnvironment[256] = {};
    ASSERT_GT(GetEnvironmentVariableA("USERNAME", fromEnvironment, sizeof(fromEnvironment)), 0u);
    EXPECT_EQ(name, fromEnvironment);
}

TEST(PrefsUser, PathTemplatesUseTheCurrentName) {
    std::string name;
    ASSERT_TRUE(currentUserName(name));
    const std::string expanded = expandUserPath("C:\\Users\\($User)\\Desktop");
    EXPECT_EQ(expanded, "C:/Users/" + name + "/Desktop/");
    EXPECT_EQ(foldUserPath(expanded), "C:/Users/($User)/Desktop/");
    EXPECT_EQ(foldUserPath("C:/Users/" + name + "x/Desktop"), "C:/Users/" + name + "x/Desktop/");
}

// Wine keeps the profile under C:\users\<name>, so the fixed folder exists
// and the system's local application-data folder is that same folder.
TEST(PrefsUser, SettingsFolderIsInTheProfile) {
    std::string name;
    ASSERT_TRUE(currentUserName(name));
    ASSERT_TRUE(isFolder(profileLocalFolder(name)));
    EXPECT_EQ(appDataFolder(), "C:/Users/" + name + "/AppData/Local/Lumagrab/");

    // The guess is the system's folder by identity, and the Desktop follows suit.
    EXPECT_EQ(localAppDataFolder(), profileLocalFolder(name));
    EXPECT_EQ(desktopFolder(), "C:/Users/" + name + "/Desktop");
    EXPECT_FALSE(sameFolder(profileLocalFolder(name), "C:/Users/" + name + "/Desktop"));
    EXPECT_EQ(quickSaveFolderFrom(defaultQuickSaveLocation), "C:/Users/" + name + "/Desktop/");
}

TEST_F(PrefsFolder, LoadPreferencesUsesTheProfileFolder) {
    std::string name;
    ASSERT_TRUE(currentUserName(name));
    const std::string folder = "C:/Users/" + name + "/AppData/Local/Lumagrab/";
    const std::string file = folder + "prefs.txt";
    const bool hadFile = fs::exists(file);
    const std::string previous = hadFile ? readBytes(file) : std::string();

    loadPreferences();
    EXPECT_TRUE(isFolder(folder));
    EXPECT_EQ(prefsPath, file);
    if (!hadFile) {
        EXPECT_EQ(preferences, Preferences{});
        EXPECT_FALSE(fs::exists(file)) << "nothing is written at start-up";
    }

    writeBytes(file, customText);
    loadPreferences();
    EXPECT_EQ(preferences, custom);

    if (hadFile)
        writeBytes(file, previous);
    else
        fs::remove(file);
}

TEST_F(PrefsFolder, LoadCreatesOnlyTheLastLevel) {
    const std::string settings = folder("missing") + "Lumagrab/";
    preferences = custom;
    loadPreferencesFrom(settings);
    EXPECT_FALSE(fs::exists(root_ / "missing"));
    EXPECT_EQ(preferences, Preferences{});
    savePreferences();
    EXPECT_FALSE(fs::exists(root_ / "missing")) << "a save into a missing folder writes nothing";
    EXPECT_EQ(preferences, Preferences{});
}

// On disk the runtime's text mode makes CR LF; both line ends read the same.
TEST_F(PrefsFolder, CrLfAndLfFilesLoadTheSame) {
    const std::string settings = folder("Lumagrab");
    fs::create_directories(root_ / "Lumagrab");
    std::string crlf;
    for (const char c : customText)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& bytes : {customText, crlf}) {
        writeBytes(root_ / "Lumagrab" / "prefs.txt", bytes);
        preferences = {};
        loadPreferencesFrom(settings);
        EXPECT_EQ(preferences, custom);
    }
}

TEST_F(PrefsFolder, LoadCreatesTheFolderAndSaveWritesCrLf) {
    const std::string settings = folder("Lumagrab");
    loadPreferencesFrom(settings);
    EXPECT_TRUE(isFolder(settings));
    EXPECT_EQ(prefsPath, settings + "prefs.txt");
    EXPECT_EQ(preferences, Preferences{});
    EXPECT_TRUE(fileNames(root_ / "Lumagrab").empty()) << "nothing is written at start-up";

    savePreferences();
    EXPECT_EQ(readBytes(prefsPath), "1:1:1:C:/Users/($User)/Desktop/\r\nresizeScreenshotWindows=0\r\n");

    preferences = custom;
    savePreferences();
    EXPECT_EQ(readBytes(prefsPath), "0:5:2:D:/Shots/\r\nresizeScreenshotWindows=1\r\n");
    preferences = {};
    loadPreferencesFrom(settings);
    EXPECT_EQ(preferences, custom);
}

TEST_F(PrefsFolder, SaveReplacesTheOldFileAndLeavesNoTemporary) {
    const std::string settings = folder("Lumagrab");
    fs::create_directories(root_ / "Lumagrab");
    // Longer than what replaces it: no tail of the old text may survive.
    writeBytes(root_ / "Lumagrab" / "prefs.txt",
               "1:1:1:" + std::string(500, 'x') + "\r\nresizeScreenshotWindows=1\r\n");
    loadPreferencesFrom(settings);
    preferences = custom;
    savePreferences();
    EXPECT_EQ(readBytes(prefsPath), "0:5:2:D:/Shots/\r\nresizeScreenshotWindows=1\r\n");
    EXPECT_EQ(fileNames(root_ / "Lumagrab"), std::vector<std::string>{"prefs.txt"});
}

// The temporary file cannot be made (every name it may take is taken by a
// folder): the old prefs.txt stays as it was.
TEST_F(PrefsFolder, FailedSaveLeavesTheOldFileWhole) {
    const std::string settings = folder("Lumagrab");
    for (int attempt = 1; attempt <= temporaryNameTries; ++attempt)
        fs::create_directories(temporaryName(settings + "prefs.txt", attempt));
    const std::string old = "0:3:0:E:/Old/\r\nresizeScreenshotWindows=1\r\n";
    writeBytes(root_ / "Lumagrab" / "prefs.txt", old);
    loadPreferencesFrom(settings);
    preferences = Preferences{};
    savePreferences();
    EXPECT_EQ(readBytes(prefsPath), old);
    EXPECT_EQ(preferences, Preferences{}) << "the values in memory stay in force";
}

// prefs.txt is held open without delete sharing, so it cannot be replaced:
// it stays whole and the temporary file is removed.
TEST_F(PrefsFolder, BlockedReplaceLeavesTheOldFileAndNoTemporary) {
    const std::string settings = folder("Lumagrab");
    fs::create_directories(root_ / "Lumagrab");
    const std::string old = "0:3:0:E:/Old/\r\nresizeScreenshotWindows=1\r\n";
    writeBytes(root_ / "Lumagrab" / "prefs.txt", old);
    loadPreferencesFrom(settings);
    const HANDLE held = CreateFileA(prefsPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    preferences = Preferences{};
    savePreferences();
    CloseHandle(held);
    EXPECT_EQ(readBytes(prefsPath), old);
    EXPECT_EQ(fileNames(root_ / "Lumagrab"), std::vector<std::string>{"prefs.txt"});
}

// Catches a prefs.txt in the legacy ANSI code page read as UTF-8: Quick Save
// would then write into a folder named with a replacement character.
TEST_F(PrefsFolder, ALegacyAnsiFileIsReadInTheUsersCodePageAndWrittenBackAsUtf8) {
    const std::string legacy = "C:/qs/\xDC"
                               "ber/";
    const std::string utf8 = "C:/qs/\xC3\x9C"
                             "ber/";
    EXPECT_EQ(legacyToUtf8(legacy, 1252), utf8);
    const std::string settings = folder("Lumagrab");
    fs::create_directories(root_ / "Lumagrab");
    writeBytes(root_ / "Lumagrab" / "prefs.txt", "0:5:2:" + legacy + "\r\nresizeScreenshotWindows=1\r\n");
    loadPreferencesFrom(settings);
    EXPECT_EQ(preferences.quickSaveLocation, legacyToUtf8(legacy, legacyAnsiCodePage()));
    if (legacyAnsiCodePage() == 1252) {
        EXPECT_EQ(preferences.quickSaveLocation, utf8);
    }
    EXPECT_TRUE(preferences.resizeScreenshotWindows);
    preferences.quickSaveLocation = utf8;
    savePreferences();
    EXPECT_EQ(readBytes(prefsPath), "0:5:2:" + utf8 + "\r\nresizeScreenshotWindows=1\r\n");
}

// Without a usable user name there is no settings folder: defaults in memory,
// and neither loading nor saving writes anything anywhere.
TEST_F(PrefsFolder, NoSettingsFolderMeansMemoryOnly) {
    char previous[MAX_PATH] = {};
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA(root_.string().c_str()));
    preferences = custom;
    prefsPath = "stale";
    loadPreferencesFrom("");
    EXPECT_EQ(preferences, Preferences{});
    EXPECT_TRUE(prefsPath.empty());
    preferences = custom;
    savePreferences();
    EXPECT_TRUE(fileNames(root_).empty());
    EXPECT_EQ(preferences, custom);
    SetCurrentDirectoryA(previous);
}
