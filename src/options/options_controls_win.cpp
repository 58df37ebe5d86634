// The five self-drawn option controls. Each paints itself completely and acts
// on a left-button release only (a press does nothing); every message then
// goes on to DefWindowProcA. The options window fills the tables these read
// before it is first shown, so a lookup misses only for a stray control.
#include <shlobj.h>

#include <string>

#include "state/state.h"
#include "state/gdi_ledger.h"
#include "state/handle_guards.h"
#include "options/options.h"
#include "prefs/prefs.h"

namespace {

// One paint of a control, with the control's size.
class ControlPaint {
public:
    explicit ControlPaint(HWND hwnd) : scope_(hwnd) {
        RECT rect{};
        if (GetWindowRect(hwnd, &rect)) {
            width_ = rect.right - rect.left;
            height_ = rect.bottom - rect.top;
        }
    }

    HDC dc() const { return scope_.dc(); }
    int width() const { return width_; }
    int height() const { return height_; }
    RECT whole() const { return {0, 0, width_, height_}; }

private:
    PaintScope scope_;
    int width_ = 0;
    int height_ = 0;
};

// Rectangle (0, 0, w, h) with the stock DC pen and brush in these colours.
void drawBox(const ControlPaint& paint, COLORREF pen, COLORREF brush) {
    const HDC dc = paint.dc();
    SelectedObject penChoice(dc, GetStockObject(DC_PEN));
    SelectedObject brushChoice(dc, GetStockObject(DC_BRUSH));
    SetDCPenColor(dc, pen);
    SetDCBrushColor(dc, brush);
    Rectangle(dc, 0, 0, paint.width(), paint.height());
}

void writeText(HDC dc, HFONT font, int x, int y, const char* text, int length) {
    SetBkMode(dc, OPAQUE);
    SelectedObject fontChoice(dc, font);
    TextOutA(dc, x, y, text, length);
}

// Moves the yellow outline from `selected` to `hwnd`.
void moveSelection(HWND& selected, HWND hwnd) {
    if (selected)
        InvalidateRect(selected, nullptr, TRUE);
    selected = hwnd;
    InvalidateRect(hwnd, nullptr, TRUE);
}

bool& settingBoundTo(HWND toggle) {
    return toggle == app.options.resizeToggle ? preferences.resizeScreenshotWindows : preferences.closeScreenshotOnSave;
}

void paintLabel(HWND hwnd) {
    ControlPaint paint(hwnd);
    const HDC dc = paint.dc();
    const RECT whole = paint.whole();
    SolidBrush grey(optionsGrey);
    FillRect(dc, &whole, grey.get());
    SetBkColor(dc, optionsGrey);
    SetTextColor(dc, optionsWhite);
    const auto text = app.options.labelTexts.find(hwnd);
    if (text != app.options.labelTexts.end())
        writeText(dc, app.options.labelFont, 10, 10, text->second.c_str(), static_cast<int>(text->second.size()));
}

void paintSwatch(HWND hwnd) {
    ControlPaint paint(hwnd);
    const auto colour = app.options.swatchColors.find(hwnd);
    const COLORREF fill = colour != app.options.swatchColors.end() ? colour->second : optionsGrey;
    drawBox(paint, hwnd == app.options.selectedSwatch ? optionsYellow : fill, fill);
}

void onSwatchReleased(HWND hwnd) {
    const auto index = app.options.swatchIndices.find(hwnd);
    if (index == app.options.swatchIndices.end())
        return;
    moveSelection(app.options.selectedSwatch, hwnd);
    preferences.selectionColor = index->second;
}

void paintFormatChoice(HWND hwnd) {
    ControlPaint paint(hwnd);
    const HDC dc = paint.dc();
    SetBkColor(dc, optionsGrey);
    SetTextColor(dc, optionsWhite);
    drawBox(paint, hwnd == app.options.selectedFormatChoice ? optionsYellow : optionsGrey, optionsGrey);
    char title[4] = {};
    const int length = GetWindowTextA(hwnd, title, sizeof(title));
    const int at = scaledBy(2, app.options.uiScale);
    writeText(dc, app.options.formatFont, at, at, title, length);
}

void onFormatChoiceReleased(HWND hwnd) {
    const auto code = app.options.formatIndices.find(hwnd);
    if (code == app.options.formatIndices.end())
        return;
    moveSelection(app.options.selectedFormatChoice, hwnd);
    preferences.defaultFormat = static_cast<ImageFormat>(code->second);
}

void drawCheckmark(const ControlPaint& paint) {
    if (!app.options.checkmarkBitmap)
        return; // then the frame alone shows that it is on
    MemoryDc memory(paint.dc());
    if (!memory.get())
        return;
    BITMAP info{};
    if (!GetObjectA(app.options.checkmarkBitmap, sizeof(info), &info))
        return;
    SelectedObject bitmapChoice(memory.get(), app.options.checkmarkBitmap);
    StretchBlt(paint.dc(), 0, 0, scaledBy(info.bmWidth, app.options.uiScale),
               scaledBy(info.bmHeight, app.options.uiScale), memory.get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
}

void paintToggle(HWND hwnd) {
    ControlPaint paint(hwnd);
    if (!settingBoundTo(hwnd)) {
        drawBox(paint, optionsWhite, optionsGrey);
        return;
    }
    drawCheckmark(paint);
    const RECT whole = paint.whole();
    SolidBrush white(optionsWhite);
    FrameRect(paint.dc(), &whole, white.get());
}

void onToggleReleased(HWND hwnd) {
    bool& setting = settingBoundTo(hwnd);
    setting = !setting;
    // With erase: where the check mark does not reach, the class background shows.
    InvalidateRect(hwnd, nullptr, TRUE);
}

void paintBrowseButton(HWND hwnd) {
    ControlPaint paint(hwnd);
    const HDC dc = paint.dc();
    SetBkColor(dc, optionsWhite);
    SetTextColor(dc, optionsDarkText);
    drawBox(paint, optionsBlack, optionsWhite);
    char title[32] = {};
    const int length = GetWindowTextA(hwnd, title, sizeof(title));
    writeText(dc, app.options.labelFont, 6, 2, title, length);
}

void onBrowseReleased(HWND hwnd) {
    if (hwnd != app.options.browseButton)
        return;
    char displayName[MAX_PATH] = {};
    BROWSEINFOA request{};
    // Owned by the options window, so that it cannot be closed (or browsed
    // again) while the dialog is open and a chosen folder always has its box.
    request.hwndOwner = app.options.optionsWindow;
    request.pszDisplayName = displayName;
    request.lpszTitle = browseDialogTitle;
    request.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&request);
    if (!chosen)
        return; // cancelled
    char path[MAX_PATH] = {};
    const BOOL isFolder = SHGetPathFromIDListA(chosen, path);
    CoTaskMemFree(chosen);
    if (!isFolder || path[0] == '\0')
        return; // no file-system path: keep the folder there was
    quickSaveFolder = browsedFolder(path);
    SetWindowTextA(app.options.pathEdit, quickSaveFolder.c_str());
}

LRESULT dispatchLabelMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT:
        paintLabel(hwnd);
        break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT dispatchSwatchMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT:
        paintSwatch(hwnd);
        break;
    case WM_LBUTTONUP:
        onSwatchReleased(hwnd);
        break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT dispatchFormatChoiceMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT:
        paintFormatChoice(hwnd);
        break;
    case WM_LBUTTONUP:
        onFormatChoiceReleased(hwnd);
        break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT dispatchToggleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT:
        paintToggle(hwnd);
        break;
    case WM_LBUTTONUP:
        onToggleReleased(hwnd);
        break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT dispatchBrowseMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT:
        paintBrowseButton(hwnd);
        break;
    case WM_LBUTTONUP:
        onBrowseReleased(hwnd);
        break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

} // namespace

LRESULT CALLBACK labelControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return runOrEndProcess([&] { return dispatchLabelMessage(hwnd, msg, wp, lp); });
}

LRESULT CALLBACK swatchControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return runOrEndProcess([&] { return dispatchSwatchMessage(hwnd, msg, wp, lp); });
}

LRESULT CALLBACK formatChoiceControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return runOrEndProcess([&] { return dispatchFormatChoiceMessage(hwnd, msg, wp, lp); });
}

LRESULT CALLBACK toggleControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return runOrEndProcess([&] { return dispatchToggleMessage(hwnd, msg, wp, lp); });
}

LRESULT CALLBACK browseControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return runOrEndProcess([&] { return dispatchBrowseMessage(hwnd, msg, wp, lp); });
}
