// orvane-tool save IN OUT [FORMAT]: IN (PPM P6 or PNG) through the save dispatch.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image_file.h"
#include "output/output.h"
#include "tool_commands.h"

namespace {

bool parseFormat(const char* text, ImageFormat& format) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < -0x7FFFFFFFL - 1 || value > 0x7FFFFFFFL)
        return false;
    format = static_cast<ImageFormat>(value);
    return true;
}

} // namespace

int runSaveCommand(int argc, char** argv) {
    ImageFormat format = pngFormat;
    if (argc < 2 || argc > 3 || (argc == 3 && !parseFormat(argv[2], format)))
        return toolUsageError;
    LoadedImage image;
    std::string error;
    if (!readImageFile(argv[0], image, error)) {
        std::fprintf(stderr, "orvane-tool: %s\n", error.c_str());
        return toolInputError;
    }
    // Exactly what a queued job does.
    if (saveImage(argv[1], image.bgra.data(), image.width, image.height, format, true))
        return 0;
    const std::string target = savedImageName(argv[1], format);
    if (target.empty())
        std::fprintf(stderr,
                     "orvane-tool: nothing written: %s has no .jpg, .png or .bmp extension and format %d adds none\n",
                     argv[1], static_cast<int>(format));
    else
        std::fprintf(stderr, "orvane-tool: nothing written: %s could not be written\n", target.c_str());
    return toolOutputError;
}
