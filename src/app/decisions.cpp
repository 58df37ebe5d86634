// Pure decisions of the application shell; see app/decisions.h.
#include "app/decisions.h"

namespace {

constexpr std::intptr_t leftButtonUp = 0x0202;
constexpr std::intptr_t rightButtonUp = 0x0205;

constexpr int hookAction = 0; // HC_ACTION
constexpr std::uintptr_t keyDown = 0x0100, keyUp = 0x0101, sysKeyDown = 0x0104, sysKeyUp = 0x0105;
constexpr std::uint32_t escapeKey = 0x1B, printScreenKey = 0x2C;

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size())
        return false;
    text.remove_prefix(text.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i)
        if (lowerAscii(text[i]) != suffix[i])
            return false;
    return true;
}

std::string lowered(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = lowerAscii(c);
    return result;
}

} // namespace

std::string folderOfPath(std::string_view path) {
    const std::size_t separator = path.find_last_of("\\/");
    if (separator == std::string_view::npos)
        return {};
    return std::string(path.substr(0, separator + 1));
}

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
           endsWithIgnoringCase(entryFinalPath.substr(0, folderFinalPath.size()), lowered(folderFinalPath)) &&
           endsWithIgnoringCase(entryFinalPath, lowered(name));
}

std::uint32_t validSelectionColor(std::uint32_t index, std::size_t paletteSize) {
    return index < paletteSize ? index : 0;
}

bool trayCallbackOpensMenu(std::intptr_t mouseMessage) {
    return mouseMessage == leftButtonUp || mouseMessage == rightButtonUp;
}

std::int32_t optionsScaleFrom(std::int32_t scaleFactor) { return scaleFactor < 100 ? 100 : scaleFactor; }

HookKey classifyHookKey(int code, std::uintptr_t message, std::uint32_t virtualKey, bool captureActive) {
    if (code != hookAction)
        return HookKey::other;
    if ((message == keyDown || message == sysKeyDown) && virtualKey == escapeKey && captureActive)
        return HookKey::cancelCapture;
    // Alt+PrintScreen arrives as a system key.
    if ((message == keyUp || message == sysKeyUp) && virtualKey == printScreenKey)
        return HookKey::printScreenReleased;
    return HookKey::other;
}

bool hookMayHaveBeenDropped(std::uint64_t dispatchMs) { return dispatchMs >= hookStallMs; }
