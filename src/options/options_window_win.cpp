// The options window: at most one at a time, its 19 children in the fixed
// grid of options_layout.h scaled by uiScale, no OK or Cancel. Clicks act in
// memory at once; the close takes the typed folder and writes prefs.txt.
// The tables of OptionsUi hold exactly the controls of the open window.
#include <algorithm>
#include <string>

#include "state/state.h"
#include "state/app_state.h"
#include "state/handle_guards.h"
#include "options/options.h"
#include "prefs/prefs.h"

namespace {

void replaceOptionsFonts(std::int32_t scale) {
    app.options.uiScale = scale;
    const HFONT oldLabelFont = app.options.labelFont;
    const HFONT oldFormatFont = app.options.formatFont;
    app.options.labelFont = createOptionsFont(scaledBy(16, scale));
    app.options.formatFont = createOptionsFont(scaledBy(22, scale));
    // An open box must not keep drawing with a deleted font.
    if (app.options.optionsOpen && app.options.pathEdit)
        SendMessageA(app.options.pathEdit, WM_SETFONT, reinterpret_cast<WPARAM>(app.options.labelFont), TRUE);
    if (oldLabelFont)
        gdiDeleteObject(oldLabelFont);
    if (oldFormatFont)
        gdiDeleteObject(oldFormatFont);
}

HWND createChild(HWND parent, const OptionsChild& child) {
    const bool isEdit = child.role == OptionsRole::pathEdit;
    // The system's edit class is found without the module instance.
    return CreateWindowExA(0, child.className, isEdit ? quickSaveFolder.c_str() : child.title, child.style,
                           child.rect.x, child.rect.y, child.rect.width, child.rect.height, parent, nullptr,
                           isEdit ? nullptr : app.options.optionsInstance, nullptr);
}

// Records a created child where OptionsUi names it and in its table.
void recordChild(HWND hwnd, const OptionsChild& child) {
    switch (child.role) {
    case OptionsRole::label:
        app.options.labelTexts[hwnd] = child.text;
        break;
    case OptionsRole::swatch:
        app.options.swatchColors[hwnd] = swatchPaintColors[child.index];
        app.options.swatchIndices[hwnd] = child.index;
        if (child.index == preferences.selectionColor)
            app.options.selectedSwatch = hwnd;
        break;
    case OptionsRole::browseButton:
        app.options.browseButton = hwnd;
        break;
    case OptionsRole::formatChoice:
        app.options.formatIndices[hwnd] = child.index;
        if (static_cast<ImageFormat>(child.index) == preferences.defaultFormat)
            app.options.selectedFormatChoice = hwnd;
        break;
    case OptionsRole::closeToggle:
        break;
    case OptionsRole::resizeToggle:
        app.options.resizeToggle = hwnd;
        break;
    case OptionsRole::pathEdit:
        app.options.pathEdit = hwnd;
        break;
    }
}

void clearOptionsTables() {
    app.options.labelTexts.clear();
    app.options.swatchColors.clear();
    app.options.swatchIndices.clear();
    app.options.formatIndices.clear();
}

// The whole text of the box: a longer folder than a fixed buffer holds must
// not be cut into another, existing one.
std::string pathEditText() {
    const int length = GetWindowTextLengthA(app.options.pathEdit);
    if (length <= 0)
        return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(app.options.pathEdit, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

void paintOptionsWindow(HWND hwnd) {
    const PaintScope paint(hwnd);
    RECT window{};
    GetWindowRect(hwnd, &window);
    const RECT fill{0, 0, window.right - window.left, window.bottom - window.top};
    const SolidBrush grey(optionsGrey);
    FillRect(paint.dc(), &fill, grey.get());
}

LRESULT dispatchOptionsMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT:
        paintOptionsWindow(hwnd);
        break;
    case WM_CLOSE:
        applyOptions(); // the default procedure then destroys the window and its children
        break;
    case WM_SETCURSOR:
        SetCursor(app.arrowCursor);
        break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

} // namespace

void openOptionsWindow(std::int32_t scale) {
    if (scale != app.options.uiScale)
        replaceOptionsFonts(scale);
    if (app.options.optionsOpen)
        return;

    const OptionsRect frame = optionsWindowRect(app.options.uiScale);
    app.options.optionsWindow =
        CreateWindowExA(0, optionsWindowClass, optionsWindowTitle, optionsWindowStyle, frame.x, frame.y, frame.width,
                        frame.height, nullptr, nullptr, app.options.optionsInstance, nullptr);
    if (!app.options.optionsWindow) {
        MessageBoxA(nullptr, optionsWindowFailedText, errorCaption, MB_ICONWARNING);
        return;
    }

    // The tables hold only this window's controls; a child that cannot be
    // made is left out, and the window opens without it.
    clearOptionsTables();
    app.options.selectedSwatch = nullptr;
    app.options.selectedFormatChoice = nullptr;
    app.options.resizeToggle = nullptr;
    app.options.browseButton = nullptr;
    app.options.pathEdit = nullptr;
    for (const OptionsChild& child : optionsLayout(app.options.uiScale))
        if (const HWND hwnd = createChild(app.options.optionsWindow, child))
            recordChild(hwnd, child);

    if (app.options.pathEdit) {
        SendMessageA(app.options.pathEdit, WM_SETFONT, reinterpret_cast<WPARAM>(app.options.labelFont), FALSE);
        // A folder past the box's initial limit would show as an empty box, and
        // the close would store that. The limit grows to hold it; then it is set again.
        const std::size_t limit = std::max(maxLocationLength, quickSaveFolder.size());
        SendMessageA(app.options.pathEdit, EM_SETLIMITTEXT, static_cast<WPARAM>(limit), 0);
        if (static_cast<std::size_t>(GetWindowTextLengthA(app.options.pathEdit)) != quickSaveFolder.size())
            SetWindowTextA(app.options.pathEdit, quickSaveFolder.c_str());
    }
    UpdateWindow(app.options.optionsWindow);
    ShowWindow(app.options.optionsWindow, SW_SHOW);
    app.options.optionsOpen = true;
}

void applyOptions() {
    app.options.optionsOpen = false;
    // Without its box the window shows no folder, and none is taken from it.
    if (app.options.pathEdit && IsWindow(app.options.pathEdit)) {
        const std::string text(typedFolder(pathEditText()));
        if (!keepsDefaultLocation(preferences.quickSaveLocation, text, quickSaveFolderFrom(defaultQuickSaveLocation))) {
            preferences.quickSaveLocation = foldUserPath(text);
            quickSaveFolder = quickSaveFolderFor(text);
        }
    }
    savePreferences();
    clearOptionsTables();
}

LRESULT CALLBACK optionsWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return runOrEndProcess([&] { return dispatchOptionsMessage(hwnd, msg, wp, lp); });
}
