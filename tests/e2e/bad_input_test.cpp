// Bad input through the real program: damaged prefs.txt files read by the
// start-up, Quick Save folders that cannot be folders (too long, forbidden
// characters, device names), and the start-up clean-up of the cache folder
// beside files it must not touch and links that point elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>

#include "scenario.h"

using namespace driver;
namespace fs = std::filesystem;

namespace {

constexpr COLORREF yellow = RGB(255, 255, 0);

enum Child : std::size_t { pathBox = 18 };

std::string defaultFolder() { return "C:/Users/" + userName() + "/Desktop/"; }

bool tick(COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) > 200 && GetBValue(c) > 200; }

class BadInput : public OrvaneScenario {
protected:
    // PrintScreen opens the overlays, Escape takes them down again.
    void expectPrintScreenCaptures() {
        ASSERT_TRUE(orvane.startCapture()) << orvane.failure();
        pressKey(VK_ESCAPE);
        EXPECT_TRUE(orvane.captureEnded());
    }
    // The new screenshot window over `rect`, once its cache file is written.
    HWND pinWithCacheFile(const RECT& rect) {
        const HWND made = pin(rect);
        waitUntil([] { return !cacheImageFiles().empty(); }, 3000);
        return made;
    }
    Picture clientPicture() const {
        const HWND options = orvane.options();
        RECT client{};
        GetClientRect(options, &client);
        MapWindowPoints(options, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
        return grabScreen(client);
    }
    bool showsWithin(int x, int y, const std::function<bool(COLORREF)>& wanted) const {
        return waitUntil([&] { return wanted(clientPicture().pixel(x, y)); }, 2000);
    }
    std::string boxText() const { return controlText(orvane.optionsChild(pathBox)); }
};

// --- prefs.txt through the start-up --------------------------------------------------

struct Settings {
    bool closeOnSave = true;
    int swatch = 1;
    int format = 1;
    bool resize = false;
    std::string folder; // as the options box shows it; empty: the default folder
};

struct PrefsCase {
    std::string name;
    std::string bytes;
    Settings expected;
};

std::string repeated(const std::string& piece, std::size_t length) {
    std::string text;
    text.reserve(length + piece.size());
    while (text.size() < length)
        text += piece;
    text.resize(length);
    return text;
}

const std::string resizeOn = "resizeScreenshotWindows=1";
constexpr std::size_t maxLocation = 30000; // the longest location prefs.txt may hold

// Files that only the program's own reading of prefs.txt (text mode, the
// whole file) and its options window show; the parser's verdict on each
// field is the unit tests' (PrefsParse), any bytes the fuzz target's.
std::vector<PrefsCase> madeCases() {
    const std::string tenMegabytes = repeated(resizeOn + std::string("\0\x01\xFF", 3), 10 * 1024 * 1024);
    return {
        // The longest location is read and shown whole (the options box holds it all).
        {"LongestLocation",
         "1:3:2:D:/" + repeated("x", maxLocation - 4) + "/\n" + resizeOn + "\n",
         {true, 3, 2, true, "D:/" + repeated("x", maxLocation - 4) + "/"}},
        {"LongSecondLine",
         "0:2:0:D:/Shots/\n" + repeated("resize", 1000000) + "\n" + resizeOn + "\n",
         {false, 2, 0, true, "D:/Shots/"}},
        {"NulBytesInTheFields",
         std::string("0:2\0:0\0:D:/Shots/\n", 18) + resizeOn + std::string("\0\n", 2),
         {false, 2, 0, false, "D:/Shots/"}},
        {"NoLineEnd", "0:4:0:D:/NoEnd/", {false, 4, 0, false, "D:/NoEnd/"}},
        {"ByteOrderMark",
         "\xEF\xBB\xBF"
         "0:3:2:D:/Bom/\n",
         {true, 3, 2, false, "D:/Bom/"}},
        {"TenMegabytesAfterTheFirstLine",
         "1:5:1:D:/Big/\n" + tenMegabytes + "\n" + resizeOn + "\n",
         {true, 5, 1, true, "D:/Big/"}},
        {"TenMegabytesWithoutALineEnd", "0:0:2:" + repeated("y", 10 * 1024 * 1024), {false, 0, 2, false, ""}},
    };
}

void PrintTo(const PrefsCase& c, std::ostream* os) { *os << c.name; }

class DamagedPrefs : public BadInput, public ::testing::WithParamInterface<PrefsCase> {};

TEST_P(DamagedPrefs, StartUpGoesOnWithSaneSettingsAndPrintScreenCaptures) {
    writeFile(prefsPath(), GetParam().bytes);
    ASSERT_EQ(readFile(prefsPath()).size(), GetParam().bytes.size());
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(expectPrintScreenCaptures());

    ASSERT_NE(orvane.openOptions(), nullptr) << orvane.failure();
    const Settings& want = GetParam().expected;
    EXPECT_TRUE(showsWithin(140 + 24 * want.swatch, 39, [](COLORREF c) { return c == yellow; }))
        << "swatch " << want.swatch;
    EXPECT_TRUE(showsWithin(140 + 40 * want.format, 99, [](COLORREF c) { return c == yellow; }))
        << "format " << want.format;
    EXPECT_TRUE(showsWithin(228, 143, [&](COLORREF c) { return tick(c) == want.closeOnSave; }));
    EXPECT_TRUE(showsWithin(228, 173, [&](COLORREF c) { return tick(c) == want.resize; }));
    const std::string shown = boxText();
    const std::string folder = want.folder.empty() ? defaultFolder() : want.folder;
    EXPECT_EQ(shown.size(), folder.size());
    EXPECT_TRUE(shown == folder) << shown.substr(0, 80);
    // Exit with the window open writes nothing: the damaged file stays as it was.
    EXPECT_EQ(orvane.stop(), 0u) << orvane.failure();
    EXPECT_EQ(readFile(prefsPath()).size(), GetParam().bytes.size());
}

INSTANTIATE_TEST_SUITE_P(Made, DamagedPrefs, ::testing::ValuesIn(madeCases()),
                         [](const auto& test) { return test.param.name; });

// --- Quick Save folders that cannot be folders ------------------------------------------

const RECT area{200, 160, 360, 280};

std::string scratchRoot() {
    static const std::string root = scratchFolder("bad-folders");
    return root;
}

std::string tempFolder() {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    return temp;
}

// Where a write that goes astray lands: every folder above the scratch folder
// and above the settings, the program's folder (the current one), and the
// whole scratch folder. Not the whole profile: Wine links its Desktop and
// Documents to the Unix home folder.
std::set<std::string> driveContents() {
    std::set<std::string> names;
    const std::string profile = "C:\\users\\" + userName() + "\\";
    for (const std::string& folder : {std::string("C:\\"), std::string("C:\\users\\"), profile, profile + "AppData\\",
                                      profile + "AppData\\Local\\", settingsFolder(), tempFolder(), driverFolder()})
        for (const std::string& name : fileNamesIn(folder))
            names.insert(folder + name);
    std::error_code error;
    for (auto entry = fs::recursive_directory_iterator(scratchRoot(), error);
         !error && entry != fs::recursive_directory_iterator(); entry.increment(error))
        names.insert(entry->path().string());
    return names;
}

std::vector<std::string> added(const std::set<std::string>& before, const std::set<std::string>& after) {
    std::vector<std::string> names;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(names));
    return names;
}

// The Quick Save of `shot` into an unusable folder: the "Quick Save" message,
// the window stays, and nothing new appears anywhere.
void expectRefusedQuickSave(Session& orvane, HWND shot, const std::string& folder) {
    const std::set<std::string> before = driveContents();
    ASSERT_TRUE(orvane.chooseScreenshotItem(shot, quickSaveItem)) << orvane.failure();
    const HWND message = orvane.waitForWindowTitled("Quick Save");
    ASSERT_NE(message, nullptr) << "no message for " << folder;
    EXPECT_NE(messageText(message).find("was not saved"), std::string::npos) << messageText(message);
    ASSERT_TRUE(acknowledge(message));
    EXPECT_TRUE(IsWindow(shot)) << "a screenshot that could not be saved must stay";
    // Nothing to wait for when nothing should come: a queued save would be written within the worker's pause.
    Sleep(300);
    for (const std::string& name : added(before, driveContents()))
        ADD_FAILURE() << "written for " << folder << ": " << name;
}

// Which folders cannot be used is the unit tests' (QuickSaveFolder); here one
// of each way in shows that the program asks before it makes or writes
// anything: a device name stored in prefs.txt, where a write would open the
// device, and a relative folder typed in the options, where a write would
// land in whatever the current folder is.
using StoredBadFolder = BadInput;

TEST_F(StoredBadFolder, QuickSaveSaysSoKeepsTheWindowAndWritesNothing) {
    const std::string folder = scratchRoot() + "COM1\\";
    writePreferences({true, 1, 1, folder});
    ASSERT_NO_FATAL_FAILURE(start());
    const HWND shot = pinWithCacheFile(area);
    ASSERT_NE(shot, nullptr);
    expectRefusedQuickSave(orvane, shot, folder);
}

using TypedBadFolder = BadInput;

TEST_F(TypedBadFolder, QuickSaveSaysSoUntilAUsableFolderIsTyped) {
    scratchRoot();
    ASSERT_NO_FATAL_FAILURE(start());
    const HWND shot = pinWithCacheFile(area);
    ASSERT_NE(shot, nullptr);
    ASSERT_NE(orvane.openOptions(), nullptr) << orvane.failure();
    ASSERT_TRUE(typeInto(orvane.optionsChild(pathBox), "relative-shots\\")) << boxText();
    ASSERT_TRUE(orvane.closeOptions()) << orvane.failure();
    ASSERT_NO_FATAL_FAILURE(expectRefusedQuickSave(orvane, shot, "relative-shots\\"));
    // The same way with a usable folder does save, and closes the window.
    const std::string good = scratchRoot() + "good\\";
    ASSERT_NE(orvane.openOptions(), nullptr) << orvane.failure();
    ASSERT_TRUE(typeInto(orvane.optionsChild(pathBox), good)) << boxText();
    ASSERT_TRUE(orvane.closeOptions()) << orvane.failure();
    chooseShotItem(shot, quickSaveItem);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(shot); }, 3000));
    if (const HWND message = orvane.waitForWindowTitled("Quick Save", 0))
        ADD_FAILURE() << messageText(message);
    EXPECT_TRUE(waitUntil([&] { return fileNamesIn(good).size() == 1; }, 3000));
}

// --- the cache clean-up --------------------------------------------------------------------

// The Unix name of a Windows path, from Wine's own export.
std::string unixName(const std::string& path) {
    using Convert = char*(CDECL*)(LPCWSTR);
    const auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert)
        return {};
    std::wstring wide(path.size() + 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    char* name = convert(wide.c_str());
    if (!name)
        return {};
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// Runs a shell command line natively: Wine starts a file that is not a
// Windows program as a Unix process, but hands back no handle to wait on, so
// the command touches a marker file when it is done. False on time-out.
bool runUnixShell(const std::string& script) {
    const std::string marker = scratchFolder("unix-shell") + "done";
    std::string commandLine = "/bin/sh -c \"" + script + "; touch '" + unixName(marker) + "'\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (CreateProcessA("Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    return waitUntil([&] { return fileExists(marker); }, 5000);
}

std::string quoted(const std::string& path) {
    std::string text = unixName(path);
    text.insert(text.begin(), '\'');
    text.push_back('\'');
    return text;
}

const char* const cacheLinks[] = {"link-to-file.png", "link-to-dir.png", "link-to-dir"};

// Unlinked by Unix: Windows sees no link, and a removal through it would
// empty the folder it points to.
bool removeCacheLinks() {
    std::string script = "rm -f";
    for (const char* link : cacheLinks) {
        script += ' ';
        script += quoted(cacheFolder() + link);
    }
    return runUnixShell(script);
}

class CacheCleanup : public BadInput {
protected:
    // Links left by a run cut short go first: the fresh profile would be removed through them.
    void SetUp() override {
        ASSERT_TRUE(removeCacheLinks()) << "the shell did not run";
        BadInput::SetUp();
    }
};

// Which names go is the clean-up's own test (tests/win); here: the start-up runs it, and never through a link.
TEST_F(CacheCleanup, StartUpDeletesTheProgramsImagesAndNothingThroughLinks) {
    // Also when an assertion ends the test early: the next resetProfile would go through them.
    struct Unlink {
        ~Unlink() { removeCacheLinks(); }
    } unlinkAtTheEnd;
    const std::string outside = scratchFolder("cache-outside");
    const std::string cache = cacheFolder();
    writeFile(cache + "ScreenCapture17000000001.png", "stale");
    const std::vector<std::string> targets = {"target.png", "dir\\kept.png", "dir\\kept.jpg", "dir\\kept.bmp"};
    for (const std::string& name : targets)
        writeFile(outside + name, "outside " + name);
    std::string links;
    for (const auto& [target, link] :
         {std::pair{outside + "target.png", cache + "link-to-file.png"},
          std::pair{outside + "dir", cache + "link-to-dir.png"}, std::pair{outside + "dir", cache + "link-to-dir"}}) {
        links += links.empty() ? "ln -s " : " && ln -s ";
        links += quoted(target);
        links += ' ';
        links += quoted(link);
    }
    ASSERT_TRUE(runUnixShell(links)) << "the shell did not run";
    // Wine shows the links as what they point to.
    ASSERT_EQ(readFile(cache + "link-to-file.png"), "outside target.png");
    ASSERT_EQ(readFile(cache + "link-to-dir.png\\kept.png"), "outside dir\\kept.png");

    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(orvane.stop(), 0u) << orvane.failure();

    EXPECT_FALSE(fileExists(cache + "ScreenCapture17000000001.png"));
    for (const std::string& name : targets)
        EXPECT_EQ(readFile(outside + name), "outside " + name) << name;
    EXPECT_EQ(readFile(cache + "link-to-dir\\kept.png"), "outside dir\\kept.png");
}

} // namespace
