// Developer command line: runs pieces of the program on files.
#include <cstdio>
#include <cstring>

#include "tool_commands.h"

namespace {

struct Command {
    const char* name;
    const char* usage;
    int (*run)(int argc, char** argv);
};

constexpr Command commands[] = {
    {"save", "save IN OUT [FORMAT]   IN (PPM P6 or PNG) through the save dispatch", runSaveCommand},
    {"prefs", "prefs FILE             FILE through the settings parser, one name=value per field", runPrefsCommand},
    {"expand", "expand USER TEXT       TEXT with \"($User)\" segments expanded for USER", runExpandCommand},
    {"fold", "fold USER TEXT         TEXT with USER's folder under \"Users\" folded to \"($User)\"", runFoldCommand},
    {"hdr-table", "hdr-table NITS         tone tables for an SDR white level of NITS", runHdrTableCommand},
};

int usage() {
    std::fputs("usage:\n", stderr);
    for (const Command& c : commands)
        std::fprintf(stderr, "  orvane-tool %s\n", c.usage);
    return toolUsageError;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return usage();
    for (const Command& c : commands) {
        if (std::strcmp(argv[1], c.name) == 0) {
            const int code = c.run(argc - 2, argv + 2);
            return code == toolUsageError ? usage() : code;
        }
    }
    return usage();
}
