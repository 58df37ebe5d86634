// orvane-tool prefs FILE, expand USER TEXT, fold USER TEXT: the settings
// parser and the user path templates, with the user name given.
#include <cstdio>
#include <fstream>

#include "prefs/prefs.h"
#include "tool_commands.h"

int runPrefsCommand(int argc, char** argv) {
    if (argc != 1)
        return toolUsageError;
    std::ifstream in(argv[0]); // text mode, as the program reads it
    if (!in) {
        std::fprintf(stderr, "orvane-tool: cannot open %s\n", argv[0]);
        return toolInputError;
    }
    readPreferences(in);
    std::printf("closeScreenshotOnSave=%d\n", preferences.closeScreenshotOnSave ? 1 : 0);
    std::printf("selectionColor=%lu\n", static_cast<unsigned long>(preferences.selectionColor));
    std::printf("defaultFormat=%ld\n", static_cast<long>(preferences.defaultFormat));
    // The location may hold any byte but a line feed; print it whole.
    const std::string& location = preferences.quickSaveLocation;
    std::printf("quickSaveLocation=");
    std::fwrite(location.data(), 1, location.size(), stdout);
    std::printf("\n");
    std::printf("resizeScreenshotWindows=%d\n", preferences.resizeScreenshotWindows ? 1 : 0);
    return 0;
}

int runExpandCommand(int argc, char** argv) {
    if (argc != 2)
        return toolUsageError;
    std::printf("%s\n", expandUserPath(argv[1], argv[0]).c_str());
    return 0;
}

int runFoldCommand(int argc, char** argv) {
    if (argc != 2)
        return toolUsageError;
    std::printf("%s\n", foldUserPath(argv[1], argv[0]).c_str());
    return 0;
}
