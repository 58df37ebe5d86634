// Ctrl + left press in a screenshot window: the cache file goes out as a
// one-file CF_HDROP through the platform's modal drag loop. The window closes
// only when the file went with the drop.
#define CINTERFACE
#define COBJMACROS
#include "shots/drag_objects.h"

#include <climits>
#include <cstring>

#include "state/state.h"
#include "shots/cache.h"
#include "state/handle_guards.h"
#include "shots/shot_rules.h"
#include "shots/shots.h"

namespace {

// Out of (or back into) the always-on-top band, at each window's recorded place.
void setScreenshotsTopmost(bool topmost) {
    for (const auto& slot : app.screenshots) {
        if (!slot || !slot->hwnd)
            continue;
        if (!topmost) {
            // A throwaway popup is shown first, so that the foreground moves
            // and the topmost window can leave the band.
            HWND helper =
                CreateWindowExA(0, plainWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, app.instance, nullptr);
            if (helper)
                ShowWindow(helper, SW_SHOW);
            SetWindowPos(slot->hwnd, HWND_NOTOPMOST, slot->x, slot->y, slot->width, slot->height, 0);
            if (helper)
                DestroyWindow(helper);
        } else {
            SetWindowPos(slot->hwnd, HWND_TOPMOST, slot->x, slot->y, slot->width, slot->height, 0);
        }
    }
}

// The effect a drop target recorded on the data object after an optimised
// move or a paste; DROPEFFECT_NONE when it recorded none.
DWORD performedEffect(IDataObject* data) {
    const UINT format = RegisterClipboardFormatA("Performed DropEffect");
    FORMATETC asked{static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (!format || IDataObject_GetData(data, &asked, &medium) != S_OK)
        return DROPEFFECT_NONE;
    DWORD effect = DROPEFFECT_NONE;
    if (medium.tymed == TYMED_HGLOBAL && GlobalSize(medium.hGlobal) >= sizeof effect) {
        if (const void* at = GlobalLock(medium.hGlobal)) {
            std::memcpy(&effect, at, sizeof effect);
            GlobalUnlock(medium.hGlobal);
        }
    }
    ReleaseStgMedium(&medium);
    return effect;
}

} // namespace

HGLOBAL makeDropFileBlock(const std::string& utf8Path, POINT cursor) {
    if (utf8Path.size() >= static_cast<std::size_t>(INT_MAX))
        return nullptr;
    const int length = static_cast<int>(utf8Path.size());
    std::u16string wide;
    if (length != 0) {
        const int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path.data(), length, nullptr, 0);
        if (wideLength <= 0)
            return nullptr;
        wide.resize(static_cast<std::size_t>(wideLength));
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path.data(), length,
                            reinterpret_cast<LPWSTR>(wide.data()), wideLength);
    }
    const std::vector<std::uint8_t> bytes = dropFileBlock(wide, cursor.x, cursor.y);
    GlobalBlock block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size()));
    void* at = block.get() ? GlobalLock(block.get()) : nullptr;
    if (!at)
        return nullptr;
    std::memcpy(at, bytes.data(), bytes.size());
    GlobalUnlock(block.get());
    return block.release(); // the caller's now
}

DragOutcome dragScreenshotFile(ScreenshotWindow& pressed, HWND hwnd) {
    if (app.dragWaiting)
        return DragOutcome::notStarted; // a press while another drag waits for its file
    app.dropPressPending = true;
    // A copy: the wait serves messages, and the window may close meanwhile.
    const std::string path = pressed.cachePath;

    // Never hand out a file that is not there yet: its cache job may still be queued.
    if (path.empty() || !waitForCacheFile(path) || GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return DragOutcome::notStarted;
    const auto open = app.screenshotIndex.find(hwnd);
    if (open == app.screenshotIndex.end() || !app.screenshots[open->second])
        return DragOutcome::notStarted;
    app.screenshots[open->second]->keepFile = true; // a drop target may still read the file after the window closes
    POINT cursor{};
    GetCursorPos(&cursor);
    GlobalBlock block(makeDropFileBlock(path, cursor));
    IDataObject* data = block.get() ? createDragDataObject() : nullptr;
    IDropSource* source = data ? createDragDropSource() : nullptr;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block.get();
    if (!source || IDataObject_SetData(data, &format, &medium, TRUE) != S_OK) {
        if (source)
            IDropSource_Release(source);
        if (data)
            IDataObject_Release(data);
        app.screenshots[open->second]->keepFile = false;
        return DragOutcome::notStarted;
    }
    block.release(); // the data object owns the block now and frees it with ReleaseStgMedium

    setScreenshotsTopmost(false);
    DWORD effect = DROPEFFECT_NONE;
    const HRESULT result = DoDragDrop(data, source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
    // The table may have changed during the modal loop: look the window up again.
    if (result == DRAGDROP_S_DROP &&
        dragOutMovedFile(effect == DROPEFFECT_MOVE, performedEffect(data) == DROPEFFECT_MOVE,
                         GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)) {
        auto found = app.screenshotIndex.find(hwnd);
        if (found != app.screenshotIndex.end())
            closeScreenshot(found->second);
    }
    setScreenshotsTopmost(true);

    IDropSource_Release(source);
    IDataObject_Release(data);
    return DragOutcome::dragged;
}
