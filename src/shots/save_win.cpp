// "Save As" and "Quick Save": both queue a job with a copy of the image at its
// captured size; the save worker writes it. Save As asks before replacing a
// file whose extension it added, and tells the user, naming the file, when
// nothing could be written. Quick Save checks its folder, picks a free name
// (a file that takes it meanwhile is never replaced) and makes the folder; a
// window that closes after the save is hidden at once and destroyed only once
// the worker reports the file written; when the folder or the file fails it
// stays or comes back, with a message.
#include "shots/shots.h"

#include <commdlg.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "output/output.h"
#include "prefs/prefs.h"
#include "shots/shot_rules.h"

namespace {

constexpr char saveAsFilter[] = "JPG Files\0*.jpg\0PNG Files\0*.png\0BMP Files\0*.bmp\0Any File\0*.*\0";
constexpr const char* quickSaveCaption = "Quick Save";
constexpr const char* saveAsCaption = "Save As";

std::unique_ptr<std::uint8_t[]> copyImage(const ScreenshotWindow& shot) {
    const std::size_t bytes = std::size_t(shot.imageWidth) * std::size_t(shot.imageHeight) * 4;
    std::unique_ptr<std::uint8_t[]> copy(new (std::nothrow) std::uint8_t[bytes]);
    if (copy)
        std::memcpy(copy.get(), shot.pixels.get(), bytes);
    return copy;
}

bool fileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A file, not a folder: a folder in the way is no file to replace, and the write tells of it.
bool isFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// CommDlgExtendedError's code, with a word on the one a user can act on.
std::string dialogErrorText(DWORD error) {
    char code[16];
    std::snprintf(code, sizeof code, "error 0x%04lX", static_cast<unsigned long>(error));
    return error == FNERR_BUFFERTOOSMALL ? std::string(code) + ": the name is too long" : std::string(code);
}

// Creates every missing level of `folder` (ending in a separator) below its
// drive or share: "\\server" and "\\server\share" are not folders to make.
bool makeFolders(const std::string& folder) {
    for (const std::string& level : folderLevelsToMake(folder)) {
        const DWORD attributes = GetFileAttributesA(level.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
                return false;
            continue;
        }
        if (!CreateDirectoryA(level.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A folder or file name of any length fits the message: the middle of a long one goes.
std::string shownFolder(const std::string& folder) {
    constexpr std::size_t shown = 160;
    if (folder.size() <= shown)
        return folder;
    return folder.substr(0, shown / 2) + "..." + folder.substr(folder.size() - shown / 2);
}

const char* problemText(FolderProblem problem) {
    switch (problem) {
    case FolderProblem::notFull:
        return "it is not a full folder path (a drive such as C:\\ or a \\\\server\\share)";
    case FolderProblem::tooLong:
        return "it is too long to hold a file";
    case FolderProblem::badCharacter:
        return "it holds a character that folder names may not hold (< > : \" | ? * or a control character)";
    case FolderProblem::deviceName:
        return "it names a device (such as CON, NUL, COM1 or LPT1)";
    case FolderProblem::badEnding:
        return "a folder name in it ends in a dot or a space";
    case FolderProblem::none:
    case FolderProblem::empty:
        break;
    }
    return "";
}

void tellSaveAs(const std::string& text) { MessageBoxA(nullptr, text.c_str(), saveAsCaption, MB_OK | MB_ICONWARNING); }

void tellQuickSave(const std::string& text) {
    MessageBoxA(nullptr, text.c_str(), quickSaveCaption, MB_OK | MB_ICONWARNING);
}

void tellQuickSaveFailed(const std::string& folder, FolderProblem problem) {
    if (problem == FolderProblem::empty)
        tellQuickSave("There is no Quick Save folder. Choose one in Options.");
    else if (problem != FolderProblem::none)
        tellQuickSave("The Quick Save folder " + shownFolder(folder) + " cannot be used: " + problemText(problem) +
                      ". The screenshot was not saved. Choose another folder in Options.");
    else
        tellQuickSave("The Quick Save folder " + shownFolder(folder) +
                      " could not be created. The screenshot was not saved.");
}

void tellQuickSaveNotWritten(const std::string& folder) {
    tellQuickSave("The screenshot could not be saved in the Quick Save folder " + shownFolder(folder) +
                  ". It stays open: make room there or choose another folder in Options, then save it again.");
}

} // namespace

void saveScreenshotAs(const ScreenshotWindow& shot) {
    // Copied before the dialog opens: the window may be closed while it is up.
    const std::int32_t width = shot.imageWidth, height = shot.imageHeight;
    std::unique_ptr<std::uint8_t[]> image = copyImage(shot);
    if (!image)
        return;
    // Room for the longest path there is, each UTF-16 unit as up to three bytes of UTF-8.
    std::string name = "New Screen Capture";
    name.resize(3 * 32768);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.lpstrFilter = saveAsFilter;
    dialog.nFilterIndex = preferences.defaultFormat >= 0 && preferences.defaultFormat <= 2
                              ? static_cast<DWORD>(preferences.defaultFormat + 1)
                              : 2;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrTitle = "Save Image";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_DONTADDTORECENT;
    if (!GetSaveFileNameA(&dialog)) {
        // Zero when the user cancelled.
        if (const DWORD error = CommDlgExtendedError())
            tellSaveAs("The screenshot was not saved: the Save Image dialog failed (" + dialogErrorText(error) +
                       "). It stays open: save it again, with a shorter name if it was a long one.");
        return;
    }
    name.resize(std::strlen(name.c_str()));
    const auto format = static_cast<ImageFormat>(dialog.nFilterIndex) - 1;
    const std::string target = savedImageName(name, format);
    if (target.empty()) {
        tellSaveAs(std::string("The screenshot was not saved: ") + shownFolder(name) +
                   " has no .jpg, .png or .bmp extension, and \"Any File\" adds none. It stays open: save it "
                   "again with one of these extensions or another file type.");
        return;
    }
    // The dialog asked about the name as typed; the extension added here is
    // asked about now.
    if (target != name && isFile(target) &&
        MessageBoxA(nullptr,
                    (shownFolder(target) + " already exists.\n\nReplace it? With No, nothing is saved and the "
                                           "screenshot stays open.")
                        .c_str(),
                    saveAsCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
        return;
    // The window stays either way; a failed write is told once the worker
    // has tried it, naming the file it was written as.
    const WPARAM serial = ++app.lastSaveAs;
    app.pendingSaveAs[serial] = PendingSaveAs{shot.hwnd, target};
    const HWND reportTo = app.trayWindow;
    enqueueSave(
        target.c_str(), image.get(), static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), format,
        [reportTo, serial](bool written) { PostMessageA(reportTo, saveAsWrittenMessage, serial, written ? 1 : 0); });
}

void onSaveAsWritten(WPARAM serial, bool written) {
    const auto found = app.pendingSaveAs.find(serial);
    if (found == app.pendingSaveAs.end())
        return;
    const PendingSaveAs done = found->second;
    app.pendingSaveAs.erase(found);
    if (written)
        return;
    // The user may have closed the window while it was being written.
    const bool open = app.screenshotIndex.find(done.window) != app.screenshotIndex.end();
    tellSaveAs("The screenshot could not be saved as " + shownFolder(done.target) + "." +
               (open ? " It stays open: make room there or choose another folder, then save it again." : ""));
}

void quickSaveScreenshot(const ScreenshotWindow& shot) {
    // Judged before anything is made: a relative folder would land wherever the
    // current folder happens to be, a device name would be opened as the device,
    // and a name past the path limit would fail in the worker, unseen.
    const FolderProblem problem = quickSaveFolderProblem(quickSaveFolder);
    if (problem != FolderProblem::none) {
        tellQuickSaveFailed(quickSaveFolder, problem);
        return;
    }
    if (!makeFolders(quickSaveFolder)) {
        tellQuickSaveFailed(quickSaveFolder, FolderProblem::none);
        return;
    }
    const std::string name =
        quickSaveName(quickSaveFolder, static_cast<std::int64_t>(std::time(nullptr)), preferences.defaultFormat,
                      [](const std::string& candidate) { return fileExists(candidate) || savePending(candidate); });
    if (name.size() + temporaryNameRoom > pathLimit) {
        tellQuickSaveFailed(quickSaveFolder, FolderProblem::tooLong);
        return;
    }
    // The record stays until the file is known to be there: a full drive or a
    // read-only folder only shows when the worker writes. The window leaves the
    // screen now; the user is done with it.
    const WPARAM serial = ++app.lastQuickSave;
    const bool closeWhenWritten = preferences.closeScreenshotOnSave;
    app.pendingQuickSaves[serial] = PendingQuickSave{shot.hwnd, quickSaveFolder, closeWhenWritten};
    if (closeWhenWritten)
        ShowWindow(shot.hwnd, SW_HIDE);
    const HWND reportTo = app.trayWindow;
    // The job takes its own copy of the pixels, straight from the record.
    enqueueSaveAsNewFile(
        name.c_str(), shot.pixels.get(), static_cast<std::uint32_t>(shot.imageWidth),
        static_cast<std::uint32_t>(shot.imageHeight), preferences.defaultFormat,
        [reportTo, serial](bool written) { PostMessageA(reportTo, quickSaveWrittenMessage, serial, written ? 1 : 0); });
}

void onQuickSaveWritten(WPARAM serial, bool written) {
    const auto found = app.pendingQuickSaves.find(serial);
    if (found == app.pendingQuickSaves.end())
        return;
    const PendingQuickSave done = found->second;
    app.pendingQuickSaves.erase(found);
    // The user may have closed it, or other windows may have moved its slot.
    const auto open = app.screenshotIndex.find(done.window);
    const bool stillOpen = open != app.screenshotIndex.end() && app.screenshots[open->second];
    if (!written) {
        // Back where it was (a hidden window keeps its place), before the message names the folder.
        if (stillOpen && done.closeWhenWritten)
            ShowWindow(done.window, SW_SHOW);
        tellQuickSaveNotWritten(done.folder);
        return;
    }
    if (done.closeWhenWritten && stillOpen)
        closeScreenshot(open->second);
}
