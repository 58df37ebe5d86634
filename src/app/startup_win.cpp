// Start-up, the message loop and shutdown, each in its fixed order. The save
// worker is started before the settings are read and joined last of all, so
// that every queued save is written before the process ends.
#include <ole2.h>
#include <shellscalingapi.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <vector>

#include "app/app.h"
#include "state/app_state.h"
#include "app/decisions.h"
#include "capture/capture_front.h"
#include "capture/monitors.h"
#include "options/options.h"
#include "output/output.h"
#include "prefs/prefs.h"
#include "selection/selection.h"
#include "shots/cache.h"
#include "shots/shots.h"

namespace {

struct ShellClass {
    const char* name;
    WNDPROC procedure;
    UINT style;
};

constexpr ShellClass shellClasses[] = {
    {overlayWindowClass, overlayWindowProc, 0},
    {selectionWindowClass, selectionWindowProc, 0},
    {screenshotWindowClass, screenshotWindowProc, 0},
    {trayWindowClass, trayWindowProc, CS_HREDRAW | CS_VREDRAW},
    {plainWindowClass, DefWindowProcA, CS_HREDRAW | CS_VREDRAW},
};

bool anotherInstanceRuns(HANDLE& mutex) {
    SetLastError(ERROR_SUCCESS);
    mutex = CreateMutexA(nullptr, FALSE, instanceMutexName);
    // Only a copy of our own counts: a name we may not open (access denied)
    // is not one, and the program runs without the mutex rather than never.
    if (GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    if (mutex)
        CloseHandle(mutex);
    mutex = nullptr;
    return true;
}

void loadCursorsAndIcon() {
    // A missing or damaged file must not leave the user without a pointer
    // over the frozen screen or without an icon to find the program by: the
    // system's own crosshair and application icon stand in.
    app.selectionCursor = LoadCursorFromFileA((app.exeFolder + "cursor.cur").c_str());
    if (!app.selectionCursor)
        app.selectionCursor = LoadCursorA(nullptr, IDC_CROSS);
    app.arrowCursor = LoadCursorA(nullptr, IDC_ARROW);
    app.appIcon = static_cast<HICON>(LoadImageA(app.instance, (app.exeFolder + "icon.ico").c_str(), IMAGE_ICON, 0, 0,
                                                LR_LOADFROMFILE | LR_DEFAULTSIZE | LR_SHARED));
    if (!app.appIcon)
        app.appIcon = LoadIconA(nullptr, IDI_APPLICATION);
}

void startUp(HINSTANCE instance) {
    SetProcessDpiAwareness(PROCESS_PER_MONITOR_DPI_AWARE);
    if (!registerWindowClasses())
        endProcess(ExitCode::classRegistrationFailed);
    startSaveWorker();
    loadPreferences();
    app.instance = instance;

    if (!enumerateMonitors(app.monitors))
        endProcess(ExitCode::normal);
    app.monitorCount = static_cast<std::uint32_t>(app.monitors.size());
    app.screenshots.clear();
    app.screenshots.resize(screenshotSlots);
    app.screenshotCount = 0;
    quickSaveFolder = quickSaveFolderFrom(preferences.quickSaveLocation);

    app.exeFolder = moduleFolder();
    app.cacheFolder = cacheFolderFor(appDataFolder());
    cleanCacheFolder(app.cacheFolder);

    OleInitialize(nullptr);
    app.shotMenu = createShotMenu();
    loadCursorsAndIcon();
    app.selectionEnded = onSelectionEnded;
    app.taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    createTrayWindow();
    addTrayIcon();
    if (!registerOptionsClasses(app.appIcon))
        endProcess(ExitCode::classRegistrationFailed);
    resetInvalidSelectionColor();
    installKeyboardHook();
    // Handled after whatever the first messages are: the icon is up by then.
    PostMessageA(app.trayWindow, prepareCaptureMessage, 0, 0);
}

} // namespace

bool registerWindowClasses() {
    WNDCLASSEXA record{};
    record.cbSize = sizeof(record);
    // No instance: the stored instance handle is set only after registration.
    record.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    record.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
    record.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    for (const ShellClass& entry : shellClasses) {
        record.style = entry.style;
        record.lpfnWndProc = entry.procedure;
        record.lpszClassName = entry.name;
        if (!RegisterClassExA(&record))
            return false;
    }
    return true;
}

std::string moduleFolder() {
    // Grown until the whole path fits: a cut path would name the wrong folder.
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return folderOfPath(path);
        }
        path.resize(path.size() * 2);
    }
}

void resetInvalidSelectionColor() {
    preferences.selectionColor = validSelectionColor(preferences.selectionColor, selectionPalette.size());
}

void installKeyboardHook() {
    // The module handle is passed although the procedure lives in the program
    // itself: some Windows versions refuse a global hook without one.
    app.keyboardHook = SetWindowsHookExA(WH_KEYBOARD_LL, keyboardHookProc, app.instance, 0);
}

void reinstallKeyboardHook() {
    if (app.keyboardHook)
        UnhookWindowsHookEx(app.keyboardHook);
    app.keyboardHook = nullptr;
    installKeyboardHook();
}

void dispatchWatchingTheHook(const MSG& msg) {
    const ULONGLONG began = GetTickCount64();
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    if (hookMayHaveBeenDropped(GetTickCount64() - began))
        reinstallKeyboardHook();
}

void runMessageLoop() {
    MSG msg{};
    // -1 (an error) ends the loop like WM_QUIT instead of spinning.
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!running)
            break;
        dispatchWatchingTheHook(msg);
    }
}

void shutDown() {
    if (app.keyboardHook)
        UnhookWindowsHookEx(app.keyboardHook);
    app.keyboardHook = nullptr;
    releaseOptionsFonts();

    tearDownSelection();
    app.monitors.clear();
    app.monitorCount = 0;

    running = false;
    for (std::uint32_t i = 0; i < app.screenshotCount && i < app.screenshots.size(); ++i)
        releaseScreenshot(app.screenshots[i]);
    // The windows stay until the process ends and may still get messages: the
    // slots stay, empty, so that their lookups find no record.
    app.screenshotCount = 0;
    app.cacheFolder.clear();
    quickSaveFolder.clear();
    prefsPath.clear();

    if (app.shotMenu)
        DestroyMenu(app.shotMenu);
    app.shotMenu = nullptr;
    releaseFrozenDesktop(app.frozenDesktop);
    releaseDuplicationCache();
    OleUninitialize();
    removeTrayIcon();
    stopSaveWorker();
    if (app.instanceMutex)
        CloseHandle(app.instanceMutex);
    app.instanceMutex = nullptr;
}

int runOrvane(HINSTANCE instance) {
    HANDLE mutex = nullptr;
    if (anotherInstanceRuns(mutex))
        return static_cast<int>(ExitCode::normal);
    app.instanceMutex = mutex;
    try {
        startUp(instance);
        runMessageLoop();
        shutDown();
    } catch (const std::exception&) {
        endProcess(ExitCode::normal);
    }
    return static_cast<int>(ExitCode::normal);
}
