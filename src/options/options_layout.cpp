// The options grid and its folder rules; see options/options_layout.h.
#include "options/options_layout.h"

#include <algorithm>

namespace {

constexpr OptionsRect windowAt100{300, 300, 400, 260};

constexpr OptionsChild label(const char* title, std::int32_t y, std::int32_t width, const char* text) {
    return {"OLabel", title, tabStopChildStyle, {0, y, width, 30}, OptionsRole::label, 0, text};
}

constexpr OptionsChild swatch(std::uint32_t index) {
    return {"OButton",
            "",
            tabStopChildStyleLowBit,
            {140 + 24 * static_cast<std::int32_t>(index), 39, 20, 20},
            OptionsRole::swatch,
            index,
            nullptr};
}

constexpr OptionsChild formatChoice(const char* title, std::int32_t x, std::int32_t width, std::uint32_t code) {
    return {"ORadio", title, tabStopChildStyle, {x, 99, width, 26}, OptionsRole::formatChoice, code, nullptr};
}

// The grid at 100 %, in creation order.
constexpr OptionsLayout layoutAt100 = {{
    label("Lbl5", 0, 200, "Lumagrab 3.0"),
    label("Lbl1", 30, 130, "Selection Color: "),
    label("Lbl2", 60, 140, "Quicksave location: "),
    label("Lbl3", 90, 100, "Default format: "),
    label("Lbl4", 120, 200, "Close Screenshot on image save: "),
    swatch(0),
    swatch(1),
    swatch(2),
    swatch(3),
    swatch(4),
    swatch(5),
    {"OOpen", "...", tabStopChildStyleLowBit, {340, 69, 26, 20}, OptionsRole::browseButton, 0, nullptr},
    formatChoice("JPG", 140, 36, 0),
    formatChoice("PNG", 180, 40, 1),
    formatChoice("BMP", 220, 40, 2),
    {"OToggle", "", tabStopChildStyle, {220, 129, 20, 20}, OptionsRole::closeToggle, 0, nullptr},
    {"OLabel", "", plainChildStyle, {0, 150, 220, 30}, OptionsRole::label, 0, "Resize screenshot windows"},
    {"OToggle", "", tabStopChildStyle, {220, 159, 20, 20}, OptionsRole::resizeToggle, 0, nullptr},
    {"Edit", "", folderEditStyle, {140, 69, 200, 20}, OptionsRole::pathEdit, 0, nullptr},
}};

OptionsRect scaledRect(const OptionsRect& r, std::int32_t scale) {
    return {scaledBy(r.x, scale), scaledBy(r.y, scale), scaledBy(r.width, scale), scaledBy(r.height, scale)};
}

} // namespace

std::int32_t scaledBy(std::int32_t value, std::int32_t scale) {
    // Wide enough that no scale a monitor reports can overflow the product.
    return static_cast<std::int32_t>(static_cast<std::int64_t>(value) * scale / 100);
}

OptionsRect optionsWindowRect(std::int32_t scale) { return scaledRect(windowAt100, scale); }

OptionsLayout optionsLayout(std::int32_t scale) {
    OptionsLayout layout = layoutAt100;
    for (OptionsChild& child : layout)
        child.rect = scaledRect(child.rect, scale);
    return layout;
}

std::string browsedFolder(std::string_view path) { return std::string(path) + '\\'; }

std::string_view typedFolder(std::string_view boxText) { return boxText.substr(0, boxText.find_first_of("\r\n")); }

std::string quickSaveFolderFor(std::string_view text) {
    if (text.empty())
        return {};
    std::string folder(text);
    if (folder.back() == '\\' || folder.back() == '/')
        return folder;
    const auto slashes = std::count(folder.begin(), folder.end(), '/');
    const auto backslashes = std::count(folder.begin(), folder.end(), '\\');
    folder += slashes > backslashes ? '/' : '\\';
    return folder;
}
