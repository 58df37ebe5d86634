// Settings: the one Preferences record, prefs.txt (two text lines), and the
// "($User)" placeholder in stored folder paths. Everything runs on the GUI
// thread. Parsing, formatting and the path operations are portable and take
// the user name as an argument; the Win32 half (prefs_win.cpp) asks the system.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "output/output.h"

// Stored, it stands for the user's Desktop wherever the system keeps it.
constexpr std::string_view defaultQuickSaveLocation = "C:/Users/($User)/Desktop/";

struct Preferences {
    bool closeScreenshotOnSave = true;
    std::uint32_t selectionColor = 1; // index into the six selection colours
    ImageFormat defaultFormat = pngFormat;
    std::string quickSaveLocation{defaultQuickSaveLocation}; // as stored, may hold "($User)"
    bool resizeScreenshotWindows = false;

    bool operator==(const Preferences&) const = default;
};

extern Preferences preferences;
// Full name of prefs.txt; empty when there is no usable settings folder, and
// then nothing is ever written.
extern std::string prefsPath;
// The Quick Save folder actually used: quickSaveLocation expanded at start-up,
// replaced by the options window.
extern std::string quickSaveFolder;

constexpr std::uint32_t selectionColorCount = 6;
// What preferences.selectionColor indexes, as COLORREFs (0x00BBGGRR): black,
// dark grey, light grey, red, green, blue.
constexpr std::array<std::uint32_t, selectionColorCount> selectionPalette = {0x000000u, 0x606060u, 0xE6E6E6u,
                                                                             0x0000FFu, 0x00FF00u, 0xFF0000u};
constexpr std::string_view userPlaceholder = "($User)";
constexpr std::string_view settingsFolderName = "Lumagrab";
constexpr std::string_view prefsFileName = "prefs.txt";
// The longest location read from prefs.txt: far past any folder a file can be
// saved in, and short enough for the options box to show it whole (Wine's
// edit box shows nothing of a 32767-character text).
constexpr std::size_t maxLocationLength = 30000;

// --- prefs.txt -------------------------------------------------------------

// Parses the two-line settings text. A stream in a failed state reads as
// empty; whatever cannot be read keeps its default, and so does a location
// that holds a control character or is longer than maxLocationLength. CR LF
// and LF line ends read the same.
// A line that is not valid UTF-8 was written in a legacy ANSI code page (the
// file's original encoding); `fromLegacy`, when given, turns it into UTF-8.
using LegacyDecoder = std::function<std::string(std::string_view line)>;
Preferences parsePreferences(std::istream& in, const LegacyDecoder& fromLegacy = {});
// parsePreferences into `preferences`.
void readPreferences(std::istream& in, const LegacyDecoder& fromLegacy = {});

// Well-formed UTF-8: no overlong form, no surrogate, nothing past U+10FFFF,
// no sequence cut short.
bool isValidUtf8(std::string_view text);
// The file's text with "\n" line ends (a text-mode stream turns them into CR LF).
std::string formatPreferences(const Preferences& prefs);

// --- User path templates ---------------------------------------------------

// Maximal runs without "/" or "\", in order.
std::vector<std::string> splitPath(std::string_view text);
// Every "($User)" segment becomes the user name; each segment is followed by
// "/", and a path that starts with two separators (a network folder) starts
// with "//". With an unusable name the placeholder segments stay as they are.
std::string expandUserPath(std::string_view tmpl, std::string_view userName);
// A third segment equal to the user name after a second segment "Users"
// becomes "($User)"; separators as in expandUserPath. A stored folder that
// lost its leading "//" to an older fold is not guessed at: it stays relative.
std::string foldUserPath(std::string_view folder, std::string_view userName);

// A name that may become one path segment: 1 to 128 characters, no separator,
// no control character, not "." or "..".
bool usableUserName(std::string_view name);

// The folder that holds `folder`, with its separator: "C:/a/b/" and "C:/a/b"
// give "C:/a/"; empty when there is none above it ("b/", "").
std::string folderAbove(std::string_view folder);

// "C:/Users/<name>/AppData/Local", the profile's local folder as the program
// has always assumed it.
std::string profileLocalFolder(std::string_view userName);
// A folder of the user's own: the system's answer `knownFolder` (trailing
// separators dropped), or `guessedFolder` in its place when that is the very
// same folder (`sameFolder`, by file identity). Empty without an answer from
// the system: a guess alone may name a folder that belongs to someone else.
std::string chooseUserFolder(std::string_view knownFolder, std::string_view guessedFolder, bool sameFolder);
// The settings folder in the local application-data folder `localFolder`
// (chooseUserFolder's answer): "<localFolder>/Lumagrab/"; empty without one.
std::string chooseAppDataFolder(std::string_view localFolder);
// The Quick Save folder for the stored `location`: the stored default means
// `desktop` (chooseUserFolder's answer) with a separator, empty without one;
// any other location is expanded with `userName`.
std::string quickSaveFolderFrom(std::string_view location, std::string_view userName, std::string_view desktop);
// Whether the options window, closed with `typed` in its box, keeps the stored
// `location`: the stored default stays while the box holds the folder it
// stands for (`defaultFolder`), so that it follows the Desktop wherever the
// system keeps it instead of becoming a folder the user chose.
bool keepsDefaultLocation(std::string_view location, std::string_view typed, std::string_view defaultFolder);

// --- Win32 half (prefs_win.cpp), Windows build only -----------------------

// GetUserNameA with a 129-character buffer; false on failure, a name that does
// not fit, or one that usableUserName rejects.
bool currentUserName(std::string& name);
// The user's local application-data folder and Desktop as chooseUserFolder
// picks them, from SHGetKnownFolderPath and the guess under C:/Users/<name>.
std::string localAppDataFolder();
std::string desktopFolder();
// Whether the two paths name the same existing folder (volume and file index).
bool sameFolder(const std::string& first, const std::string& second);
// The settings folder (see chooseAppDataFolder); empty when the system names
// no local application-data folder. The cache folder lives under the same parent.
std::string appDataFolder();
// The user's legacy ANSI code page, which GetACP no longer gives since the
// program runs in UTF-8: the user locale's default; 1252 when it has none.
unsigned legacyAnsiCodePage();
// `text` from code page `codePage` into UTF-8; empty when it cannot be converted.
std::string legacyToUtf8(std::string_view text, unsigned codePage);
// appDataFolder, then loadPreferencesFrom it.
void loadPreferences();
// Creates `folder` (last level only), sets prefsPath and reads prefs.txt (a
// line in the legacy code page is converted); an empty folder leaves the
// defaults and an empty prefsPath.
void loadPreferencesFrom(const std::string& folder);
// Writes a temporary file beside prefsPath and moves it over prefs.txt in one
// step, so a failed save leaves the old file whole. Silent.
void savePreferences();
// quickSaveFolderFrom with the current user's name and Desktop.
std::string quickSaveFolderFrom(std::string_view location);
// The two-argument forms with the current user's name (asked each time).
std::string expandUserPath(std::string_view tmpl);
std::string foldUserPath(std::string_view folder);
