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

std::string chooseAppDataFolder(std::string_view userName, bool profileLocalExists, std::string_view shellLocalFolder) {
    if (!usableUserName(userName))
        return {};
    std::string parent;
    if (profileLocalExists) {
        parent = profileLocalFolder(userName);
    } else {
        // A renamed account or a profile on another drive: the system knows
        // where the local application data really is.
        if (shellLocalFolder.empty())
            return {};
        parent = shellLocalFolder;
        while (!parent.empty() && isSeparator(parent.back()))
            parent.pop_back();
        if (parent.empty())
            return {};
    }
    parent += '/';
    parent += settingsFolderName;
    parent += '/';
    return parent;
}
