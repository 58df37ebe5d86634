// The options grid and the folder rules of the options window: every figure
// scaled with truncating arithmetic, the swatch colours, the folder a browse
// gives and the folder a close keeps.
#include <gtest/gtest.h>

#include <string>

#include "options/options_layout.h"

namespace {

struct ScaleCase {
    std::int32_t value, scale, expected;
};

TEST(OptionsScaling, TruncatesTheDivision) {
    for (const ScaleCase c :
         {ScaleCase{39, 150, 58}, ScaleCase{39, 100, 39}, ScaleCase{99, 125, 123}, ScaleCase{26, 125, 32},
          ScaleCase{2, 150, 3}, ScaleCase{2, 125, 2}, ScaleCase{16, 175, 28}, ScaleCase{22, 150, 33},
          ScaleCase{1, 199, 1}, ScaleCase{0, 300, 0}, ScaleCase{5000000, 500, 25000000}})
        EXPECT_EQ(scaledBy(c.value, c.scale), c.expected) << c.value << " x " << c.scale;
}

// Catches a figure left unscaled or scaled with rounding instead of truncation.
TEST(OptionsScaling, AtOneHundredFiftyEveryFigureIsScaled) {
    EXPECT_EQ(optionsWindowRect(100), (OptionsRect{300, 300, 400, 260}));
    EXPECT_EQ(optionsWindowRect(150), (OptionsRect{450, 450, 600, 390}));
    const OptionsLayout at100 = optionsLayout(100);
    const OptionsLayout layout = optionsLayout(150);
    EXPECT_EQ(layout[5].rect, (OptionsRect{210, 58, 30, 30}));    // the first swatch
    EXPECT_EQ(layout[11].rect, (OptionsRect{510, 103, 39, 30}));  // browse: 69 x 1.5 = 103.5
    EXPECT_EQ(layout[12].rect, (OptionsRect{210, 148, 54, 39}));  // JPG
    EXPECT_EQ(layout[18].rect, (OptionsRect{210, 103, 300, 30})); // the box
    for (std::size_t i = 0; i < optionsChildCount; ++i) {
        const OptionsRect& r = at100[i].rect;
        EXPECT_EQ(layout[i].rect, (OptionsRect{r.x * 3 / 2, r.y * 3 / 2, r.width * 3 / 2, r.height * 3 / 2})) << i;
        EXPECT_EQ(layout[i].style, at100[i].style) << i;
    }
}

TEST(OptionsScaling, AtOneHundredTwentyFiveHalvesAreDropped) {
    const OptionsLayout layout = optionsLayout(125);
    EXPECT_EQ(optionsWindowRect(125), (OptionsRect{375, 375, 500, 325}));
    EXPECT_EQ(layout[6].rect, (OptionsRect{205, 48, 25, 25}));   // 164, 39, 20 x 1.25
    EXPECT_EQ(layout[13].rect, (OptionsRect{225, 123, 50, 32})); // 99 and 26 x 1.25 lose their halves
}

std::uint32_t channel(std::uint32_t colour, int shift) { return (colour >> shift) & 0xFFu; }

TEST(OptionsColours, SwatchesArePaintedNoBrighterThanTheColourTheySelect) {
    EXPECT_EQ(selectionPalette[3], 0x000000FFu);  // red as a COLORREF
    EXPECT_EQ(swatchPaintColors[5], 0x00800000u); // dark blue
    for (std::size_t i = 0; i < 6; ++i)
        for (const int shift : {0, 8, 16})
            EXPECT_LE(channel(swatchPaintColors[i], shift), channel(selectionPalette[i], shift)) << i;
    for (std::size_t i = 2; i < 6; ++i)
        EXPECT_NE(swatchPaintColors[i], selectionPalette[i]) << i;
    EXPECT_EQ(swatchPaintColors[0], selectionPalette[0]);
    EXPECT_EQ(swatchPaintColors[1], selectionPalette[1]);
}

struct FolderCase {
    const char* text;
    const char* expected;
};

TEST(OptionsFolders, ABrowseAppendsOneBackslashAlways) {
    for (const FolderCase c : {FolderCase{"C:\\Shots", "C:\\Shots\\"}, FolderCase{"C:\\", "C:\\\\"},
                               FolderCase{"D:\\a b\\c", "D:\\a b\\c\\"}})
        EXPECT_EQ(browsedFolder(c.text), c.expected) << c.text;
}

TEST(OptionsFolders, AClosedBoxGetsTheSeparatorItUsesMost) {
    for (const FolderCase c : {
             FolderCase{"C:/Shots", "C:/Shots/"},      // more "/"
             FolderCase{"C:\\Shots", "C:\\Shots\\"},   // more "\"
             FolderCase{"C:\\Shots\\", "C:\\Shots\\"}, // ends in one: unchanged
             FolderCase{"C:/Shots/", "C:/Shots/"}, FolderCase{"C:\\a/b\\", "C:\\a/b\\"},
             FolderCase{"D:/a\\b", "D:/a\\b\\"},                        // a tie gives "\"
             FolderCase{"Shots", "Shots\\"},                            // neither gives "\"
             FolderCase{"C:/a/b\\c", "C:/a/b\\c/"}, FolderCase{"", ""}, // an empty box stays empty
         })
        EXPECT_EQ(quickSaveFolderFor(c.text), c.expected) << c.text;
}

TEST(OptionsFolders, OnlyTheFirstLineOfTheBoxIsKept) {
    for (const FolderCase c : {FolderCase{"C:/Shots", "C:/Shots"}, FolderCase{"C:/A\r\nB", "C:/A"},
                               FolderCase{"C:/A\nB", "C:/A"}, FolderCase{"C:/A\rB", "C:/A"}, FolderCase{"\nB", ""}})
        EXPECT_EQ(typedFolder(c.text), c.expected) << c.text;
}

} // namespace
