// The cache's portable rules; see shots/cache.h.
#include "shots/cache.h"

std::string cacheFolderFor(std::string_view settingsFolder) {
    if (settingsFolder.empty())
        return {};
    std::string folder(settingsFolder);
    for (char& c : folder)
        if (c == '/')
            c = '\\';
    if (folder.back() != '\\')
        folder += '\\';
    return folder + "VELTO_CACHE\\";
}

bool isCacheImageName(std::string_view fileName) {
    return endsWithIgnoringCase(fileName, ".jpg") || endsWithIgnoringCase(fileName, ".png") ||
           endsWithIgnoringCase(fileName, ".bmp");
}

bool isCachePartName(std::string_view fileName) {
    constexpr std::string_view suffix = ".part";
    if (!endsWithIgnoringCase(fileName, suffix))
        return false;
    fileName.remove_suffix(suffix.size());
    // "a.png.part", or "a.png.7.part" when the first name was taken.
    std::size_t digits = 0;
    while (digits < fileName.size() && fileName[fileName.size() - 1 - digits] >= '0' &&
           fileName[fileName.size() - 1 - digits] <= '9')
        ++digits;
    if (digits != 0 && digits < fileName.size() && fileName[fileName.size() - 1 - digits] == '.')
        fileName.remove_suffix(digits + 1);
    return isCacheImageName(fileName);
}

bool isEntryOfFolder(std::string_view folderFinalPath, std::string_view name, std::string_view entryFinalPath) {
    while (!folderFinalPath.empty() && (folderFinalPath.back() == '\\' || folderFinalPath.back() == '/'))
        folderFinalPath.remove_suffix(1);
    if (folderFinalPath.empty() || name.empty() || entryFinalPath.size() != folderFinalPath.size() + 1 + name.size())
        return false;
    const char separator = entryFinalPath[folderFinalPath.size()];
    return (separator == '\\' || separator == '/') &&
           endsWithIgnoringCase(entryFinalPath.substr(0, folderFinalPath.size()), asciiLowered(folderFinalPath)) &&
           endsWithIgnoringCase(entryFinalPath, asciiLowered(name));
}

std::string cacheFileName(std::string_view folder, std::int64_t seconds, std::uint32_t clockRemainder,
                          ImageFormat format, std::uint32_t counter) {
    std::string name(folder);
    name += "ScreenCapture";
    name += std::to_string(seconds);
    name += std::to_string(clockRemainder);
    if (counter > 1) {
        name += '_';
        name += std::to_string(counter);
    }
    name += extensionForFormat(format);
    return name;
}

std::string uniqueCacheFileName(std::string_view folder, std::int64_t seconds, std::uint32_t clockRemainder,
                                ImageFormat format, const std::function<bool(const std::string&)>& taken) {
    for (std::uint32_t counter = 1;; ++counter) {
        std::string name = cacheFileName(folder, seconds, clockRemainder, format, counter);
        if (!taken(name))
            return name;
    }
}
