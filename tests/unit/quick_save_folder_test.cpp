#include <cctype>
#include <string>

#include <gtest/gtest.h>

#include "output/output.h"
#include "shots/shot_rules.h"

namespace {

struct FolderCase {
    const char* what;
    std::string folder;
    FolderProblem expected;
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.what; }

class QuickSaveFolder : public ::testing::TestWithParam<FolderCase> {};

TEST_P(QuickSaveFolder, IsJudgedBeforeAnythingIsMade) {
    EXPECT_EQ(quickSaveFolderProblem(GetParam().folder), GetParam().expected) << GetParam().folder;
}

using P = FolderProblem;

// The longest folder that leaves room for a Quick Save name, "C:\" and x's.
const std::string longest = "C:\\" + std::string(pathLimit - quickSaveNameRoom - 4, 'x') + "\\";

INSTANTIATE_TEST_SUITE_P(
    Folders, QuickSaveFolder,
    ::testing::Values(
        FolderCase{"the default", "C:/Users/Bob/Desktop/", P::none},
        FolderCase{"backslashes", "D:\\Shots\\2024\\", P::none}, FolderCase{"a drive root", "C:\\", P::none},
        FolderCase{"a doubled separator from browsing", "C:\\\\", P::none},
        FolderCase{"a lower-case drive", "e:/x/", P::none},
        FolderCase{"a share", "\\\\server\\share\\shots\\", P::none},
        FolderCase{"dots and blanks inside names", "C:/my shots/v1.2/ leading/", P::none},
        FolderCase{"relative parts", "C:/a/../b/./", P::none},
        FolderCase{"three dots end in a dot", "C:/a/.../", P::badEnding},
        FolderCase{"device-like but longer", "C:/console/nulls/com10/lpt/auxiliary/", P::none},
        FolderCase{"bytes above 127", "C:/Caf\xE9/", P::none}, FolderCase{"the longest", longest, P::none},
        FolderCase{"one longer", "C:\\x" + longest.substr(3), P::tooLong},
        FolderCase{"far too long", "C:\\" + std::string(100000, 'y') + "\\", P::tooLong},
        FolderCase{"empty", "", P::empty}, FolderCase{"relative", "shots/", P::notFull},
        FolderCase{"drive-relative", "C:shots/", P::notFull}, FolderCase{"root-relative", "\\shots\\", P::notFull},
        FolderCase{"no separator at the end", "C:/shots", P::notFull}, FolderCase{"a drive alone", "C:", P::notFull},
        FolderCase{"a server alone", "\\\\server\\", P::notFull}, FolderCase{"less than", "C:/a<b/", P::badCharacter},
        FolderCase{"greater than", "C:/a>b/", P::badCharacter},
        FolderCase{"a colon past the drive", "C:/a:b/", P::badCharacter},
        FolderCase{"a quote", "C:/a\"b/", P::badCharacter}, FolderCase{"a bar", "C:/a|b/", P::badCharacter},
        FolderCase{"a question mark", "C:/a?b/", P::badCharacter},
        FolderCase{"the raw namespace", "\\\\?\\C:\\x\\", P::badCharacter},
        FolderCase{"a star", "C:/a*b/", P::badCharacter}, FolderCase{"a tab", "C:/a\tb/", P::badCharacter},
        FolderCase{"a NUL", std::string("C:/a\0b/", 7), P::badCharacter}, FolderCase{"NUL", "C:/x/NUL/", P::deviceName},
        FolderCase{"con in lower case", "C:/x/con/", P::deviceName}, FolderCase{"PRN", "C:/PRN/", P::deviceName},
        FolderCase{"Aux in the middle", "C:/Aux/x/", P::deviceName}, FolderCase{"COM1", "C:/x/COM1/", P::deviceName},
        FolderCase{"COM0", "C:/x/com0/", P::deviceName}, FolderCase{"LPT9", "C:/x/LPT9/", P::deviceName},
        FolderCase{"COM with a superscript", "C:/x/COM\xB9/", P::deviceName},
        FolderCase{"LPT with a superscript", "C:/x/lpt\xB3/", P::deviceName},
        FolderCase{"CONIN$", "C:/x/CONIN$/", P::deviceName},
        FolderCase{"with an extension", "C:/x/nul.txt/", P::deviceName},
        FolderCase{"with two extensions", "C:/x/Con.tar.gz/", P::deviceName},
        FolderCase{"with blanks before the extension", "C:/x/com1 .png/", P::deviceName},
        FolderCase{"the device namespace", "\\\\.\\COM1\\", P::deviceName},
        FolderCase{"the device namespace with a folder", "\\\\.\\PhysicalDrive0\\x\\", P::deviceName},
        FolderCase{"a trailing dot", "C:/x/dots./", P::badEnding},
        FolderCase{"trailing dots", "C:/x/dots.../", P::badEnding},
        FolderCase{"a trailing blank", "C:/x/space /", P::badEnding},
        FolderCase{"blanks only", "C:/x/   /", P::badEnding}),
    [](const auto& test) {
        std::string name;
        for (const char c : std::string(test.param.what))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

} // namespace

namespace {

// Catches a folder check that leaves no room for the temporary name the file
// is written under first: the save would then fail past the path limit.
TEST(QuickSaveFolderRoom, HoldsTheTemporaryNameOfTheLongestQuickSave) {
    std::size_t length = 1;
    while (quickSaveFolderProblem("C:\\" + std::string(length + 1, 'x') + "\\") == FolderProblem::none)
        ++length;
    const std::string folder = "C:\\" + std::string(length, 'x') + "\\";
    const std::string name = quickSaveName(folder, 9999999999, pngFormat, [](const std::string& taken) {
        return taken.find(" (99)") == std::string::npos;
    });
    EXPECT_LE(temporaryName(name, temporaryNameTries).size(), pathLimit) << name;
}

// Catches "\\server" and "\\server\share" being made as folders: a Quick Save
// into a network folder then always fails.
TEST(QuickSaveFolderLevels, AreOnlyThoseBelowTheDriveOrShare) {
    using Levels = std::vector<std::string>;
    EXPECT_EQ(folderLevelsToMake("\\\\server\\share\\shots\\new\\"),
              (Levels{"\\\\server\\share\\shots", "\\\\server\\share\\shots\\new"}));
    EXPECT_EQ(folderLevelsToMake("//server/share/"), Levels{});
    EXPECT_EQ(folderLevelsToMake("C:/a/b/"), (Levels{"C:/a", "C:/a/b"}));
    EXPECT_EQ(folderLevelsToMake("C:\\"), Levels{});
    EXPECT_EQ(folderLevelsToMake("C:\\\\a\\\\"), Levels{"C:\\\\a"}) << "doubled separators";
    EXPECT_EQ(folderLevelsToMake("C:a\\b\\"), (Levels{"C:a", "C:a\\b"})) << "drive-relative";
    EXPECT_EQ(folderLevelsToMake("\\\\?\\C:\\a\\"), Levels{"\\\\?\\C:\\a"});
    EXPECT_EQ(folderLevelsToMake("\\\\?\\UNC\\server\\share\\a\\"), Levels{"\\\\?\\UNC\\server\\share\\a"});
    EXPECT_EQ(folderLevelsToMake("\\\\?\\unc\\server\\share\\"), Levels{});
    EXPECT_EQ(folderLevelsToMake("\\a\\"), Levels{"\\a"});
}

} // namespace
