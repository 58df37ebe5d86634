#include "output/output.h"
#include "shots/shot_rules.h"

std::string quickSaveName(std::string_view folder, std::int64_t seconds, std::int32_t format,
                          const std::function<bool(const std::string&)>& taken) {
    const std::string stem = std::string(folder) + "ScreenCapture" + std::to_string(seconds);
    const std::string extension = extensionForFormat(format);
    std::string name = stem + extension;
    // Two Quick Saves in one second would otherwise share a name, and the
    // later would overwrite the earlier.
    for (int copy = 2; taken(name); ++copy)
        name = stem + " (" + std::to_string(copy) + ")" + extension;
    return name;
}
