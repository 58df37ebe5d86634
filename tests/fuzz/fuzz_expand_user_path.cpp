// expandUserPath on any name and template: separators normalised, only whole
// "($User)" segments replaced, and expanding twice changes nothing more.
#include "fuzz_support.h"
#include "prefs/prefs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const NameAndPath input = splitNameAndPath(data, size);
    const std::string expanded = expandUserPath(input.path, input.name);

    std::vector<std::string> segments = splitPath(input.path);
    require(expanded.empty() == segments.empty());
    require(expanded.empty() || expanded.back() == '/');
    require(expanded.find('\\') == std::string::npos);
    if (usableUserName(input.name)) {
        for (std::string& segment : segments) {
            if (segment == userPlaceholder)
                segment = input.name;
        }
    }
    require(splitPath(expanded) == segments);
    require(expandUserPath(expanded, input.name) == expanded);
    return 0;
}
