// Developer command line: runs pieces of the program on files.
//   orvane-tool save IN OUT [FORMAT]   IN (PPM P6 or PNG) through the save dispatch
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image_file.h"
#include "output/output.h"

namespace {

constexpr int usageError = 1;
constexpr int inputError = 2;

int usage() {
    std::fputs("usage: orvane-tool save IN OUT [FORMAT]\n", stderr);
    return usageError;
}

bool parseFormat(const char* text, ImageFormat& format) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < -0x7FFFFFFFL - 1 || value > 0x7FFFFFFFL)
        return false;
    format = static_cast<ImageFormat>(value);
    return true;
}

int runSave(int argc, char** argv) {
    if (argc < 4 || argc > 5)
        return usage();
    ImageFormat format = pngFormat;
    if (argc == 5 && !parseFormat(argv[4], format))
        return usage();
    LoadedImage image;
    std::string error;
    if (!readImageFile(argv[2], image, error)) {
        std::fprintf(stderr, "orvane-tool: %s\n", error.c_str());
        return inputError;
    }
    // Exactly what a queued job does.
    saveImage(argv[3], image.bgra.data(), image.width, image.height, format, true);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "save") == 0)
        return runSave(argc, argv);
    return usage();
}
