// Living with a pinned screenshot, as its user does: moving it, closing it
// with a click, its menu, Quick Save, Copy, the wheel's zoom and opacity, its
// keys and Alt+F4. Real windows, files and clipboard.
#include <gtest/gtest.h>

#include <ole2.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cctype>

#include "scenario.h"

using namespace driver;

namespace {

constexpr POINT patternAt{150, 120};
constexpr int patternWidth = 480;
constexpr int patternHeight = 360;
constexpr DWORD screenSettles = 3000;

class ScreenshotWindowUse : public OrvaneScenario {
protected:
    void SetUp() override {
        OrvaneScenario::SetUp();
        quickFolder = scratchFolder("quick-save");
        writeSettings(true);
        pattern = std::make_unique<PatternWindow>(patternAt, testPicture(patternWidth, patternHeight));
        ASSERT_NO_FATAL_FAILURE(start());
        ASSERT_TRUE(waitUntil(
            [&] { return grabScreen().crop(pattern->rect()).sameColours(testPicture(patternWidth, patternHeight)); },
            screenSettles));
    }

    // prefs.txt: close after Quick Save as given, grey selection, PNG, the scratch Quick Save folder.
    void writeSettings(bool closeOnSave, const std::string& folder = "") {
        writePreferences({closeOnSave, 1, 1, folder.empty() ? quickFolder : folder});
    }

    // PrintScreen, a drag over `rect`, and the new pinned window.
    HWND pin(const RECT& rect) {
        const HWND made = OrvaneScenario::pin(rect);
        // Let its cache file be written before the tests look at the folder.
        waitUntil([] { return !cacheImageFiles().empty(); }, 3000);
        return made;
    }

    std::string quickFolder;
    std::unique_ptr<PatternWindow> pattern;
};

const RECT area{200, 160, 360, 280};

bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST_F(ScreenshotWindowUse, ADragMovesItAndAPlainClickClosesItWithItsCacheFile) {
    const Picture before = grabScreen();
    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    ASSERT_EQ(cacheImageFiles().size(), 1u);

    drag({250, 200}, {330, 260});
    EXPECT_TRUE(waitUntil(
        [&] {
            return sameRect(windowRect(shot), {280, 220, 440, 340});
        },
        3000))
        << "the window did not follow the pointer";
    EXPECT_TRUE(GetWindowLongPtrA(shot, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(waitUntil(
        [&] {
            return grabScreen().crop({281, 221, 439, 339}).sameColours(before.crop({201, 161, 359, 279}));
        },
        screenSettles))
        << "the moved window does not show its picture";
    EXPECT_TRUE(IsWindow(shot)) << "a drag to another place must not close it";

    click({300, 250});
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(shot); }, 3000)) << "a plain click did not close it";
    EXPECT_TRUE(waitUntil([] { return cacheImageFiles().empty(); }, 3000)) << "its cache file was not deleted";
}

// A moving screenshot window reads the cursor at every move it takes, and
// Wine may hand it a late echo of an earlier move: these moves keep a hand's
// pace, with no condition outside to show that the echoes are in.
TEST_F(ScreenshotWindowUse, ADragThatEndsWhereItBeganClosesIt) {
    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    handDrag({{250, 200}, {280, 230}, {300, 240}, {250, 200}}, 30);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(shot); }, 3000));
}

TEST_F(ScreenshotWindowUse, QuickSaveWritesTheCapturedPixelsAndClosesTheWindow) {
    const Picture before = grabScreen();
    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    chooseShotItem(shot, quickSaveItem);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(shot); }, 3000)) << "closeScreenshotOnSave is on";
    std::vector<std::string> saved;
    ASSERT_TRUE(waitUntil([&] { return (saved = fileNamesIn(quickFolder)).size() == 1; }, 3000));
    EXPECT_EQ(saved.front().rfind("ScreenCapture", 0), 0u) << saved.front();
    EXPECT_EQ(saved.front().substr(saved.front().size() - 4), ".png");
    const Picture file = decodeImageFile(quickFolder + saved.front());
    EXPECT_TRUE(file.sameColours(before.crop(area))) << "the saved file does not hold the captured pixels";
}

TEST_F(ScreenshotWindowUse, TwoQuickSavesInOneSecondKeepBothFiles) {
    writeSettings(false);
    ASSERT_NO_FATAL_FAILURE(restart());

    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    chooseShotItem(shot, quickSaveItem);
    chooseShotItem(shot, quickSaveItem);
    std::vector<std::string> saved;
    EXPECT_TRUE(waitUntil([&] { return (saved = fileNamesIn(quickFolder)).size() == 2; }, 4000))
        << saved.size() << " file(s)";
    EXPECT_TRUE(IsWindow(shot)) << "closeScreenshotOnSave is off";
}

TEST_F(ScreenshotWindowUse, AQuickSaveFolderThatCannotBeMadeKeepsTheWindowAndSaysSo) {
    // A file where a folder level should be: the folder cannot be created.
    writeFile(quickFolder + "blocker", "x");
    writeSettings(true, quickFolder + "blocker/shots/");
    ASSERT_NO_FATAL_FAILURE(restart());

    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    chooseShotItem(shot, quickSaveItem);
    const HWND message = orvane.waitForWindowTitled("Quick Save");
    ASSERT_NE(message, nullptr) << "no message";
    const auto slashes = [](std::string text) {
        std::replace(text.begin(), text.end(), '\\', '/');
        return text;
    };
    const std::string text = slashes(messageText(message));
    EXPECT_NE(text.find(slashes(quickFolder + "blocker/shots/")), std::string::npos)
        << "the message does not name the folder: " << text;
    EXPECT_NE(text.find("could not be created"), std::string::npos) << text;
    EXPECT_TRUE(acknowledge(message));
    EXPECT_TRUE(IsWindow(shot)) << "a screenshot that could not be saved must stay";
}

// Catches a Quick Save lost when the session ends: the system may end the
// program as soon as WM_ENDSESSION returns, so the file must be complete by then.
TEST_F(ScreenshotWindowUse, TheSessionEndingRightAfterAQuickSaveWaitsForTheFile) {
    const RECT whole{10, 10, 1270, 1010}; // large: its PNG takes a while to write
    const Picture before = grabScreen();
    const HWND shot = pin(whole);
    ASSERT_NE(shot, nullptr);
    chooseShotItem(shot, quickSaveItem);
    const HWND tray = orvane.trayWindow();
    DWORD_PTR answer = 0;
    EXPECT_TRUE(SendMessageTimeoutA(tray, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &answer));
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE)) << "the session may end";
    SendMessageTimeoutA(tray, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 40000, &answer);
    if (orvane.running()) { // ended as the system would, once the message returned
        const HANDLE handle = OpenProcess(PROCESS_TERMINATE, FALSE, orvane.id());
        TerminateProcess(handle, 99);
        CloseHandle(handle);
    }
    EXPECT_EQ(orvane.process().waitForExit(5000), 0u) << "it should end by itself, as at Exit";
    const std::vector<std::string> saved = fileNamesIn(quickFolder);
    ASSERT_EQ(saved.size(), 1u) << "the Quick Save file was lost";
    const Picture file = decodeImageFile(quickFolder + saved.front());
    const RECT shown = pattern->rect();
    EXPECT_TRUE(
        file.crop({shown.left - whole.left, shown.top - whole.top, shown.right - whole.left, shown.bottom - whole.top})
            .sameColours(before.crop(shown)))
        << "the saved file is not complete";
    EXPECT_TRUE(cacheImageFiles().empty()) << "not released as at Exit";
}

// The clipboard's CF_BITMAP as it pastes, top-down; empty when there is none or it cannot be read whole.
Picture clipboardPicture() {
    Picture pasted;
    if (!OpenClipboard(nullptr))
        return pasted;
    const HBITMAP bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
    BITMAP info{};
    if (bitmap && GetObjectA(bitmap, sizeof info, &info)) {
        BITMAPINFO request{};
        request.bmiHeader = {sizeof(request.bmiHeader), info.bmWidth, -info.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        pasted.width = info.bmWidth;
        pasted.height = info.bmHeight;
        pasted.bgra.resize(std::size_t(info.bmWidth) * std::size_t(info.bmHeight) * 4);
        const HDC screen = GetDC(nullptr);
        if (GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.bmHeight), pasted.bgra.data(), &request,
                      DIB_RGB_COLORS) != info.bmHeight)
            pasted = {};
        ReleaseDC(nullptr, screen);
    }
    CloseClipboard();
    return pasted;
}

TEST_F(ScreenshotWindowUse, CopyPutsTheCapturedPixelsOnTheClipboardAndTheyOutliveTheWindow) {
    const Picture before = grabScreen();
    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    chooseShotItem(shot, copyItem);
    ASSERT_TRUE(waitUntil([] { return IsClipboardFormatAvailable(CF_BITMAP) != 0; }, 3000));
    click({300, 250}); // close the window
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(shot); }, 3000));

    const Picture pasted = clipboardPicture();
    EXPECT_EQ(pasted.width, area.right - area.left);
    EXPECT_EQ(pasted.height, area.bottom - area.top);
    EXPECT_TRUE(pasted.sameColours(before.crop(area))) << "the clipboard does not hold the captured pixels";
}

// A window of the driver's own that accepts dropped files, on a thread of its
// own with OLE started, answering every drop with `effect`.
class DropTarget : public IDropTarget {
public:
    explicit DropTarget(const RECT& place) {
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([this, place, ready] { run(place, ready); });
        WaitForSingleObject(ready, 5000);
        CloseHandle(ready);
    }
    ~DropTarget() {
        PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    DropTarget(const DropTarget&) = delete;
    DropTarget& operator=(const DropTarget&) = delete;

    bool registered() const { return registered_; }
    HWND window() const { return window_; }
    bool entered() const { return entered_; }
    bool dropped() const { return dropped_; }
    // Whether a DragOver saw a visible screenshot window of `process` in the topmost band.
    bool sawTopmostShot() const { return sawTopmost_; }
    int dragOvers() const { return dragOvers_; }
    std::vector<std::string> files() const {
        std::lock_guard<std::mutex> hold(lock_);
        return files_;
    }
    // Ready for a new drag from `process`, answered with `effect`.
    void reset(DWORD process, DWORD effect, bool movesFile = false) {
        process_ = process;
        effect_ = effect;
        movesFile_ = movesFile;
        entered_ = dropped_ = sawTopmost_ = false;
        dragOvers_ = 0;
        std::lock_guard<std::mutex> hold(lock_);
        files_.clear();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDropTarget)) {
            *out = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives as long as the test's object: counted only for the platform's sake.
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        entered_ = true;
        *effect = effect_ == DROPEFFECT_NONE ? DWORD(DROPEFFECT_COPY) : effect_.load();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
        ++dragOvers_;
        for (HWND shot : visibleWindows(process_, screenshotClass))
            if (GetWindowLongPtrA(shot, GWL_EXSTYLE) & WS_EX_TOPMOST)
                sawTopmost_ = true;
        *effect = effect_ == DROPEFFECT_NONE ? DWORD(DROPEFFECT_COPY) : effect_.load();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium{};
        if (data->GetData(&format, &medium) == S_OK) {
            const auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
            if (drop) {
                std::lock_guard<std::mutex> hold(lock_);
                const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
                for (UINT i = 0; i < count; ++i) {
                    char path[MAX_PATH] = {};
                    DragQueryFileA(drop, i, path, sizeof path);
                    files_.push_back(path);
                }
                GlobalUnlock(medium.hGlobal);
            }
            ReleaseStgMedium(&medium);
        }
        // An optimised move: the target moves the file itself and reports no effect.
        if (movesFile_)
            for (const std::string& file : files())
                MoveFileA(file.c_str(), (file + "-moved.png").c_str());
        *effect = effect_;
        dropped_ = true;
        return S_OK;
    }

private:
    void run(const RECT& place, HANDLE ready) {
        threadId_ = GetCurrentThreadId();
        OleInitialize(nullptr);
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        windowClass.lpszClassName = "OrvaneDriverDropTarget";
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(WS_EX_TOPMOST, windowClass.lpszClassName, "drop here", WS_POPUP | WS_VISIBLE,
                                  place.left, place.top, place.right - place.left, place.bottom - place.top, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
        registered_ = window_ && RegisterDragDrop(window_, this) == S_OK;
        MSG msg{};
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); // the thread's queue, before the test posts to it
        SetEvent(ready);
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (registered_)
            RevokeDragDrop(window_);
        DestroyWindow(window_);
        OleUninitialize();
    }

    std::atomic<DWORD> effect_{DROPEFFECT_COPY};
    std::atomic<DWORD> process_{0};
    std::atomic<ULONG> refs_{1};
    std::atomic<bool> registered_{false}, entered_{false}, dropped_{false}, sawTopmost_{false}, movesFile_{false};
    std::atomic<int> dragOvers_{0};
    mutable std::mutex lock_;
    std::vector<std::string> files_;
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
    std::thread thread_;
};

const RECT dropPlace{760, 200, 1000, 440};

// Ctrl + left press at `from`, moves to `to` through OLE's drag loop, then
// `finish` (the release by default) while the button is still down.
void ctrlDrag(POINT from, POINT to, const std::function<void()>& finish = {}) {
    std::vector<POINT> path{from};
    for (int i = 1; i <= 12; ++i)
        path.push_back({from.x + (to.x - from.x) * i / 12, from.y + (to.y - from.y) * i / 12});
    handDrag(path, 100, {VK_CONTROL}, finish);
}

// Without letter case, either separator.
bool samePath(std::string a, std::string b) {
    for (std::string* path : {&a, &b})
        for (char& c : *path)
            c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return a == b;
}

bool allShotsTopmost(DWORD process) {
    for (HWND shot : visibleWindows(process, screenshotClass))
        if (!(GetWindowLongPtrA(shot, GWL_EXSTYLE) & WS_EX_TOPMOST))
            return false;
    return true;
}

struct DropCase {
    const char* name;
    DWORD effect;
    bool closes;
    bool targetMovesFile;
};

class ScreenshotDragOut : public ScreenshotWindowUse, public ::testing::WithParamInterface<DropCase> {};

TEST_P(ScreenshotDragOut, HandsOutTheCacheFileAndClosesOnlyWhenTheFileWasMoved) {
    const Picture before = grabScreen();
    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    const HWND other = pin({420, 160, 560, 260});
    ASSERT_NE(other, nullptr);
    // One window for the whole run: OLE is started once on its thread.
    static DropTarget target(dropPlace);
    ASSERT_TRUE(target.registered());
    target.reset(orvane.id(), GetParam().effect, GetParam().targetMovesFile);
    // A window not yet on the screen is no target a drag can find.
    ASSERT_TRUE(waitUntil([&] { return WindowFromPoint(centreOf(dropPlace)) == target.window(); }, 3000));

    ctrlDrag(centreOf(windowRect(shot)), centreOf(dropPlace));
    ASSERT_TRUE(waitUntil([&] { return target.dropped(); }, 5000))
        << "no drop arrived (entered: " << target.entered() << ", window open: " << (IsWindow(shot) != 0) << " at "
        << windowRect(shot).left << "," << windowRect(shot).top << ", fg " << className(GetForegroundWindow()) << ")";
    EXPECT_GT(target.dragOvers(), 0);
    EXPECT_FALSE(target.sawTopmostShot()) << "a screenshot window stayed topmost during the drag";

    const std::vector<std::string> files = target.files();
    ASSERT_EQ(files.size(), 1u);
    const std::vector<std::string> cache = cacheImageFiles();
    const std::string kept = files.front() + (GetParam().targetMovesFile ? "-moved.png" : "");
    EXPECT_TRUE(fileExists(kept)) << kept;
    EXPECT_TRUE(std::any_of(cache.begin(), cache.end(),
                            [&](const std::string& name) { return samePath(kept, cacheFolder() + name); }))
        << files.front() << " is not a cache file";
    EXPECT_TRUE(decodeImageFile(kept).sameColours(before.crop(area))) << "the dropped file is not the screenshot";

    if (GetParam().closes)
        EXPECT_TRUE(waitUntil([&] { return !IsWindow(shot); }, 3000)) << "the window stayed";
    else {
        orvane.settle(); // back from the drag in its message loop: a close would be done
        EXPECT_TRUE(IsWindow(shot)) << "a drop that left the file in place closed the window";
    }
    EXPECT_TRUE(fileExists(kept)) << "the dropped file was deleted";
    EXPECT_TRUE(waitUntil([&] { return allShotsTopmost(orvane.id()); }, 3000))
        << "the screenshot windows are not topmost again";
    EXPECT_TRUE(IsWindow(other));
}

INSTANTIATE_TEST_SUITE_P(Effects, ScreenshotDragOut,
                         ::testing::Values(DropCase{"Copy", DROPEFFECT_COPY, false, false},
                                           DropCase{"Move", DROPEFFECT_MOVE, true, false},
                                           // Catches a drop that took nothing closing the window of the only copy.
                                           DropCase{"None", DROPEFFECT_NONE, false, false},
                                           DropCase{"MovedByTheTarget", DROPEFFECT_NONE, true, true}),
                         [](const ::testing::TestParamInfo<DropCase>& each) { return std::string(each.param.name); });

// Catches a drag released over a window that takes no files closing the screenshot, its only copy.
TEST_F(ScreenshotWindowUse, ADragOutReleasedOverAPlainWindowKeepsTheScreenshot) {
    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    const POINT plain{560, 420}; // the pattern window, beside the screenshot
    ctrlDrag(centreOf(windowRect(shot)), plain);
    orvane.settle();
    EXPECT_TRUE(IsWindow(shot)) << "the screenshot closed";
    EXPECT_TRUE(waitUntil([&] { return allShotsTopmost(orvane.id()); }, 3000));
}

TEST_F(ScreenshotWindowUse, EscapeDuringADragOutCancelsItAndTheReleaseIsIgnored) {
    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    DropTarget target(dropPlace);
    ASSERT_TRUE(target.registered());
    target.reset(orvane.id(), DROPEFFECT_MOVE);
    ASSERT_TRUE(waitUntil([&] { return WindowFromPoint(centreOf(dropPlace)) == target.window(); }, 3000));
    const POINT start = centreOf(windowRect(shot));
    ctrlDrag(start, centreOf(dropPlace), [&] {
        pressKey(VK_ESCAPE);
        inputTaken(shot);
    });
    // The button is still down: bring it back over the window and release it there.
    moveMouse(start);
    inputTaken(start);
    buttonUp();
    inputTaken(start);
    orvane.settle();
    EXPECT_FALSE(target.dropped()) << "Escape did not cancel the drag";
    EXPECT_TRUE(IsWindow(shot)) << "a cancelled drag closed the window";
    EXPECT_TRUE(waitUntil([&] { return allShotsTopmost(orvane.id()); }, 3000));
    // Still a working window: a plain click closes it.
    click(start);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(shot); }, 3000));
}

// --- The wheel, the keys and Alt+F4 ----------------------------------------------

// `zoomed` shows `picture` with each pixel a `factor` x `factor` block (its 1-px frame aside).
bool showsBlocks(const Picture& zoomed, const Picture& picture, int factor) {
    for (int y = 1; y + 1 < zoomed.height; ++y)
        for (int x = 1; x + 1 < zoomed.width; ++x)
            if ((zoomed.pixel(x, y) & 0xFFFFFF) != (picture.pixel(x / factor, y / factor) & 0xFFFFFF))
                return false;
    return zoomed.width == picture.width * factor && zoomed.height == picture.height * factor;
}

// The window at `rect` within 3 s.
bool reaches(HWND window, const RECT& rect) {
    return waitUntil([&] { return sameRect(windowRect(window), rect); }, 3000);
}

bool layered(HWND window) { return (GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_LAYERED) != 0; }

// Catches a zoom that jumps away from the pointer or blurs a whole multiple,
// a Copy of the zoomed size, keys that do nothing, a layered style left at
// 100 %, and Alt+F4 leaving the cache file behind (it did: the window went
// through the default handling, its record stayed).
TEST_F(ScreenshotWindowUse, TheWheelZoomsAndFadesItTheKeysActAndAltF4ClosesItWithItsCacheFile) {
    const Picture before = grabScreen();
    const HWND shot = pin(area); // 160 x 120 at (200, 160), active
    ASSERT_NE(shot, nullptr);
    pointAt({250, 200}, shot); // 50, 40 into the picture
    turnWheel(5);              // 110, 125, 150, 175, 200 %
    // The picture point under the pointer stays: at 200 % it is 100, 80 into the window.
    ASSERT_TRUE(reaches(shot, {150, 120, 470, 360})) << windowRect(shot).left << "," << windowRect(shot).top << " "
                                                     << windowRect(shot).right << "," << windowRect(shot).bottom;
    EXPECT_TRUE(waitUntil(
        [&] {
            return showsBlocks(grabScreen({150, 120, 470, 360}), before.crop(area), 2);
        },
        screenSettles))
        << "at 200 % each captured pixel is not a crisp 2 x 2 block";

    pressChord(VK_CONTROL, 'C');
    EXPECT_TRUE(waitUntil([&] { return clipboardPicture().sameColours(before.crop(area)); }, 3000))
        << "Ctrl+C did not copy the captured pixels at the captured size";

    pressKey(VK_RIGHT);
    pressKey(VK_RIGHT);
    pressChord(VK_SHIFT, VK_DOWN);
    EXPECT_TRUE(reaches(shot, {152, 130, 472, 370})) << "the arrows did not move it by 1 and, with Shift, 10 px";

    turnWheel(-5); // back to 100 % about the same point: 250 - 98 / 2, 200 - 70 / 2
    EXPECT_TRUE(reaches(shot, {201, 165, 361, 285})) << windowRect(shot).left << "," << windowRect(shot).top;

    keyDown(VK_CONTROL);
    turnWheel(-2);
    keyUp(VK_CONTROL);
    EXPECT_TRUE(waitUntil([&] { return layered(shot); }, 3000)) << "Ctrl+wheel did not fade it";
    click({250, 200}, Button::middle);
    EXPECT_TRUE(waitUntil([&] { return !layered(shot); }, 3000)) << "the middle button did not make it opaque again";
    EXPECT_TRUE(sameRect(windowRect(shot), {201, 165, 361, 285}));

    pressChord(VK_MENU, VK_F4);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(shot); }, 3000)) << "Alt+F4 did not close it";
    EXPECT_TRUE(waitUntil([] { return cacheImageFiles().empty(); }, 3000)) << "Alt+F4 left its cache file";

    const HWND second = pin(area);
    ASSERT_NE(second, nullptr);
    // A pin is active once it shows; a key before that would go to the closing overlays.
    ASSERT_TRUE(waitUntil([&] { return GetForegroundWindow() == second; }, 3000)) << "the new pin is not active";
    pressKey(VK_ESCAPE);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(second); }, 3000)) << "Escape did not close the active pin";
    EXPECT_TRUE(waitUntil([] { return cacheImageFiles().empty(); }, 3000));
}

// --- Save As, through the system's own save dialog -------------------------------

// The visible "Save Image" dialog of `process`, waiting for it.
HWND waitForSaveDialog(DWORD process) {
    HWND dialog = nullptr;
    waitUntil(
        [&] {
            for (HWND window : topLevelWindows(process))
                if (IsWindowVisible(window) && className(window) == "#32770" && windowTitle(window) == "Save Image")
                    dialog = window;
            return dialog != nullptr;
        },
        5000);
    return dialog;
}

constexpr const char* saveTypes[] = {"JPG Files", "PNG Files", "BMP Files", "Any File"};

// The dialog's file type list: the combo box that offers "JPG Files" first.
HWND fileTypeList(HWND dialog) {
    for (HWND child : descendants(dialog)) {
        if (className(child) != "ComboBox")
            continue;
        const std::string shown = controlText(child);
        for (const char* type : saveTypes)
            if (shown == type)
                return child;
    }
    return nullptr;
}

// The file name field: the edit control showing `name`.
HWND fileNameField(HWND dialog, const std::string& name) {
    for (HWND child : descendants(dialog))
        if (className(child) == "Edit" && controlText(child) == name)
            return child;
    return nullptr;
}

// The driver runs in the legacy code page; names beyond ASCII go through the wide calls.
std::wstring wide(const std::string& utf8) {
    std::wstring text(utf8.size() + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, text.data(), static_cast<int>(text.size())) - 1));
    return text;
}

// Fills in `path` (UTF-8), picks file type `type` (0-based) and accepts.
void acceptSaveDialog(HWND dialog, HWND nameField, const std::string& path, int type) {
    SendMessageW(nameField, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(path).c_str()));
    const HWND types = fileTypeList(dialog);
    SendMessageA(types, CB_SETCURSEL, static_cast<WPARAM>(type), 0);
    // What a pick from the list tells its dialog.
    for (WORD notification : {WORD(CBN_SELENDOK), WORD(CBN_SELCHANGE)})
        SendMessageA(GetParent(types), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(types), notification),
                     reinterpret_cast<LPARAM>(types));
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

// The visible "Save As" message of `process` and its text, waiting for it; null when none came.
HWND waitForSaveAsMessage(DWORD process, std::string& text) {
    HWND message = nullptr;
    waitUntil(
        [&] {
            for (HWND window : topLevelWindows(process))
                if (IsWindowVisible(window) && className(window) == "#32770" && windowTitle(window) == "Save As")
                    message = window;
            return message != nullptr;
        },
        3000);
    for (HWND child : message ? childWindows(message) : std::vector<HWND>{})
        if (className(child) == "Static" && !controlText(child).empty())
            text = controlText(child);
    return message;
}

TEST_F(ScreenshotWindowUse, SaveAsWritesTheChosenNameInTheFormatOfItsExtensionAndKeepsTheWindow) {
    const std::string folder = scratchFolder("save-as");
    const Picture before = grabScreen();
    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);

    struct Step {
        std::string name;
        int type;
        const char* told; // the file a "Save As" message must name, or null
        int reply = IDOK;
    };
    // "Any File" without an extension is told at once and writes nothing; a
    // folder named like the file makes the write itself fail.
    CreateDirectoryA((folder + "taken.png").c_str(), nullptr);
    CreateDirectoryA((folder + "long").c_str(), nullptr);
    writeFile(folder + "report.png", "theirs");
    std::string longName = "long\\";
    for (int i = 0; i < 120; ++i)
        longName += "\xC3\xA9"; // e acute: 240 bytes of UTF-8, 120 UTF-16 units
    const Step steps[] = {{"no extension", 3, "no extension"},
                          {"taken", 1, "taken.png"},
                          // Catches the extension added after the dialog's question: report.png replaced unasked.
                          {"report", 1, "report.png", IDNO},
                          // Catches a path past 260 bytes of UTF-8 that saved nothing and said nothing.
                          {longName, 1, nullptr},
                          {"picture.bmp", 0, nullptr},
                          {"New Screen Capture", 1, nullptr}};
    for (const Step& step : steps) {
        chooseShotItem(shot, saveAsItem);
        const HWND dialog = waitForSaveDialog(orvane.id());
        ASSERT_NE(dialog, nullptr) << "no Save Image dialog";
        HWND nameField = nullptr;
        ASSERT_TRUE(
            waitUntil([&] { return (nameField = fileNameField(dialog, "New Screen Capture")) != nullptr; }, 3000))
            << "the dialog does not offer the name New Screen Capture";
        const HWND types = fileTypeList(dialog);
        ASSERT_NE(types, nullptr);
        EXPECT_EQ(controlText(types), "PNG Files") << "the default format is PNG";
        acceptSaveDialog(dialog, nameField, folder + step.name, step.type);
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(dialog); }, 3000)) << "the dialog did not accept " << step.name;
        if (!step.told)
            continue;
        // Catches a Save As that writes nothing and says nothing.
        std::string text;
        const HWND message = waitForSaveAsMessage(orvane.id(), text);
        ASSERT_NE(message, nullptr) << "nothing told the user that " << step.told << " was not written";
        EXPECT_NE(text.find(folder + step.told), std::string::npos) << "the message does not name the file: " << text;
        EXPECT_TRUE(acknowledge(message, step.reply));
    }

    // Written under another name and renamed when whole; the saves before it are done too (one queue).
    ASSERT_TRUE(waitUntil([&] { return fileExists(folder + "New Screen Capture.png"); }, 5000));
    EXPECT_EQ(fileNamesIn(folder),
              (std::vector<std::string>{"New Screen Capture.png", "long", "picture.bmp", "report.png", "taken.png"}));
    EXPECT_EQ(readFile(folder + "report.png"), "theirs");
    EXPECT_NE(GetFileAttributesW(wide(folder + longName + ".png").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(fileNamesIn(folder + "taken.png").empty()) << "the folder in the way was written into";
    EXPECT_EQ(readFile(folder + "New Screen Capture.png").substr(0, 4), "\x89PNG");
    EXPECT_TRUE(decodeImageFile(folder + "New Screen Capture.png").sameColours(before.crop(area)));
    EXPECT_EQ(readFile(folder + "picture.bmp").substr(0, 2), "BM") << "the extension decides the format";
    EXPECT_TRUE(decodeImageFile(folder + "picture.bmp").sameColours(before.crop(area)));
    EXPECT_TRUE(IsWindow(shot)) << "Save As never closes the window";
}

// Moves at a hand's pace, as in ADragThatEndsWhereItBeganClosesIt.
TEST_F(ScreenshotWindowUse, ARightClickWhileDraggingOpensNoMenu) {
    const HWND shot = pin(area);
    ASSERT_NE(shot, nullptr);
    handDrag({{250, 200}, {260, 210}, {280, 230}}, 30, {}, [&] {
        buttonDown(Button::right);
        Sleep(40);
        buttonUp(Button::right);
        orvane.settle(); // the right button is handled: a menu would be open now
        EXPECT_FALSE(popupMenuOpen(orvane.id())) << "the menu opened during a drag";
        moveMouse({300, 240});
        Sleep(40);
        buttonUp();
    });
    EXPECT_TRUE(waitUntil(
        [&] {
            return sameRect(windowRect(shot), {250, 200, 410, 320});
        },
        3000))
        << "the drag did not go on after the right click";
    EXPECT_FALSE(popupMenuOpen(orvane.id()));
}

} // namespace
