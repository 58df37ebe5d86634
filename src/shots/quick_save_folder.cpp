// The Quick Save folder check: the Windows naming rules for a folder whose
// files the program names itself. Bytes are judged as the ANSI code page
// has them; the superscript digits of COM¹ and LPT³ are those of code page 1252.
#include <algorithm>
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

// Where the segment that starts at `at` ends (its separator, or the end).
std::size_t segmentEnd(std::string_view folder, std::size_t at) {
    const std::size_t end = folder.find_first_of("/\\", at);
    return end == std::string_view::npos ? folder.size() : end;
}

// Past the separator that follows the segment starting at `at`.
std::size_t pastSegment(std::string_view folder, std::size_t at) {
    return std::min(segmentEnd(folder, at) + 1, folder.size());
}

bool isDrive(std::string_view text) {
    return text.size() >= 2 && upperAscii(text[0]) >= 'A' && upperAscii(text[0]) <= 'Z' && text[1] == ':';
}

// Where the levels below the root of `folder` begin.
std::size_t rootLength(std::string_view folder) {
    if (folder.size() >= 2 && isSeparator(folder[0]) && isSeparator(folder[1])) {
        if (folder.size() >= 4 && (folder[2] == '?' || folder[2] == '.') && isSeparator(folder[3])) {
            const std::size_t at = 4;
            if (equalsIgnoringCase(folder.substr(at, segmentEnd(folder, at) - at), "UNC"))
                return pastSegment(folder, pastSegment(folder, pastSegment(folder, at))); // server, share
            return pastSegment(folder, at);                                               // "C:\" or a volume
        }
        return pastSegment(folder, pastSegment(folder, 2)); // server, share
    }
    if (isDrive(folder))
        return folder.size() > 2 && isSeparator(folder[2]) ? 3 : 2;
    return !folder.empty() && isSeparator(folder[0]) ? 1 : 0;
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

std::vector<std::string> folderLevelsToMake(std::string_view folder) {
    std::vector<std::string> levels;
    for (std::size_t at = rootLength(folder); at < folder.size();) {
        const std::size_t end = segmentEnd(folder, at);
        if (end != at)
            levels.emplace_back(folder.substr(0, end));
        at = end + 1;
    }
    return levels;
}
