// prefs.txt: line 1 is "close:colour:format:location" (the location runs to
// the end of the line and may hold colons), a later line
// "resizeScreenshotWindows=1" turns rescaling on. Each field is judged alone;
// what cannot be read keeps its default. The file is UTF-8; a line that is
// not was written in the legacy ANSI code page and is converted by the caller.
#include <limits>

#include "prefs/prefs.h"

Preferences preferences;
std::string prefsPath;
std::string quickSaveFolder;

namespace {

constexpr std::string_view resizeKeyLine = "resizeScreenshotWindows=1";

// A line without its "\n" and without one trailing "\r": a text-mode stream
// on Windows has already dropped that CR, a native stream has not.
bool readLine(std::istream& in, std::string& line) {
    if (!std::getline(in, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n'; }

// Unsigned decimal, as a stream extraction reads one but without a sign:
// leading blanks skipped, digits up to the first non-digit, at least one,
// and the value must fit in 32 bits.
bool readDecimal(std::string_view field, std::uint32_t& value) {
    std::size_t i = 0;
    while (i < field.size() && isBlank(field[i]))
        ++i;
    const std::size_t firstDigit = i;
    std::uint32_t result = 0;
    constexpr std::uint32_t limit = std::numeric_limits<std::uint32_t>::max();
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        const auto digit = static_cast<std::uint32_t>(field[i] - '0');
        if (result > (limit - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    if (i == firstDigit)
        return false;
    value = result;
    return true;
}

// A damaged file is more likely than a folder no path could name: such a
// location would be cut at its NUL or stored under another name.
bool readableLocation(std::string_view text) {
    if (text.empty() || text.size() > maxLocationLength)
        return false;
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20)
            return false;
    return true;
}

// Cuts the next colon-separated field off `rest`; false once the line is used up.
bool nextField(std::string_view& rest, bool& lineLeft, std::string_view& field) {
    if (!lineLeft)
        return false;
    const std::size_t colon = rest.find(':');
    if (colon == std::string_view::npos) {
        field = rest;
        rest = {};
        lineLeft = false;
    } else {
        field = rest.substr(0, colon);
        rest.remove_prefix(colon + 1);
    }
    return true;
}

void parseFirstLine(std::string_view line, Preferences& prefs) {
    std::string_view rest = line;
    bool lineLeft = true;
    std::string_view field;
    if (!nextField(rest, lineLeft, field))
        return;
    prefs.closeScreenshotOnSave = field != "0";

    std::uint32_t number = 0;
    if (!nextField(rest, lineLeft, field))
        return;
    if (readDecimal(field, number) && number < selectionColorCount)
        prefs.selectionColor = number;

    if (!nextField(rest, lineLeft, field))
        return;
    if (readDecimal(field, number) && number <= static_cast<std::uint32_t>(bmpFormat))
        prefs.defaultFormat = static_cast<ImageFormat>(number);

    if (lineLeft && readableLocation(rest))
        prefs.quickSaveLocation = std::string(rest);
}

} // namespace

bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t point = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            point = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            point = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            point = lead & 0x07u;
        } else {
            return false; // a continuation byte first, C0/C1 (always overlong) or F5 and above
        }
        if (text.size() - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0u) != 0x80u)
                return false;
            point = (point << 6) | (next & 0x3Fu);
        }
        constexpr char32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < shortest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

Preferences parsePreferences(std::istream& in, const LegacyDecoder& fromLegacy) {
    Preferences prefs;
    std::string line;
    const auto nextLine = [&] {
        if (!readLine(in, line))
            return false;
        // A line longer than the longest readable first line holds no
        // location worth a conversion of megabytes.
        if (fromLegacy && line.size() <= maxLocationLength + 32 && !isValidUtf8(line))
            line = fromLegacy(line);
        return true;
    };
    if (!nextLine())
        return prefs;
    parseFirstLine(line, prefs);
    while (nextLine()) {
        if (line == resizeKeyLine)
            prefs.resizeScreenshotWindows = true;
    }
    return prefs;
}

void readPreferences(std::istream& in, const LegacyDecoder& fromLegacy) {
    preferences = parsePreferences(in, fromLegacy);
}

std::string formatPreferences(const Preferences& prefs) {
    std::string text;
    text += prefs.closeScreenshotOnSave ? '1' : '0';
    text += ':';
    text += std::to_string(prefs.selectionColor);
    text += ':';
    text += std::to_string(prefs.defaultFormat);
    text += ':';
    text += prefs.quickSaveLocation;
    text += "\nresizeScreenshotWindows=";
    text += prefs.resizeScreenshotWindows ? '1' : '0';
    text += '\n';
    return text;
}
