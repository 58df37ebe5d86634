// User path templates and the choice of the settings folder. Paths are lists
// of segments between "/" or "\"; results always use "/", end with it and
// start with "//" when they name a network folder.
// Nothing here asks the system: the user name comes in as an argument.
#include "prefs/prefs.h"

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// A network path keeps its two leading separators, as "//": without them
// \\server\share would read back as the relative folder server/share/.
bool isNetworkPath(std::string_view text) { return text.size() >= 2 && isSeparator(text[0]) && isSeparator(text[1]); }

std::string joinSegments(const std::vector<std::string>& segments, bool network) {
    std::string path = network && !segments.empty() ? "//" : "";
    for (const std::string& segment : segments) {
        path += segment;
        path += '/';
    }
    return path;
}

} // namespace

std::vector<std::string> splitPath(std::string_view text) {
    std::vector<std::string> segments;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isSeparator(text[i]))
            ++i;
        const std::size_t start = i;
        while (i < text.size() && !isSeparator(text[i]))
            ++i;
        if (i > start)
            segments.emplace_back(text.substr(start, i - start));
    }
    return segments;
}

bool usableUserName(std::string_view name) {
    // GetUserNameA's buffer holds 128 characters and the terminator.
    if (name.empty() || name.size() > 128 || name == "." || name == "..")
        return false;
    for (const char c : name) {
        if (isSeparator(c) || static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    }
    return true;
}

std::string expandUserPath(std::string_view tmpl, std::string_view userName) {
    std::vector<std::string> segments = splitPath(tmpl);
    // Without a usable name the placeholder stays: a folder that does not
    // exist is safer than one built from an empty or broken name.
    if (usableUserName(userName)) {
        for (std::string& segment : segments) {
            if (segment == userPlaceholder)
                segment = userName;
        }
    }
    return joinSegments(segments, isNetworkPath(tmpl));
}

std::string foldUserPath(std::string_view folder, std::string_view userName) {
    std::vector<std::string> segments = splitPath(folder);
    if (segments.size() >= 3 && segments[1] == "Users" && usableUserName(userName) && segments[2] == userName)
        segments[2] = userPlaceholder;
    return joinSegments(segments, isNetworkPath(folder));
}

std::string folderAbove(std::string_view folder) {
    std::size_t end = folder.size();
    while (end > 0 && isSeparator(folder[end - 1]))
        --end;
    while (end > 0 && !isSeparator(folder[end - 1]))
        --end;
    return std::string(folder.substr(0, end));
}

std::string profileLocalFolder(std::string_view userName) {
    std::string folder = "C:/Users/";
    folder += userName;
    folder += "/AppData/Local";
    return folder;
}

std::string chooseUserFolder(std::string_view knownFolder, std::string_view guessedFolder, bool sameFolder) {
    while (!knownFolder.empty() && isSeparator(knownFolder.back()))
        knownFolder.remove_suffix(1);
    if (knownFolder.empty())
        return {};
    // The guess keeps the spelling the program has always used, but only for
    // the very same folder: another drive, a renamed account or a colliding
    // name ("bob" beside "bob.CORP") may make it someone else's.
    return std::string(sameFolder && !guessedFolder.empty() ? guessedFolder : knownFolder);
}

std::string chooseAppDataFolder(std::string_view localFolder) {
    if (localFolder.empty())
        return {};
    std::string folder(localFolder);
    folder += '/';
    folder += settingsFolderName;
    folder += '/';
    return folder;
}

std::string quickSaveFolderFrom(std::string_view location, std::string_view userName, std::string_view desktop) {
    if (location != defaultQuickSaveLocation)
        return expandUserPath(location, userName);
    if (desktop.empty())
        return {};
    std::string folder(desktop);
    folder += desktop.find('\\') == std::string_view::npos ? '/' : '\\';
    return folder;
}

bool keepsDefaultLocation(std::string_view location, std::string_view typed, std::string_view defaultFolder) {
    return location == defaultQuickSaveLocation && !typed.empty() && typed == defaultFolder;
}
