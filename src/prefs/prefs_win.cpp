// The Win32 half of the settings: the user name, the settings folder, and
// reading and replacing prefs.txt. GUI thread only. A save goes through a
// temporary file in the same folder so that prefs.txt is never left cut short.
#include <windows.h>
#include <shlobj.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <io.h>

#include "output/file_handles.h"
#include "output/stdio_stream.h"
#include "prefs/prefs.h"

namespace {

constexpr DWORD userNameBufferSize = 129;

// The whole text into a new temporary file beside `target` in text mode
// ("\n" becomes CR LF), on disk before it returns true; its name in `name`.
bool writeTemporaryDurably(const std::string& target, const std::string& text, std::string& name) {
    StdioStream out(createTemporaryFile(target, true, name));
    if (!out)
        return false;
    if (std::fwrite(text.data(), 1, text.size(), out.get()) != text.size() || std::fflush(out.get()) != 0)
        return false;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out.get())));
    if (handle == INVALID_HANDLE_VALUE || !FlushFileBuffers(handle))
        return false;
    return out.close();
}

// The system's folder `id` in UTF-8 (the program's code page); empty when it names none.
std::string knownFolderPath(const KNOWNFOLDERID& id) {
    PWSTR wide = nullptr;
    std::string path;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &wide)) && wide) {
        const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
        if (length > 1) {
            path.resize(static_cast<std::size_t>(length));
            WideCharToMultiByte(CP_UTF8, 0, wide, -1, path.data(), length, nullptr, nullptr);
            path.pop_back(); // the terminator
        }
    }
    CoTaskMemFree(wide);
    return path;
}

// The system's folder `id`, spelt as `guess` when that is the very same folder.
std::string userFolder(const KNOWNFOLDERID& id, const std::string& guess) {
    const std::string known = knownFolderPath(id);
    return chooseUserFolder(known, guess, !known.empty() && !guess.empty() && sameFolder(known, guess));
}

} // namespace

bool currentUserName(std::string& name) {
    char buffer[userNameBufferSize] = {};
    DWORD size = userNameBufferSize;
    if (!GetUserNameA(buffer, &size))
        return false; // ERROR_INSUFFICIENT_BUFFER included: the name does not fit
    // `size` counts the terminator; trust neither it nor the buffer blindly.
    if (size == 0 || size > userNameBufferSize || buffer[size - 1] != '\0')
        return false;
    const std::string_view reported(buffer, size - 1);
    if (!usableUserName(reported))
        return false;
    name.assign(reported);
    return true;
}

bool sameFolder(const std::string& first, const std::string& second) {
    BY_HANDLE_FILE_INFORMATION identity[2] = {};
    const std::string* paths[2] = {&first, &second};
    for (int i = 0; i < 2; ++i) {
        // No access asked: only the identity is read. Backup semantics open a folder.
        bool known = false;
        {
            const FileHandle folder(CreateFileA(paths[i]->c_str(), 0,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            if (!folder)
                return false;
            known = GetFileInformationByHandle(folder.get(), &identity[i]) != FALSE;
        }
        if (!known || !(identity[i].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return false;
    }
    return identity[0].dwVolumeSerialNumber == identity[1].dwVolumeSerialNumber &&
           identity[0].nFileIndexHigh == identity[1].nFileIndexHigh &&
           identity[0].nFileIndexLow == identity[1].nFileIndexLow;
}

std::string localAppDataFolder() {
    std::string name;
    return userFolder(FOLDERID_LocalAppData, currentUserName(name) ? profileLocalFolder(name) : std::string());
}

std::string desktopFolder() {
    std::string name;
    std::string guess = currentUserName(name) ? expandUserPath(defaultQuickSaveLocation, name) : std::string();
    if (!guess.empty())
        guess.pop_back(); // its "/"
    return userFolder(FOLDERID_Desktop, guess);
}

std::string appDataFolder() { return chooseAppDataFolder(localAppDataFolder()); }

std::string quickSaveFolderFrom(std::string_view location) {
    std::string name;
    if (!currentUserName(name))
        name.clear();
    return quickSaveFolderFrom(location, name, location == defaultQuickSaveLocation ? desktopFolder() : std::string());
}

unsigned legacyAnsiCodePage() {
    DWORD codePage = 0;
    const int got = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                                    reinterpret_cast<LPWSTR>(&codePage), sizeof(codePage) / sizeof(WCHAR));
    // Locales of Unicode-only scripts have none (0); UTF-8 is no answer
    // either, since the line has already failed as UTF-8.
    if (got == 0 || codePage == CP_ACP || codePage == CP_UTF8)
        return 1252;
    return codePage;
}

std::string legacyToUtf8(std::string_view text, unsigned codePage) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX / 4))
        return {};
    const int length = static_cast<int>(text.size());
    const int wideLength = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (wideLength <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), wideLength);
    const int utf8Length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (utf8Length <= 0)
        return {};
    std::string utf8(static_cast<std::size_t>(utf8Length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8.data(), utf8Length, nullptr, nullptr);
    return utf8;
}

void loadPreferences() { loadPreferencesFrom(appDataFolder()); }

void loadPreferencesFrom(const std::string& folder) {
    if (folder.empty()) {
        prefsPath.clear();
        preferences = Preferences{};
        return;
    }
    // Only this last level is made; an existing folder is fine.
    CreateDirectoryA(folder.c_str(), nullptr);
    prefsPath = folder + std::string(prefsFileName);
    std::ifstream in(prefsPath); // text mode: CR LF arrives as "\n"
    const unsigned codePage = legacyAnsiCodePage();
    readPreferences(in, [codePage](std::string_view line) { return legacyToUtf8(line, codePage); });
}

void savePreferences() {
    if (prefsPath.empty())
        return;
    // The folder may have been removed while the program ran: make it again,
    // this last level only, as at start-up.
    CreateDirectoryA(folderAbove(prefsPath).c_str(), nullptr);
    std::string temporary;
    const bool written = writeTemporaryDurably(prefsPath, formatPreferences(preferences), temporary);
    if (!temporary.empty())
        commitTemporaryFile(temporary, prefsPath, written);
}

std::string expandUserPath(std::string_view tmpl) {
    std::string name;
    if (!currentUserName(name))
        name.clear();
    return expandUserPath(tmpl, name);
}

std::string foldUserPath(std::string_view folder) {
    std::string name;
    if (!currentUserName(name))
        name.clear();
    return foldUserPath(folder, name);
}
