#include "output/output.h"
#include "shots/shot_rules.h"

std::string quickSaveName(std::string_view folder, std::int64_t seconds, std::int32_t format,
                          const std::function<bool(const std::string&)>& taken) {
    std::string name = std::string(folder) + "ScreenCapture" + std::to_string(seconds) + extensionForFormat(format);
    // Two Quick Saves in one second would otherwise share a name, and the
    // later would overwrite the earlier.
    while (taken(name))
        name = nextCopyName(name);
    return name;
}
