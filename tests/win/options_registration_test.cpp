// Start-up registration of the options classes under Wine: six classes with
// the program's icon and arrow cursor, the two Tahoma fonts, the check mark
// from the program folder, the selection palette, and the start-up check of
// a stored selection colour against it.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "app/app.h"
#include "state/app_state.h"
#include "options/options.h"
#include "prefs/prefs.h"
#include "options_test_support.h"

namespace {

LOGFONTA fontOf(HFONT font) {
    LOGFONTA info{};
    GetObjectA(font, sizeof(info), &info);
    return info;
}

class OptionsRegistration : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        icon = optionsClassesForTests().icon;
        registered = optionsClassesForTests().registered;
    }
    static inline HICON icon = nullptr;
    static inline bool registered = false;
};

TEST_F(OptionsRegistration, RegistersTheOptionsWindowAndFiveControlClasses) {
    ASSERT_TRUE(registered);
    ASSERT_NE(icon, nullptr);
    for (const char* name : {"Screen Capture Options Menu", "OLabel", "OButton", "ORadio", "OToggle", "OOpen"}) {
        WNDCLASSEXA info{};
        info.cbSize = sizeof(info);
        ASSERT_TRUE(GetClassInfoExA(app.instance, name, &info)) << name;
        EXPECT_EQ(info.style, 0u) << name;
        EXPECT_EQ(info.hIcon, icon) << name;
        EXPECT_EQ(info.hCursor, app.arrowCursor) << name;
        EXPECT_EQ(info.hbrBackground, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1))) << name;
    }
    // A second registration fails, which start-up turns into exit code 12.
    EXPECT_FALSE(registerOptionsClasses(icon));
}

TEST_F(OptionsRegistration, MakesTheTwoTahomaFonts) {
    ASSERT_TRUE(registered);
    ASSERT_NE(optionsUi.labelFont, nullptr);
    ASSERT_NE(optionsUi.formatFont, nullptr);
    const LOGFONTA label = fontOf(optionsUi.labelFont);
    const LOGFONTA format = fontOf(optionsUi.formatFont);
    EXPECT_EQ(label.lfHeight, 16);
    EXPECT_EQ(format.lfHeight, 22);
    EXPECT_STREQ(label.lfFaceName, "Tahoma");
    EXPECT_STREQ(format.lfFaceName, "Tahoma");
    EXPECT_EQ(label.lfOutPrecision, OUT_TT_PRECIS);
    EXPECT_EQ(label.lfWeight, 0);
    EXPECT_EQ(optionsUi.optionsInstance, app.instance);
}

// Catches a system without the Tahoma face (Wine without fonts-wine): the
// fonts are asked for Tahoma but drawn in a wider substitute that cuts labels.
TEST_F(OptionsRegistration, TheSystemDrawsTheFontsInTahoma) {
    ASSERT_TRUE(registered);
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    for (HFONT font : {optionsUi.labelFont, optionsUi.formatFont}) {
        const HGDIOBJ previous = SelectObject(dc, font);
        char face[LF_FACESIZE] = {};
        GetTextFaceA(dc, LF_FACESIZE, face);
        SelectObject(dc, previous);
        EXPECT_STREQ(face, "Tahoma");
    }
    DeleteDC(dc);
}

TEST_F(OptionsRegistration, LoadsTheCheckMarkFromTheProgramFolder) {
    ASSERT_TRUE(registered);
    ASSERT_NE(optionsUi.checkmarkBitmap, nullptr);
    BITMAP info{};
    ASSERT_TRUE(GetObjectA(optionsUi.checkmarkBitmap, sizeof(info), &info));
    EXPECT_EQ(info.bmWidth, 20);
    EXPECT_EQ(info.bmHeight, 20);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, optionsUi.checkmarkBitmap);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(60, 60, 60)); // the options grey
    EXPECT_EQ(GetPixel(dc, 19, 0), RGB(60, 60, 60));
    EXPECT_GT(GetRValue(GetPixel(dc, 8, 14)), 200);   // the bend of the tick, near the bottom
    EXPECT_GT(GetRValue(GetPixel(dc, 12, 10)), 200);  // its long stroke, up to the right
    EXPECT_EQ(GetPixel(dc, 14, 14), RGB(60, 60, 60)); // below the long stroke
    SelectObject(dc, previous);
    DeleteDC(dc);
}

TEST_F(OptionsRegistration, FillsTheSelectionPaletteInIndexOrder) {
    ASSERT_TRUE(registered);
    const std::vector<COLORREF> expected = {RGB(0, 0, 0),   RGB(96, 96, 96), RGB(230, 230, 230),
                                            RGB(255, 0, 0), RGB(0, 255, 0),  RGB(0, 0, 255)};
    EXPECT_EQ(selectionColors, expected);
}

TEST_F(OptionsRegistration, AStoredSelectionColourPastThePaletteBecomesZero) {
    ASSERT_TRUE(registered);
    struct Case {
        std::uint32_t stored, kept;
    };
    for (const Case c : {Case{0, 0}, Case{5, 5}, Case{6, 0}, Case{7, 0}, Case{0xFFFFFFFFu, 0}}) {
        preferences.selectionColor = c.stored;
        resetInvalidSelectionColor();
        EXPECT_EQ(preferences.selectionColor, c.kept) << c.stored;
    }
    preferences = Preferences{};
}

TEST_F(OptionsRegistration, ShutdownDeletesBothFonts) {
    ASSERT_TRUE(registered);
    HFONT label = optionsUi.labelFont;
    HFONT format = optionsUi.formatFont;
    releaseOptionsFonts();
    EXPECT_EQ(optionsUi.labelFont, nullptr);
    EXPECT_EQ(optionsUi.formatFont, nullptr);
    EXPECT_EQ(GetObjectType(label), 0u);
    EXPECT_EQ(GetObjectType(format), 0u);
}

} // namespace
