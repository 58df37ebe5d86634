// Bad input through the real program: damaged prefs.txt files read by the
// start-up, Quick Save folders that cannot be folders (too long, forbidden
// characters, device names), and the start-up clean-up of the cache folder
// beside files it must not touch and links that point elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "driver.h"

using namespace driver;
namespace fs = std::filesystem;

namespace {

constexpr const char* optionsClass = "Screen Capture Options Menu";
constexpr COLORREF yellow = RGB(255, 255, 0);
constexpr int quickSaveItem = 1;

enum Child : std::size_t { firstSwatch = 5, jpgChoice = 12, closeToggle = 15, resizeToggle = 17, pathBox = 18 };

std::string prefsFile() { return settingsFolder() + "prefs.txt"; }
std::string defaultFolder() { return "C:/Users/" + userName() + "/Desktop/"; }

std::string boxText(HWND box) {
    const LRESULT length = SendMessageA(box, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
    const LRESULT copied =
        SendMessageA(box, WM_GETTEXT, static_cast<WPARAM>(text.size()), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

bool tick(COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) > 200 && GetBValue(c) > 200; }

// One orvane.exe, its tray, options window and screenshot windows, as the
// other scenarios use them.
class Orvane {
public:
    bool start() {
        process_ = std::make_unique<Process>();
        if (!process_->started())
            return false;
        running_ = std::make_unique<RunningOrvane>(RunningOrvane{*process_});
        return waitForStartUp(*process_, trayIcons(), *running_);
    }
    // Exit from the tray menu; the exit code, or nothing when it did not end.
    std::optional<DWORD> exit() {
        if (!process_ || !process_->running())
            return process_ ? process_->waitForExit(0) : std::nullopt;
        if (!chooseTrayItem(*running_, exitItem))
            return std::nullopt;
        return process_->waitForExit(5000);
    }
    Process& process() { return *process_; }
    DWORD id() const { return process_->id(); }

    // PrintScreen opens the overlays, Escape takes them down again. The tray
    // window answering means the GUI thread is in its loop, the hook installed.
    bool printScreenCaptures() {
        process_->waitUntilIdle(3000);
        waitUntilResponsive(running_->trayWindow, 3000);
        pressKey(VK_SNAPSHOT);
        const double pressed = nowMs();
        // Generous: a loaded machine has been seen to take seconds over a capture.
        const bool shown = waitUntil([&] { return !visibleWindows(id(), overlayClass).empty(); }, 10000);
        if (shown && nowMs() - pressed > 3000)
            std::printf("note: the overlays took %.0f ms\n", nowMs() - pressed);
        if (!shown)
            return false;
        // A key that comes while the GUI thread is still busy with the capture
        // passes the hook by (its time-out): Escape once the thread answers.
        waitUntilResponsive(visibleWindows(id(), overlayClass).front(), 3000);
        pressKey(VK_ESCAPE);
        return waitUntil([&] { return visibleWindows(id(), overlayClass).empty(); }, 3000);
    }

    // PrintScreen, a drag over `rect`, and the new screenshot window once its cache file is written.
    HWND pin(const RECT& rect) {
        process_->waitUntilIdle(5000);
        pressKey(VK_SNAPSHOT);
        if (!waitUntil([&] { return !visibleWindows(id(), overlayClass).empty(); }, 5000))
            return nullptr;
        process_->waitUntilIdle(3000);
        Sleep(100);
        if (!dragSelection(id(), {rect.left, rect.top}, {rect.right, rect.bottom}))
            return nullptr;
        HWND made = nullptr;
        waitUntil(
            [&] {
                const std::vector<HWND> shots = visibleWindows(id(), screenshotClass);
                made = shots.empty() ? nullptr : shots.front();
                return made != nullptr;
            },
            3000);
        waitUntil([] { return !cacheImageFiles().empty(); }, 3000);
        return made;
    }
    bool chooseShotItem(HWND shot, int item) { return chooseScreenshotItem(id(), shot, item); }
    // The visible message box titled `caption`, waiting for it.
    HWND waitForMessage(const std::string& caption, DWORD timeoutMs) {
        HWND message = nullptr;
        waitUntil(
            [&] {
                for (HWND window : topLevelWindows(id()))
                    if (IsWindowVisible(window) && windowTitle(window) == caption)
                        message = window;
                return message != nullptr;
            },
            timeoutMs);
        return message;
    }

    HWND openOptions() {
        if (!chooseTrayItem(*running_, optionsItem))
            return nullptr;
        options_ = waitForWindow(id(), optionsClass, 3000);
        // Found as soon as it exists: its children come after, and it shows last.
        if (!options_ ||
            !waitUntil([&] { return IsWindowVisible(options_) && childWindows(options_).size() == 19; }, 3000))
            return nullptr;
        waitUntilResponsive(options_, 2000);
        return options_;
    }
    HWND child(std::size_t index) const {
        const std::vector<HWND> children = childWindows(options_);
        return index < children.size() ? children[index] : nullptr;
    }
    Screenshot clientPicture() const {
        RECT client{};
        GetClientRect(options_, &client);
        MapWindowPoints(options_, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
        return grabScreen(client);
    }
    bool showsWithin(int x, int y, const std::function<bool(COLORREF)>& wanted) const {
        return waitUntil([&] { return wanted(clientPicture().pixel(x, y)); }, 2000);
    }
    // The box has the keyboard focus once its thread says so; a click on a
    // window that has only just opened may be taken for its activation.
    bool focusBox() {
        const HWND box = child(pathBox);
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        for (int attempt = 0; attempt < 3; ++attempt) {
            click(centreOf(windowRect(box)));
            if (waitUntil(
                    [&] {
                        return GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &info) && info.hwndFocus == box;
                    },
                    1000))
                return true;
        }
        return false;
    }
    bool typeIntoBox(const std::string& text) {
        if (!focusBox())
            return false;
        // Wine's edit box knows no Ctrl+A: select from the start to the end.
        pressKey(VK_HOME);
        pressChord(VK_SHIFT, VK_END);
        pressKey(VK_DELETE);
        typeText(text);
        return waitUntil([&] { return boxText(child(pathBox)) == text; }, 3000);
    }
    bool closeOptions() {
        const auto button = closeButtonOf(options_);
        if (!button)
            return false;
        click(*button);
        return waitUntil([&] { return !IsWindow(options_); }, 3000);
    }

private:
    std::unique_ptr<Process> process_;
    std::unique_ptr<RunningOrvane> running_;
    HWND options_ = nullptr;
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

std::string randomBytes(std::size_t length, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(length, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

const std::string resizeOn = "resizeScreenshotWindows=1";
constexpr std::size_t maxLocation = 30000; // the longest location prefs.txt may hold

// Made files: what a fuzzer's seeds do not hold.
std::vector<PrefsCase> madeCases() {
    const std::string tenMegabytes = repeated(resizeOn + std::string("\0\x01\xFF", 3), 10 * 1024 * 1024);
    return {
        // The longest location is read and shown whole; a longer one names no folder.
        {"LongestLocation",
         "1:3:2:D:/" + repeated("x", maxLocation - 4) + "/\n" + resizeOn + "\n",
         {true, 3, 2, true, "D:/" + repeated("x", maxLocation - 4) + "/"}},
        {"LongerLocation", "1:3:2:D:/" + repeated("x", 100000) + "/\n" + resizeOn + "\n", {true, 3, 2, true, ""}},
        {"LongSecondLine",
         "0:2:0:D:/Shots/\n" + repeated("resize", 1000000) + "\n" + resizeOn + "\n",
         {false, 2, 0, true, "D:/Shots/"}},
        {"NulBytesInTheFields",
         std::string("0:2\0:0\0:D:/Shots/\n", 18) + resizeOn + std::string("\0\n", 2),
         {false, 2, 0, false, "D:/Shots/"}},
        {"NulByteInTheLocation", std::string("0:4:2:C:/Sh\0ots/\n", 17) + resizeOn + "\n", {false, 4, 2, true, ""}},
        {"ControlCharacterInTheLocation", "1:5:0:D:/Tab\there/\n", {true, 5, 0, false, ""}},
        {"NoLineEnd", "0:4:0:D:/NoEnd/", {false, 4, 0, false, "D:/NoEnd/"}},
        {"CarriageReturnsOnly", "0:3:2:D:/Mac/\r" + resizeOn + "\r", {false, 3, 2, false, ""}},
        {"ByteOrderMark",
         "\xEF\xBB\xBF"
         "0:3:2:D:/Bom/\n",
         {true, 3, 2, false, "D:/Bom/"}},
        {"TenMegabytesAfterTheFirstLine",
         "1:5:1:D:/Big/\n" + tenMegabytes + "\n" + resizeOn + "\n",
         {true, 5, 1, true, "D:/Big/"}},
        {"TenMegabytesWithoutALineEnd", "0:0:2:" + repeated("y", 10 * 1024 * 1024), {false, 0, 2, false, ""}},
        {"RandomBytes", randomBytes(65536, 7), {true, -1, 1, false, ""}}, // settings unchecked
    };
}

// What the committed seeds of the settings parser's fuzz target read as. A
// seed missing here is still started; only its settings go unchecked.
const std::map<std::string, Settings>& seedSettings() {
    static const std::map<std::string, Settings> table = {
        {"4abc.txt", {true, 4, 1, false, "A/"}},
        {"abc.txt", {true, 1, 1, false, "A/"}},
        {"all_fields.txt", {false, 5, 2, true, "D:/Shots/"}},
        {"all_fields_crlf.txt", {false, 5, 2, true, "D:/Shots/"}},
        {"blank_4.txt", {true, 4, 1, false, "A/"}},
        {"colons.txt", {true, 1, 1, false, "C:/My:Odd/"}},
        {"cr_location.txt", {true, 2, 0, false, ""}},
        {"defaults.txt", {true, 1, 1, false, ""}},
        {"empty.txt", {}},
        {"empty_location.txt", {true, 2, 0, false, ""}},
        {"first_00.txt", {true, 1, 1, false, "A/"}},
        {"first_blank_0.txt", {true, 1, 1, false, "A/"}},
        {"first_false.txt", {true, 1, 1, false, "A/"}},
        {"minus_1.txt", {true, 1, 1, false, "A/"}},
        {"out_of_range.txt", {true, 1, 1, false, "X/"}},
        {"resize_blank.txt", {true, 1, 1, false, "A/"}},
        {"resize_capital.txt", {true, 1, 1, false, "A/"}},
        {"resize_first_line.txt", {true, 1, 1, false, ""}},
        {"too_big.txt", {true, 1, 1, false, "A/"}},
        {"zero_alone.txt", {false, 1, 1, false, ""}},
    };
    return table;
}

std::vector<PrefsCase> seedCases() {
    std::vector<PrefsCase> cases;
    for (const std::string& name : fileNamesIn(ORVANE_PREFS_SEEDS)) {
        const auto known = seedSettings().find(name);
        Settings expected = known != seedSettings().end() ? known->second : Settings{};
        if (known == seedSettings().end())
            expected.swatch = -1; // not checked
        std::string id = "Seed_" + name.substr(0, name.find('.'));
        std::replace_if(
            id.begin(), id.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
        cases.push_back({id, readFile(std::string(ORVANE_PREFS_SEEDS) + "\\" + name), expected});
    }
    return cases;
}

void PrintTo(const PrefsCase& c, std::ostream* os) { *os << c.name; }

class DamagedPrefs : public ::testing::TestWithParam<PrefsCase> {};

TEST_P(DamagedPrefs, StartUpGoesOnWithSaneSettingsAndPrintScreenCaptures) {
    resetProfile();
    writeFile(prefsFile(), GetParam().bytes);
    ASSERT_EQ(readFile(prefsFile()).size(), GetParam().bytes.size());
    Orvane orvane;
    ASSERT_TRUE(orvane.start()) << "no tray icon";
    EXPECT_TRUE(orvane.printScreenCaptures());

    ASSERT_NE(orvane.openOptions(), nullptr);
    const Settings& want = GetParam().expected;
    if (want.swatch >= 0) {
        EXPECT_TRUE(orvane.showsWithin(140 + 24 * want.swatch, 39, [](COLORREF c) { return c == yellow; }))
            << "swatch " << want.swatch;
        EXPECT_TRUE(orvane.showsWithin(140 + 40 * want.format, 99, [](COLORREF c) { return c == yellow; }))
            << "format " << want.format;
        EXPECT_TRUE(orvane.showsWithin(228, 143, [&](COLORREF c) { return tick(c) == want.closeOnSave; }));
        EXPECT_TRUE(orvane.showsWithin(228, 173, [&](COLORREF c) { return tick(c) == want.resize; }));
        const std::string shown = boxText(orvane.child(pathBox));
        const std::string folder = want.folder.empty() ? defaultFolder() : want.folder;
        EXPECT_EQ(shown.size(), folder.size());
        EXPECT_TRUE(shown == folder) << shown.substr(0, 80);
    } else {
        // Whatever the bytes say, one swatch and one format are chosen.
        int swatches = 0, formats = 0;
        waitUntil(
            [&] {
                const Screenshot p = orvane.clientPicture();
                swatches = formats = 0;
                for (int i = 0; i < 6; ++i)
                    swatches += p.pixel(140 + 24 * i, 39) == yellow;
                for (int i = 0; i < 3; ++i)
                    formats += p.pixel(140 + 40 * i, 99) == yellow;
                return swatches == 1 && formats == 1;
            },
            2000);
        EXPECT_EQ(swatches, 1);
        EXPECT_EQ(formats, 1);
    }
    // Exit with the window open writes nothing: the damaged file stays as it was.
    EXPECT_EQ(orvane.exit(), 0u);
    EXPECT_EQ(readFile(prefsFile()).size(), GetParam().bytes.size());
}

INSTANTIATE_TEST_SUITE_P(FuzzSeeds, DamagedPrefs, ::testing::ValuesIn(seedCases()),
                         [](const auto& test) { return test.param.name; });
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

// The text of a message box: its static control's.
std::string messageText(HWND message) {
    for (HWND child : childWindows(message)) {
        if (className(child) != "Static")
            continue;
        std::string text(static_cast<std::size_t>(GetWindowTextLengthA(child)) + 1, '\0');
        text.resize(static_cast<std::size_t>(GetWindowTextA(child, text.data(), static_cast<int>(text.size()))));
        if (!text.empty())
            return text;
    }
    return {};
}

struct BadFolder {
    std::string name;
    std::string folder; // relative to the scratch folder unless it is a full path
};

std::string fullFolder(const BadFolder& bad) {
    const bool full = bad.folder.size() > 1 && (bad.folder[1] == ':' || bad.folder[0] == '\\');
    return full || bad.name == "Relative" ? bad.folder : scratchRoot() + bad.folder;
}

std::vector<BadFolder> badFolders() {
    std::vector<BadFolder> folders = {
        {"LongerThanThePathLimit", repeated("long-folder\\", 25 * 12)},
        // The folder itself could be made; the file name in it cannot.
        {"NoRoomForTheFileName", repeated("n", 245 - scratchRoot().size()) + "\\"},
        {"Nul", "NUL\\"},
        {"Con", "con\\"},
        {"Com1", "COM1\\"},
        {"Lpt1", "lpt1\\"},
        {"DeviceWithExtension", "nul.txt\\"},
        {"DeviceWithBlankAndExtension", "Com1 .png\\"},
        {"DeviceInTheMiddle", "aux\\shots\\"},
        {"DeviceNamespace", "\\\\.\\COM1\\"},
        {"TrailingDot", "dots...\\"},
        {"TrailingSpace", "space \\"},
        {"Relative", "relative-shots\\"},
    };
    for (const char c : std::string("<>:\"|?*"))
        folders.push_back({"Forbidden_" + std::to_string(int(c)), std::string("a") + c + "b\\"});
    return folders;
}

// The Quick Save of `shot` into an unusable folder: the "Quick Save" message,
// the window stays, and nothing new appears anywhere.
void expectRefusedQuickSave(Orvane& orvane, HWND shot, const std::string& folder) {
    const std::set<std::string> before = driveContents();
    ASSERT_TRUE(orvane.chooseShotItem(shot, quickSaveItem));
    const HWND message = orvane.waitForMessage("Quick Save", 3000);
    ASSERT_NE(message, nullptr) << "no message for " << folder;
    EXPECT_NE(messageText(message).find("was not saved"), std::string::npos) << messageText(message);
    PostMessageA(message, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(message); }, 3000));
    EXPECT_TRUE(IsWindow(shot)) << "a screenshot that could not be saved must stay";
    // A queued save would be written within the worker's pause.
    Sleep(300);
    for (const std::string& name : added(before, driveContents()))
        ADD_FAILURE() << "written for " << folder << ": " << name;
}

void PrintTo(const BadFolder& bad, std::ostream* os) { *os << bad.name; }

class StoredBadFolder : public ::testing::TestWithParam<BadFolder> {};

TEST_P(StoredBadFolder, QuickSaveSaysSoKeepsTheWindowAndWritesNothing) {
    resetProfile();
    fileNamesIn(scratchRoot()); // made before the snapshots
    writeFile(prefsFile(), "1:1:1:" + fullFolder(GetParam()) + "\nresizeScreenshotWindows=0\n");
    Orvane orvane;
    ASSERT_TRUE(orvane.start());
    const HWND shot = orvane.pin(area);
    ASSERT_NE(shot, nullptr);
    expectRefusedQuickSave(orvane, shot, fullFolder(GetParam()));
    EXPECT_EQ(orvane.exit(), 0u);
}

std::vector<BadFolder> storedBadFolders() {
    std::vector<BadFolder> picked;
    for (const BadFolder& bad : badFolders())
        for (const char* name : {"LongerThanThePathLimit", "NoRoomForTheFileName", "Com1", "DeviceWithExtension",
                                 "TrailingDot", "Relative", "Forbidden_124"})
            if (bad.name == name)
                picked.push_back(bad);
    return picked;
}

INSTANTIATE_TEST_SUITE_P(Folders, StoredBadFolder, ::testing::ValuesIn(storedBadFolders()),
                         [](const auto& test) { return test.param.name; });

TEST(TypedBadFolder, EachQuickSaveSaysSoUntilAUsableFolderIsTyped) {
    resetProfile();
    scratchRoot();
    Orvane orvane;
    ASSERT_TRUE(orvane.start());
    const HWND shot = orvane.pin(area);
    ASSERT_NE(shot, nullptr);
    for (const BadFolder& bad : badFolders()) {
        SCOPED_TRACE(bad.name);
        ASSERT_NE(orvane.openOptions(), nullptr);
        ASSERT_TRUE(orvane.typeIntoBox(fullFolder(bad))) << boxText(orvane.child(pathBox));
        ASSERT_TRUE(orvane.closeOptions());
        expectRefusedQuickSave(orvane, shot, fullFolder(bad));
        if (::testing::Test::HasFatalFailure())
            return;
    }
    // The same way with a usable folder does save, and closes the window.
    const std::string good = scratchRoot() + "good\\";
    ASSERT_NE(orvane.openOptions(), nullptr);
    ASSERT_TRUE(orvane.typeIntoBox(good)) << boxText(orvane.child(pathBox));
    ASSERT_TRUE(orvane.closeOptions());
    ASSERT_TRUE(orvane.chooseShotItem(shot, quickSaveItem));
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(shot); }, 3000));
    if (const HWND message = orvane.waitForMessage("Quick Save", 0))
        ADD_FAILURE() << messageText(message);
    EXPECT_TRUE(waitUntil([&] { return fileNamesIn(good).size() == 1; }, 3000));
    EXPECT_EQ(orvane.exit(), 0u);
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

TEST(CacheCleanup, DeletesOnlyTheProgramsImagesDirectlyInTheFolderAndNothingThroughLinks) {
    ASSERT_TRUE(removeCacheLinks()) << "the shell did not run";
    resetProfile();
    // Also when an assertion ends the test early: the next resetProfile would go through them.
    struct Unlink {
        ~Unlink() { removeCacheLinks(); }
    } unlinkAtTheEnd;
    const std::string outside = scratchFolder("cache-outside");
    const std::string cache = cacheFolder();
    const std::vector<std::string> deleted = {"ScreenCapture17000000001.png", "ScreenCapture17000000002.jpg",
                                              "ScreenCapture17000000003.bmp", "ScreenCapture17000000004.PNG",
                                              "ScreenCapture17000000008.png.part"}; // a save cut short
    const std::vector<std::string> kept = {"notes.txt",
                                           "a.pngold", // its short name ends in .PNG
                                           "picture.png.txt",
                                           "notes.txt.part",
                                           "ScreenCapture1.jpeg",
                                           "sub\\ScreenCapture17000000005.png",
                                           "sub\\deeper\\ScreenCapture17000000006.bmp",
                                           "folder.png\\ScreenCapture17000000007.png"};
    for (const std::string& name : deleted)
        writeFile(cache + name, "stale");
    for (const std::string& name : kept)
        writeFile(cache + name, "keep " + name);
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

    Orvane orvane;
    ASSERT_TRUE(orvane.start());
    EXPECT_EQ(orvane.exit(), 0u);

    for (const std::string& name : deleted)
        EXPECT_FALSE(fileExists(cache + name)) << name;
    for (const std::string& name : kept)
        EXPECT_EQ(readFile(cache + name), "keep " + name) << name;
    for (const std::string& name : targets)
        EXPECT_EQ(readFile(outside + name), "outside " + name) << name;
    EXPECT_EQ(readFile(cache + "link-to-dir\\kept.png"), "outside dir\\kept.png");
}

} // namespace
