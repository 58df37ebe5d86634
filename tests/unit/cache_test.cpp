// The cache's rules: its folder beside the settings, the names of its files,
// and which entries the start-up clean-up deletes.
#include <cctype>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "output/output.h"
#include "shots/cache.h"

namespace {

struct CacheFolderCase {
    const char* settings;
    const char* cache;
};

class CacheFolder : public ::testing::TestWithParam<CacheFolderCase> {};

TEST_P(CacheFolder, LivesInTheSettingsFolderInBackslashForm) {
    EXPECT_EQ(cacheFolderFor(GetParam().settings), GetParam().cache);
}

INSTANTIATE_TEST_SUITE_P(Folders, CacheFolder,
                         ::testing::Values(CacheFolderCase{"C:/Users/Bob/AppData/Local/Lumagrab/",
                                                           "C:\\Users\\Bob\\AppData\\Local\\Lumagrab\\VELTO_CACHE\\"},
                                           CacheFolderCase{"D:\\Profiles\\bob\\Local\\Lumagrab\\",
                                                           "D:\\Profiles\\bob\\Local\\Lumagrab\\VELTO_CACHE\\"},
                                           CacheFolderCase{"E:/Local/Lumagrab", "E:\\Local\\Lumagrab\\VELTO_CACHE\\"},
                                           // No settings folder: no cache folder, never the current directory.
                                           CacheFolderCase{"", ""}));

struct NameCase {
    const char* name;
    bool deleted;
};

class CacheCleanup : public ::testing::TestWithParam<NameCase> {};

TEST_P(CacheCleanup, DeletesOnlyNamesWithAnImageExtension) {
    EXPECT_EQ(isCacheImageName(GetParam().name), GetParam().deleted) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Names, CacheCleanup,
                         ::testing::Values(NameCase{"1700000000_123.jpg", true}, NameCase{"a.png", true},
                                           NameCase{"a.bmp", true}, NameCase{"SHOT.JPG", true},
                                           NameCase{"Shot.Png", true}, NameCase{"notes.txt", false},
                                           // What a search for "*.png" also finds through the 8.3 name.
                                           NameCase{"a.pngold", false}, NameCase{"a.jpeg", false},
                                           NameCase{"a.bmp.txt", false}, NameCase{"jpg", false}, NameCase{"", false}));

TEST(CachePartFiles, AreThoseAnImageSaveCutShortLeftBehind) {
    EXPECT_TRUE(isCachePartName("1700000000_123.png.part"));
    EXPECT_TRUE(isCachePartName("a.JPG.PART"));
    EXPECT_FALSE(isCachePartName("notes.txt.part")) << "not one of ours";
    EXPECT_FALSE(isCachePartName("a.part"));
    EXPECT_FALSE(isCachePartName(".part"));
    EXPECT_FALSE(isCachePartName("a.png")) << "an image itself is matched as one";
    // Catches a clean-up that misses the later temporary names a save may take.
    for (int attempt = 1; attempt <= temporaryNameTries; ++attempt)
        EXPECT_TRUE(isCachePartName(temporaryName("1700000000_123.png", attempt))) << attempt;
    EXPECT_FALSE(isCachePartName("a.7.part"));
    EXPECT_FALSE(isCachePartName("a.png.x7.part"));
}

struct EntryCase {
    const char* what;
    const char* folder;
    const char* name;
    const char* entry;
    bool isEntry;
};

class CacheEntry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(CacheEntry, OnlyAnEntryThatIsItselfInTheFolderIsDeleted) {
    EXPECT_EQ(isEntryOfFolder(GetParam().folder, GetParam().name, GetParam().entry), GetParam().isEntry)
        << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    FinalPaths, CacheEntry,
    ::testing::Values(
        EntryCase{"a file of the folder", "\\\\?\\C:\\cache", "a.png", "\\\\?\\C:\\cache\\a.png", true},
        EntryCase{"folder with its separator", "\\\\?\\C:\\cache\\", "a.png", "\\\\?\\C:\\cache\\a.png", true},
        EntryCase{"letters differ in case", "\\\\?\\C:\\Users\\Bob\\cache", "Shot.PNG",
                  "\\\\?\\c:\\users\\bob\\CACHE\\shot.png", true},
        EntryCase{"a link to a file elsewhere", "\\\\?\\C:\\cache", "a.png", "\\\\?\\C:\\elsewhere\\target.png", false},
        EntryCase{"a link to another file of the folder", "\\\\?\\C:\\cache", "a.png", "\\\\?\\C:\\cache\\b.png",
                  false},
        EntryCase{"a link into a subfolder", "\\\\?\\C:\\cache", "a.png", "\\\\?\\C:\\cache\\sub\\a.png", false},
        EntryCase{"a link to a same-named file elsewhere", "\\\\?\\C:\\cache", "a.png", "\\\\?\\C:\\other\\a.png",
                  false},
        EntryCase{"a folder name that only starts the same", "\\\\?\\C:\\cache", "a.png", "\\\\?\\C:\\cache2\\a.png",
                  false},
        EntryCase{"no final path", "\\\\?\\C:\\cache", "a.png", "", false},
        EntryCase{"no folder", "", "a.png", "\\a.png", false}),
    [](const auto& test) {
        std::string name;
        for (const char c : std::string(test.param.what))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

struct FileNameCase {
    ImageFormat format;
    std::uint32_t remainder;
    std::uint32_t counter;
    const char* name;
};

class CacheName : public ::testing::TestWithParam<FileNameCase> {};

TEST_P(CacheName, IsSecondsThenClockRemainderThenTheExtension) {
    const FileNameCase& c = GetParam();
    EXPECT_EQ(cacheFileName("C:\\c\\", 1700000000, c.remainder, c.format, c.counter), c.name);
}

INSTANTIATE_TEST_SUITE_P(Names, CacheName,
                         ::testing::Values(FileNameCase{pngFormat, 7, 1, "C:\\c\\ScreenCapture17000000007.png"},
                                           FileNameCase{jpegFormat, 0, 1, "C:\\c\\ScreenCapture17000000000.jpg"},
                                           FileNameCase{bmpFormat, 999, 1, "C:\\c\\ScreenCapture1700000000999.bmp"},
                                           FileNameCase{5, 42, 1, "C:\\c\\ScreenCapture170000000042.png"},
                                           FileNameCase{-1, 42, 1, "C:\\c\\ScreenCapture170000000042.png"},
                                           FileNameCase{pngFormat, 7, 2, "C:\\c\\ScreenCapture17000000007_2.png"},
                                           FileNameCase{bmpFormat, 7, 13, "C:\\c\\ScreenCapture17000000007_13.bmp"}));

TEST(UniqueCacheName, AddsACounterOnlyOnAClash) {
    std::set<std::string> taken;
    const auto isTaken = [&](const std::string& name) { return taken.count(name) != 0; };
    const std::string first = uniqueCacheFileName("F\\", 1700000000, 5, pngFormat, isTaken);
    EXPECT_EQ(first, "F\\ScreenCapture17000000005.png");
    taken.insert(first);
    const std::string second = uniqueCacheFileName("F\\", 1700000000, 5, pngFormat, isTaken);
    EXPECT_EQ(second, "F\\ScreenCapture17000000005_2.png");
    taken.insert(second);
    EXPECT_EQ(uniqueCacheFileName("F\\", 1700000000, 5, pngFormat, isTaken), "F\\ScreenCapture17000000005_3.png");
    // Another tick: no counter.
    EXPECT_EQ(uniqueCacheFileName("F\\", 1700000000, 6, pngFormat, isTaken), "F\\ScreenCapture17000000006.png");
}

} // namespace
