// Start-up registration of the options classes, with the fonts and the check
// mark they share; the fonts' release at shutdown.
#include "state/app_state.h"
#include "state/gdi_ledger.h"
#include "options/options.h"

namespace {

struct OptionsClass {
    const char* name;
    WNDPROC procedure;
};

constexpr OptionsClass optionsClasses[] = {
    {optionsWindowClass, optionsWindowProc}, {"OLabel", labelControlProc},   {"OButton", swatchControlProc},
    {"ORadio", formatChoiceControlProc},     {"OToggle", toggleControlProc}, {"OOpen", browseControlProc},
};

} // namespace

HFONT createOptionsFont(int height) {
    return countGdiObject(CreateFontA(height, 0, 0, 0, 0, FALSE, FALSE, FALSE, 0, OUT_TT_PRECIS, 0, 0, 0, "Tahoma"));
}

bool registerOptionsClasses(HICON icon) {
    // A missing check mark is not reported: a toggle that is on then shows its frame alone.
    const std::string checkmarkPath = app.exeFolder + "checkmark.bmp";
    app.options.checkmarkBitmap = countGdiObject(
        static_cast<HBITMAP>(LoadImageA(nullptr, checkmarkPath.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
    app.options.optionsInstance = app.instance;
    app.options.labelFont = createOptionsFont(16 * app.options.uiScale / 100);
    app.options.formatFont = createOptionsFont(22 * app.options.uiScale / 100);

    WNDCLASSEXA record{};
    record.cbSize = sizeof(record);
    record.hInstance = app.instance;
    record.hIcon = icon;
    record.hCursor = app.arrowCursor;
    record.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    for (const OptionsClass& entry : optionsClasses) {
        record.lpfnWndProc = entry.procedure;
        record.lpszClassName = entry.name;
        if (!RegisterClassExA(&record))
            return false;
    }
    return true;
}

void releaseOptionsFonts() {
    if (app.options.labelFont)
        gdiDeleteObject(app.options.labelFont);
    app.options.labelFont = nullptr;
    if (app.options.formatFont)
        gdiDeleteObject(app.options.formatFont);
    app.options.formatFont = nullptr;
}
