// Start-up registration of the options classes under Wine: a refused
// registration, the fonts drawn in Tahoma, the check mark from the program
// folder, the start-up check of a stored selection colour, the fonts' release.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "app/app.h"
#include "state/app_state.h"
#include "options/options.h"
#include "prefs/prefs.h"
#include "options_test_support.h"

namespace {

class OptionsRegistration : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        icon = optionsClassesForTests().icon;
        registered = optionsClassesForTests().registered;
    }
    static inline HICON icon = nullptr;
    static inline bool registered = false;
};

// Catches a registration that ignores the system's refusal: start-up ends with code 12 on it.
TEST_F(OptionsRegistration, ARefusedRegistrationIsReported) {
    ASSERT_TRUE(registered);
    EXPECT_FALSE(registerOptionsClasses(icon)); // registered already
}

// Catches a system without the Tahoma face (Wine without fonts-wine): the
// fonts are asked for Tahoma but drawn in a wider substitute that cuts labels.
TEST_F(OptionsRegistration, TheSystemDrawsTheFontsInTahoma) {
    ASSERT_TRUE(registered);
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    for (HFONT font : {app.options.labelFont, app.options.formatFont}) {
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
    ASSERT_NE(app.options.checkmarkBitmap, nullptr);
    BITMAP info{};
    ASSERT_TRUE(GetObjectA(app.options.checkmarkBitmap, sizeof(info), &info));
    EXPECT_EQ(info.bmWidth, 20);
    EXPECT_EQ(info.bmHeight, 20);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, app.options.checkmarkBitmap);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(60, 60, 60)); // the options grey
    EXPECT_EQ(GetPixel(dc, 19, 0), RGB(60, 60, 60));
    EXPECT_GT(GetRValue(GetPixel(dc, 8, 14)), 200);   // the bend of the tick, near the bottom
    EXPECT_GT(GetRValue(GetPixel(dc, 12, 10)), 200);  // its long stroke, up to the right
    EXPECT_EQ(GetPixel(dc, 14, 14), RGB(60, 60, 60)); // below the long stroke
    SelectObject(dc, previous);
    DeleteDC(dc);
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
    HFONT label = app.options.labelFont;
    HFONT format = app.options.formatFont;
    releaseOptionsFonts();
    EXPECT_EQ(app.options.labelFont, nullptr);
    EXPECT_EQ(app.options.formatFont, nullptr);
    EXPECT_EQ(GetObjectType(label), 0u);
    EXPECT_EQ(GetObjectType(format), 0u);
}

} // namespace
