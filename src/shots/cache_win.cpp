// The cache's Win32 half; see shots/cache.h. GUI thread only.
#include <windows.h>

#include <cstdio>
#include <ctime>
#include <iterator>
#include <vector>

#include "output/file_handles.h"
#include "output/output.h"
#include "prefs/prefs.h"
#include "shots/cache.h"
#include "state/app_state.h"

namespace {

// Longer than the worker's pause plus the write of a 4K image.
constexpr ULONGLONG cacheWriteWaitMs = 10000;
// How often the wait looks at the queue when no message wakes it.
constexpr DWORD cacheWritePollMs = 20;

// Milliseconds of the process clock, modulo 1000.
std::uint32_t clockRemainder() {
    const std::clock_t ticks = std::clock();
    const auto milliseconds = static_cast<unsigned long long>(ticks < 0 ? 0 : ticks) * 1000 / CLOCKS_PER_SEC;
    return static_cast<std::uint32_t>(milliseconds % 1000);
}

// A name is taken when an open screenshot owns it or a file has it (a file
// handed out by drag and drop stays in the folder after its window closed).
bool cacheNameTaken(const std::string& name) {
    for (std::uint32_t i = 0; i < app.screenshotCount && i < app.screenshots.size(); ++i)
        if (app.screenshots[i] && app.screenshots[i]->cachePath == name)
            return true;
    return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The path the system resolves the open `file` to, links followed where the
// system follows them; empty when it cannot tell.
std::string finalPathOf(HANDLE file) {
    std::string finalPath(MAX_PATH, '\0');
    DWORD length = GetFinalPathNameByHandleA(file, finalPath.data(), static_cast<DWORD>(finalPath.size()), 0);
    if (length >= finalPath.size()) {
        finalPath.resize(length + 1);
        length = GetFinalPathNameByHandleA(file, finalPath.data(), static_cast<DWORD>(finalPath.size()), 0);
    }
    if (length == 0 || length >= finalPath.size())
        return {};
    finalPath.resize(length);
    return finalPath;
}

bool isReparsePoint(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Deletes the entry `name` of the folder whose final path is `folderFinal`
// when it is a plain file of that folder. Checked and deleted through one
// handle, so that nothing swapped in between the two is what goes.
void deleteCheckedEntry(const std::string& folder, const std::string& folderFinal, const char* name) {
    const FileHandle file(CreateFileA((folder + name).c_str(), DELETE | FILE_READ_ATTRIBUTES, shareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file)
        return; // a file that stays is left alone
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_DISPOSITION_INFO dispose{TRUE};
    if (GetFileInformationByHandle(file.get(), &info) &&
        !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
        isEntryOfFolder(folderFinal, name, finalPathOf(file.get())))
        SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof(dispose));
}

} // namespace

void cleanCacheFolder(const std::string& folder) {
    if (folder.empty())
        return;
    // A folder (or the settings folder above it) made a link by someone else
    // would have us delete their files: no clean-up then.
    if (isReparsePoint(folder) || isReparsePoint(folderAbove(folder)))
        return;
    // Only files that are themselves entries of the folder: a link (a reparse
    // point, or a Unix link that Wine shows as its target and deletes the
    // target through) may point anywhere.
    std::string folderFinal;
    {
        const FileHandle opened(CreateFileA(folder.c_str(), 0, shareAll, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!opened)
            return;
        folderFinal = finalPathOf(opened.get());
    }
    if (folderFinal.empty())
        return;
    std::vector<const char*> patterns(std::begin(cacheCleanupPatterns), std::end(cacheCleanupPatterns));
    patterns.push_back(cachePartPattern);
    for (const char* pattern : patterns) {
        WIN32_FIND_DATAA found{};
        const FindHandle search(FindFirstFileA((folder + pattern).c_str(), &found));
        if (!search)
            continue;
        do {
            if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
                continue;
            if (isCacheImageName(found.cFileName) || isCachePartName(found.cFileName))
                deleteCheckedEntry(folder, folderFinal, found.cFileName);
        } while (FindNextFileA(search.get(), &found));
    }
}

std::string newCachePath() {
    if (app.cacheFolder.empty())
        return {};
    return uniqueCacheFileName(app.cacheFolder, static_cast<std::int64_t>(std::time(nullptr)), clockRemainder(),
                               preferences.defaultFormat, cacheNameTaken);
}

void queueCacheFile(const std::string& path, const std::uint8_t* pixels, std::int32_t width, std::int32_t height) {
    // The settings folder above it too: it may have been removed since start-up.
    CreateDirectoryA(folderAbove(app.cacheFolder).c_str(), nullptr);
    CreateDirectoryA(app.cacheFolder.c_str(), nullptr);
    SetFileAttributesA(app.cacheFolder.c_str(), FILE_ATTRIBUTE_HIDDEN);
    enqueueSave(path.c_str(), pixels, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                preferences.defaultFormat);
}

void deleteCacheFile(const std::string& path) {
    abandonSave(path);
    std::remove(path.c_str());
}

bool waitForCacheFile(const std::string& path) {
    if (!savePending(path))
        return true;
    promoteSave(path);
    app.dragWaiting = true;
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    const ULONGLONG deadline = GetTickCount64() + cacheWriteWaitMs;
    bool quit = false;
    while (!quit && savePending(path) && app.dropPressPending && running && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjectsEx(0, nullptr, cacheWritePollMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG msg{};
        while (!quit && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam)); // for the main loop, which ends the program
                quit = true;
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    app.dragWaiting = false;
    return !quit && !savePending(path) && app.dropPressPending && running;
}
