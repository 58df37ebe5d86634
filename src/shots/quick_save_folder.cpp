// The Quick Save folder check: the Windows naming rules for a folder whose
// files the program names itself. Bytes are judged as the ANSI code page
// has them; the superscript digits of COM¹ and LPT³ are those of code page 1252.
#include <array>

#include "shots/shot_rules.h"

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool equalsIgnoringCase(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (upperAscii(text[i]) != upper[i])
            return false;
    return true;
}

bool isDeviceDigit(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (c >= '0' && c <= '9') || byte == 0xB9 || byte == 0xB2 || byte == 0xB3;
}

// Windows opens a device for these whatever follows the first dot ("nul.txt")
// and whatever blanks stand before it ("com1 .png").
bool isDeviceName(std::string_view segment) {
    std::string_view base = segment.substr(0, segment.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    constexpr std::array<std::string_view, 6> names = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const std::string_view name : names)
        if (equalsIgnoringCase(base, name))
            return true;
    return base.size() == 4 &&
           (equalsIgnoringCase(base.substr(0, 3), "COM") || equalsIgnoringCase(base.substr(0, 3), "LPT")) &&
           isDeviceDigit(base[3]);
}

bool isForbidden(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*';
}

} // namespace

FolderProblem quickSaveFolderProblem(std::string_view folder) {
    if (folder.empty())
        return FolderProblem::empty;
    for (const char c : folder)
        if (isForbidden(c))
            return FolderProblem::badCharacter;

    const bool drive = folder.size() >= 3 && upperAscii(folder[0]) >= 'A' && upperAscii(folder[0]) <= 'Z' &&
                       folder[1] == ':' && isSeparator(folder[2]);
    const bool unc = folder.size() >= 2 && isSeparator(folder[0]) && isSeparator(folder[1]);
    if ((!drive && !unc) || !isSeparator(folder.back()))
        return FolderProblem::notFull;
    if (folder.find(':', drive ? 2 : 0) != std::string_view::npos)
        return FolderProblem::badCharacter;
    if (folder.size() + quickSaveNameRoom > pathLimit)
        return FolderProblem::tooLong;

    std::size_t segments = 0;
    for (std::size_t at = drive ? 3 : 2; at < folder.size();) {
        const std::size_t end = folder.find_first_of("/\\", at);
        const std::string_view segment = folder.substr(at, end - at);
        at = end + 1;
        if (segment.empty())
            continue;
        ++segments;
        // "\\.\" and "\\?\" lead into the device and raw namespaces.
        if (unc && segments == 1 && (segment == "." || segment == ".."))
            return FolderProblem::deviceName;
        if (segment == "." || segment == "..")
            continue;
        if (isDeviceName(segment))
            return FolderProblem::deviceName;
        if (segment.back() == '.' || segment.back() == ' ')
            return FolderProblem::badEnding;
    }
    // A server without a share names no folder.
    if (unc && segments < 2)
        return FolderProblem::notFull;
    return FolderProblem::none;
}
