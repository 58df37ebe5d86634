#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "prefs/prefs.h"
#include "test_support.h"

using namespace testing_support;

// Found by GoogleTest through the record's (global) namespace.
void PrintTo(const Preferences& p, std::ostream* os) {
    *os << "{close=" << p.closeScreenshotOnSave << " color=" << p.selectionColor << " format=" << p.defaultFormat
        << " location=\"" << p.quickSaveLocation << "\" resize=" << p.resizeScreenshotWindows << "}";
}

namespace {

constexpr const char* defaultLocation = "C:/Users/($User)/Desktop/";

Preferences parseText(const std::string& text) {
    std::istringstream in(text);
    return parsePreferences(in);
}

std::string withCrLf(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

struct ParseCase {
    const char* what;
    std::string text;
    Preferences expected;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.what; }

class PrefsParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(PrefsParse, FieldsAreJudgedOneByOne) {
    const ParseCase& c = GetParam();
    EXPECT_EQ(parseText(c.text), c.expected);
}

const Preferences defaults{};

const std::vector<ParseCase> parseCases = {
    ParseCase{"every field set", "0:5:2:D:/Shots/\nresizeScreenshotWindows=1\n", {false, 5, 2, "D:/Shots/", true}},
    ParseCase{"out of range numbers keep defaults", "1:6:3:X\n", {true, 1, 1, "X", false}},
    ParseCase{"empty file", "", defaults},
    ParseCase{"first field 00 is true", "00:1:1:A\n", {true, 1, 1, "A", false}},
    ParseCase{"first field false is true", "false:1:1:A\n", {true, 1, 1, "A", false}},
    ParseCase{"first field blank 0 is true", " 0:1:1:A\n", {true, 1, 1, "A", false}},
    ParseCase{"empty first line", "\nresizeScreenshotWindows=1\n", {true, 1, 1, defaultLocation, true}},
    ParseCase{"leading blank before digits", "1: 4:1:A\n", {true, 4, 1, "A", false}},
    ParseCase{"digits then letters", "1:4abc:0xyz:A\n", {true, 4, 0, "A", false}},
    ParseCase{"letters only", "1:abc:abc:A\n", {true, 1, 1, "A", false}},
    ParseCase{"negative", "1:-1:-1:A\n", {true, 1, 1, "A", false}},
    ParseCase{"plus sign is not a digit", "1:+4:+2:A\n", {true, 1, 1, "A", false}},
    ParseCase{"2^32 does not fit", "1:4294967296:4294967296:A\n", {true, 1, 1, "A", false}},
    ParseCase{"2^32 + 2 does not fit", "1:4294967298:4294967298:A\n", {true, 1, 1, "A", false}},
    ParseCase{"far too many digits", "1:99999999999999999999999:2:A\n", {true, 1, 2, "A", false}},
    ParseCase{"2^32 - 1 fits but is out of range", "1:4294967295:4294967295:A\n", {true, 1, 1, "A", false}},
    ParseCase{"leading zeros", "1:00000000000000000000005:0000000000000000002:A\n", {true, 5, 2, "A", false}},
    ParseCase{"0 alone", "0\n", {false, 1, 1, defaultLocation, false}},
    ParseCase{"line ends after field 2", "1:3\n", {true, 3, 1, defaultLocation, false}},
    ParseCase{"line ends after field 3", "1:3:0\n", {true, 3, 0, defaultLocation, false}},
    ParseCase{"empty fourth field", "1:2:0:\n", {true, 2, 0, defaultLocation, false}},
    ParseCase{"fourth field only a CR", "1:2:0:\r\n", {true, 2, 0, defaultLocation, false}},
    ParseCase{"a second CR is a control character", "1:2:0:X\r\r\n", {true, 2, 0, defaultLocation, false}},
    ParseCase{"a NUL in the location", std::string("1:2:0:C:/Sh\0ots/\n", 17), {true, 2, 0, defaultLocation, false}},
    ParseCase{
        "a NUL in a number field stops the number", std::string("1:2\0:0:D:/A/\n", 13), {true, 2, 0, "D:/A/", false}},
    ParseCase{"a tab in the location", "1:1:1:D:/a\tb/\n", {true, 1, 1, defaultLocation, false}},
    ParseCase{"a lone CR does not end the line",
              "0:3:2:D:/Mac/\rresizeScreenshotWindows=1\r",
              {false, 3, 2, defaultLocation, false}},
    ParseCase{"bytes above 127 are kept", "1:1:1:D:/Caf\xE9/\n", {true, 1, 1, "D:/Caf\xE9/", false}},
    ParseCase{"the longest location",
              "1:1:1:" + std::string(maxLocationLength, 'x') + "\n",
              {true, 1, 1, std::string(maxLocationLength, 'x'), false}},
    ParseCase{"one character longer",
              "1:1:1:" + std::string(maxLocationLength + 1, 'x') + "\n",
              {true, 1, 1, defaultLocation, false}},
    ParseCase{"location keeps its colons", "1:1:1:C:/My:Odd/\n", {true, 1, 1, "C:/My:Odd/", false}},
    ParseCase{"resize 0", "1:1:1:A\nresizeScreenshotWindows=0\n", {true, 1, 1, "A", false}},
    ParseCase{"resize with trailing blank", "1:1:1:A\nresizeScreenshotWindows=1 \n", {true, 1, 1, "A", false}},
    ParseCase{"resize with capital R", "1:1:1:A\nResizeScreenshotWindows=1\n", {true, 1, 1, "A", false}},
    ParseCase{"resize with a CR", "1:1:1:A\nresizeScreenshotWindows=1\r\n", {true, 1, 1, "A", true}},
    ParseCase{"resize without line end", "1:1:1:A\nresizeScreenshotWindows=1", {true, 1, 1, "A", true}},
    ParseCase{"resize on a later line", "1:1:1:A\nnoise\n\nresizeScreenshotWindows=1\nmore\n", {true, 1, 1, "A", true}},
    ParseCase{"resize key on the first line", "resizeScreenshotWindows=1\n", {true, 1, 1, defaultLocation, false}},
    ParseCase{"missing second line", "0:0:0:B\n", {false, 0, 0, "B", false}}};

INSTANTIATE_TEST_SUITE_P(Lines, PrefsParse, ::testing::ValuesIn(parseCases));

// As the system writes the file and as an editor without CRs would.
TEST(PrefsParse, CrLfAndLfReadTheSame) {
    for (const ParseCase& c : parseCases) {
        if (c.text.find('\r') != std::string::npos)
            continue; // carries its own CR
        SCOPED_TRACE(c.what);
        EXPECT_EQ(parseText(withCrLf(c.text)), c.expected);
    }
}

TEST(PrefsParse, FailedStreamGivesDefaults) {
    std::istringstream in("0:5:2:D:/Shots/\nresizeScreenshotWindows=1\n");
    in.setstate(std::ios::failbit);
    EXPECT_EQ(parsePreferences(in), defaults);
}

TEST(PrefsParse, ReadPreferencesReplacesTheProcessRecord) {
    preferences = {false, 4, 0, "old", true};
    std::istringstream in("1:2\n");
    readPreferences(in);
    EXPECT_EQ(preferences, (Preferences{true, 2, 1, defaultLocation, false}));
    preferences = {};
}

TEST(Utf8Validity, RefusesWhatNoEncoderWrites) {
    for (const char* good : {"", "C:/plain/",
                             "C:/\xC3\x9C"
                             "ber/",
                             "\xE2\x82\xAC", "\xF0\x9F\x93\xB7", "\xF4\x8F\xBF\xBF", "\xEF\xBF\xBF", "\xED\x9F\xBF"})
        EXPECT_TRUE(isValidUtf8(good)) << good;
    for (const char* bad : {"C:/qs/\xDC"
                            "ber/",                                 // a code page 1252 byte
                            "\xC0\xAF", "\xC1\xBF",                 // overlong two-byte forms
                            "\xE0\x80\xAF", "\xF0\x8F\xBF\xBF",     // overlong three- and four-byte forms
                            "\xED\xA0\x80", "\xED\xBF\xBF",         // surrogates
                            "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", // past U+10FFFF
                            "\xC3", "a\xE2\x82", "\xF0\x9F\x93",    // cut short
                            "\x80", "\xBFx", "\xC3x"})              // a stray or missing continuation
        EXPECT_FALSE(isValidUtf8(bad)) << bad;
}

// Catches a legacy-encoded location taken as UTF-8 (a Quick Save folder named
// with a replacement character) and a UTF-8 line wrongly re-decoded.
TEST(PrefsParse, OnlyLinesThatAreNotUtf8GoThroughTheLegacyDecoder) {
    std::vector<std::string> decoded;
    const LegacyDecoder fromLegacy = [&](std::string_view line) {
        decoded.emplace_back(line);
        return std::string(line.substr(0, line.find('\xDC'))) + "\xC3\x9C" +
               std::string(line.substr(line.find('\xDC') + 1));
    };
    std::istringstream legacy("1:1:1:C:/qs/\xDC"
                              "ber/\r\nresizeScreenshotWindows=1\r\n");
    const Preferences prefs = parsePreferences(legacy, fromLegacy);
    EXPECT_EQ(prefs.quickSaveLocation, "C:/qs/\xC3\x9C"
                                       "ber/");
    EXPECT_TRUE(prefs.resizeScreenshotWindows);
    EXPECT_EQ(decoded, std::vector<std::string>{"1:1:1:C:/qs/\xDC"
                                                "ber/"});

    decoded.clear();
    std::istringstream utf8("1:1:1:C:/qs/\xC3\x9C"
                            "ber/\n");
    EXPECT_EQ(parsePreferences(utf8, fromLegacy).quickSaveLocation, "C:/qs/\xC3\x9C"
                                                                    "ber/");
    EXPECT_TRUE(decoded.empty());
}

TEST(PrefsFormat, DefaultsAreTheDocumentedTwoLines) {
    EXPECT_EQ(formatPreferences(defaults), "1:1:1:C:/Users/($User)/Desktop/\nresizeScreenshotWindows=0\n");
    EXPECT_EQ(formatPreferences({false, 5, 2, "D:/Shots/", true}), "0:5:2:D:/Shots/\nresizeScreenshotWindows=1\n");
}

TEST(PrefsFormat, WhatIsWrittenReadsBack) {
    const Preferences records[] = {defaults,
                                   {false, 5, 2, "D:/Shots/", true},
                                   {true, 0, 0, "C:/My:Odd/", false},
                                   {false, 3, 1, "\\\\server\\share\\", true}};
    for (const Preferences& p : records) {
        EXPECT_EQ(parseText(formatPreferences(p)), p);
        EXPECT_EQ(parseText(withCrLf(formatPreferences(p))), p);
    }
}

// Through a real text-mode file stream: under Wine the runtime, not the
// parser, turns CR LF into "\n".
TEST(PrefsFile, CrLfAndLfFilesReadTheSame) {
    TempDir dir;
    const std::string lf = "0:5:2:D:/Shots/\nresizeScreenshotWindows=1\n";
    const Preferences expected{false, 5, 2, "D:/Shots/", true};
    for (const std::string& text : {lf, withCrLf(lf)}) {
        writeFileBytes(dir.path() / "prefs.txt", std::vector<std::uint8_t>(text.begin(), text.end()));
        std::ifstream in(dir.file("prefs.txt"));
        ASSERT_TRUE(in);
        EXPECT_EQ(parsePreferences(in), expected);
    }
}

TEST(PrefsFile, MissingFileGivesDefaults) {
    TempDir dir;
    std::ifstream in(dir.file("prefs.txt"));
    EXPECT_EQ(parsePreferences(in), defaults);
}

// --- user path templates ---------------------------------------------------

struct PathCase {
    const char* input;
    const char* expected;
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << '"' << c.input << '"'; }

class ExpandUserPath : public ::testing::TestWithParam<PathCase> {};
class FoldUserPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(ExpandUserPath, ForBob) { EXPECT_EQ(expandUserPath(GetParam().input, "Bob"), GetParam().expected); }
TEST_P(FoldUserPath, ForBob) { EXPECT_EQ(foldUserPath(GetParam().input, "Bob"), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Templates, ExpandUserPath,
                         ::testing::Values(PathCase{"C:/Users/($User)/Desktop/", "C:/Users/Bob/Desktop/"},
                                           PathCase{"C:/Users/($User)/($User)/", "C:/Users/Bob/Bob/"},
                                           PathCase{"($User)", "Bob/"},
                                           PathCase{"D:/Shots/x($User)y/", "D:/Shots/x($User)y/"},
                                           PathCase{"D:\\Shots\\($User)", "D:/Shots/Bob/"},
                                           PathCase{"C:/Users/($user)/", "C:/Users/($user)/"},
                                           PathCase{"//($User)//", "//Bob/"}, PathCase{"", ""}, PathCase{"///\\\\", ""},
                                           // Catches a network folder read back as a relative one.
                                           PathCase{"//server/share/shots/", "//server/share/shots/"},
                                           PathCase{"server/share/shots/", "server/share/shots/"}));

INSTANTIATE_TEST_SUITE_P(
    Folders, FoldUserPath,
    ::testing::Values(PathCase{"C:\\Users\\Bob\\Pictures\\Shots\\", "C:/Users/($User)/Pictures/Shots/"},
                      PathCase{"C:/Users/Bob", "C:/Users/($User)/"}, PathCase{"D:/Users/Bob/x", "D:/Users/($User)/x/"},
                      PathCase{"C:/users/bob/x", "C:/users/bob/x/"},
                      PathCase{"C:/Users/Alice/Desktop", "C:/Users/Alice/Desktop/"},
                      PathCase{"C:/Users/Bobby/Desktop", "C:/Users/Bobby/Desktop/"},
                      PathCase{"D:/Data/Users/Bob", "D:/Data/Users/Bob/"}, PathCase{"C:/Users", "C:/Users/"},
                      PathCase{"/Users/Bob/x", "Users/Bob/x/"}, PathCase{"\\\\server\\share\\dir", "//server/share/dir/"},
                      PathCase{"C://Users//Bob", "C:/Users/($User)/"},
                      PathCase{"C:/Users/Bob/Bob/", "C:/Users/($User)/Bob/"}, PathCase{"", ""}));

TEST(SplitPath, SegmentsBetweenEitherSeparator) {
    using Segments = std::vector<std::string>;
    EXPECT_EQ(splitPath("C:\\Users/Bob\\\\x//"), (Segments{"C:", "Users", "Bob", "x"}));
    EXPECT_EQ(splitPath("/a"), (Segments{"a"}));
    EXPECT_EQ(splitPath("a:b c"), (Segments{"a:b c"}));
    EXPECT_TRUE(splitPath("").empty());
    EXPECT_TRUE(splitPath("/\\/").empty());
}

TEST(UserPathTemplates, FoldingTheExpansionGivesTheTemplateBack) {
    EXPECT_EQ(foldUserPath(expandUserPath(defaultLocation, "Bob"), "Bob"), defaultLocation);
}

// No path is ever built from an empty or broken name: the placeholder stays
// and nothing is folded.
TEST(UserPathTemplates, UnusableNameChangesNothingButSeparators) {
    for (const char* name : {"", "a/b", "a\\b", "..", "."}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(expandUserPath("C:\\Users\\($User)\\Desktop", name), "C:/Users/($User)/Desktop/");
        EXPECT_EQ(foldUserPath("C:/Users/a/b", name), "C:/Users/a/b/");
    }
}

TEST(UserPathTemplates, UsableNames) {
    for (const std::string& name : {std::string("Bob"), std::string("J. Doe (admin)"), std::string(128, 'x')})
        EXPECT_TRUE(usableUserName(name)) << name;
    for (const std::string& name : {std::string(129, 'x'), std::string(), std::string("a/b"), std::string("a\\b"),
                                    std::string("."), std::string(".."), std::string("a\0b", 3), std::string("a\tb")})
        EXPECT_FALSE(usableUserName(name)) << name;
}

// --- the user's own folders --------------------------------------------------

struct FolderCase {
    const char* what;
    const char* known;
    const char* guess;
    bool sameFolder;
    const char* expected;
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.what; }

class UserFolderChoice : public ::testing::TestWithParam<FolderCase> {};

// Catches a guessed C:/Users/<name> folder taken over the system's answer: on
// another drive, after a rename or beside "bob.CORP" it may be someone else's.
TEST_P(UserFolderChoice, TheSystemsAnswerSpeltAsTheGuessOnlyWhenItIsThatFolder) {
    const FolderCase& c = GetParam();
    EXPECT_EQ(chooseUserFolder(c.known, c.guess, c.sameFolder), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UserFolderChoice,
    ::testing::Values(
        FolderCase{"same folder", "C:\\Users\\Bob\\AppData\\Local", "C:/Users/Bob/AppData/Local", true,
                   "C:/Users/Bob/AppData/Local"},
        FolderCase{"profile on another drive", "E:\\Profiles\\Bob\\AppData\\Local", "C:/Users/Bob/AppData/Local",
                   false, "E:\\Profiles\\Bob\\AppData\\Local"},
        FolderCase{"colliding name", "C:\\Users\\bob.CORP\\Desktop\\", "C:/Users/bob/Desktop", false,
                   "C:\\Users\\bob.CORP\\Desktop"},
        FolderCase{"no guess", "D:\\Sync\\Desktop", "", true, "D:\\Sync\\Desktop"},
        FolderCase{"no answer from the system", "", "C:/Users/Bob/AppData/Local", false, ""},
        FolderCase{"separators only", "\\\\", "C:/Users/Bob/AppData/Local", false, ""}));

TEST(UserFolderChoice, TheSettingsFolderAndTheDefaultQuickSaveFolderFollowTheChosenFolders) {
    EXPECT_EQ(chooseAppDataFolder("E:\\Local"), "E:\\Local/Lumagrab/");
    EXPECT_EQ(chooseAppDataFolder(""), "");
    // Catches the stored default expanded to C:/Users/<name>/Desktop/ when the Desktop is elsewhere.
    EXPECT_EQ(quickSaveFolderFrom(defaultQuickSaveLocation, "Bob", "D:\\Sync\\Desktop"), "D:\\Sync\\Desktop\\");
    EXPECT_EQ(quickSaveFolderFrom(defaultQuickSaveLocation, "Bob", "C:/Users/Bob/Desktop"), "C:/Users/Bob/Desktop/");
    EXPECT_EQ(quickSaveFolderFrom(defaultQuickSaveLocation, "Bob", ""), "");
    EXPECT_EQ(quickSaveFolderFrom("C:/Users/($User)/Pictures/", "Bob", "D:\\Sync\\Desktop"), "C:/Users/Bob/Pictures/");
    // Catches the moved Desktop stored as a chosen folder by an options close that changed nothing.
    EXPECT_TRUE(keepsDefaultLocation(defaultQuickSaveLocation, "D:\\Sync\\Desktop\\", "D:\\Sync\\Desktop\\"));
    EXPECT_FALSE(keepsDefaultLocation(defaultQuickSaveLocation, "D:\\Shots\\", "D:\\Sync\\Desktop\\"));
    EXPECT_FALSE(keepsDefaultLocation("D:/Sync/Desktop/", "D:\\Sync\\Desktop\\", "D:\\Sync\\Desktop\\"));
}

TEST(UserFolderChoice, ProfileLocalFolderIsOnDriveC) {
    EXPECT_EQ(profileLocalFolder("Bob"), "C:/Users/Bob/AppData/Local");
}

} // namespace

namespace {

struct AboveCase {
    const char* folder;
    const char* above;
};

class FolderAbove : public ::testing::TestWithParam<AboveCase> {};

TEST_P(FolderAbove, IsTheFolderThatHoldsIt) { EXPECT_EQ(folderAbove(GetParam().folder), GetParam().above); }

INSTANTIATE_TEST_SUITE_P(
    Paths, FolderAbove,
    ::testing::Values(AboveCase{"C:/Users/Bob/AppData/Local/Lumagrab/", "C:/Users/Bob/AppData/Local/"},
                      AboveCase{"C:\\a\\Lumagrab\\VELTO_CACHE\\", "C:\\a\\Lumagrab\\"}, AboveCase{"C:/a/b", "C:/a/"},
                      AboveCase{"C:/a//", "C:/"}, AboveCase{"b/", ""}, AboveCase{"", ""}, AboveCase{"/", ""}));

} // namespace
