// readPreferences on any bytes: values stay in range, CR LF reads as LF, and
// what formatPreferences writes reads back the same.
#include <sstream>

#include "fuzz_support.h"
#include "prefs/prefs.h"

namespace {

Preferences parseText(const std::string& text) {
    std::istringstream in(text);
    return parsePreferences(in);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream in(text);
    readPreferences(in);
    const Preferences read = preferences;

    require(read.selectionColor < selectionColorCount);
    require(read.defaultFormat >= jpegFormat && read.defaultFormat <= bmpFormat);
    require(!read.quickSaveLocation.empty());
    require(read.quickSaveLocation.size() <= maxLocationLength);
    for (const char c : read.quickSaveLocation)
        require(static_cast<unsigned char>(c) >= 0x20); // no line break, no NUL, no CR

    if (text.find('\r') == std::string::npos) {
        std::string crlf;
        for (const char c : text) {
            if (c == '\n')
                crlf += '\r';
            crlf += c;
        }
        require(parseText(crlf) == read);
    }
    require(parseText(formatPreferences(read)) == read);
    return 0;
}
