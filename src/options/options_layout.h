// The options window's fixed grid and the pure decisions behind its controls:
// scaling, the 19 children in creation order, the swatch and palette colours,
// and the folder texts a browse or a close produces. Portable.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "prefs/prefs.h"
#include "state/pixel_rect.h"

// Colours in the 0x00BBGGRR layout of a COLORREF.
constexpr std::uint32_t optionsRgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return r | (g << 8) | (b << 16);
}

constexpr std::uint32_t optionsGrey = optionsRgb(60, 60, 60);
constexpr std::uint32_t optionsWhite = optionsRgb(255, 255, 255);
constexpr std::uint32_t optionsYellow = optionsRgb(255, 255, 0);
constexpr std::uint32_t optionsDarkText = optionsRgb(30, 30, 30);
constexpr std::uint32_t optionsBlack = optionsRgb(0, 0, 0);

// What each swatch is painted with (preferences.selectionColor indexes
// selectionPalette, prefs/prefs.h): the last four are painted darker than the colour they select.
constexpr std::array<std::uint32_t, 6> swatchPaintColors = {optionsRgb(0, 0, 0),       optionsRgb(96, 96, 96),
                                                            optionsRgb(200, 200, 200), optionsRgb(128, 0, 0),
                                                            optionsRgb(0, 128, 0),     optionsRgb(0, 0, 128)};

// Child styles: WS_CHILD | WS_VISIBLE | WS_TABSTOP, the same with the low bit,
// WS_CHILD | WS_VISIBLE, and the edit box's WS_BORDER | ES_AUTOHSCROLL.
constexpr std::uint32_t tabStopChildStyle = 0x50010000u;
constexpr std::uint32_t tabStopChildStyleLowBit = 0x50010001u;
constexpr std::uint32_t plainChildStyle = 0x50000000u;
constexpr std::uint32_t folderEditStyle = 0x50800080u;
// WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX.
constexpr std::uint32_t optionsWindowStyle = 0x00CE0000u;

constexpr const char* optionsWindowTitle = "Lumagrab Options";
constexpr const char* browseDialogTitle = "Select Folder";

// The options window on the screen, or a child inside it.
using OptionsRect = PixelRect;

enum class OptionsRole : std::uint8_t {
    label,
    swatch,
    browseButton,
    formatChoice,
    closeToggle,
    resizeToggle,
    pathEdit
};

struct OptionsChild {
    const char* className;
    const char* title; // the edit box's title is the current folder, given at creation
    std::uint32_t style;
    OptionsRect rect;
    OptionsRole role;
    std::uint32_t index; // swatch: palette index; format choice: ImageFormat code
    const char* text;    // label: what it shows
};

constexpr std::size_t optionsChildCount = 19;
using OptionsLayout = std::array<OptionsChild, optionsChildCount>;

// value x scale / 100, the division truncating.
std::int32_t scaledBy(std::int32_t value, std::int32_t scale);

// The options window (outer rectangle) and its children in creation order,
// every figure scaled by `scale` percent.
OptionsRect optionsWindowRect(std::int32_t scale);
OptionsLayout optionsLayout(std::int32_t scale);

// The folder a browse puts in the box: the chosen path with one "\" appended,
// always (a drive root "C:\" gives "C:\\").
std::string browsedFolder(std::string_view path);

// The box's text as it is kept on close: its first line only, since a line
// break in the stored folder would split prefs.txt.
std::string_view typedFolder(std::string_view boxText);

// quickSaveFolder from the kept text: one separator appended unless it ends in
// one, "/" when it holds more "/" than "\", else "\". Empty stays empty.
std::string quickSaveFolderFor(std::string_view text);
