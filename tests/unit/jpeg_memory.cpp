#include "jpeg_memory.h"

#include "output/output.h"

namespace {
std::vector<std::uint8_t>* sinkTarget = nullptr;
void memorySink(std::uint8_t byte) { sinkTarget->push_back(byte); }
} // namespace

std::vector<std::uint8_t> encodeJpegToMemory(const std::vector<std::uint8_t>& rgb, std::uint32_t width,
                                             std::uint32_t height, const char* comment) {
    std::vector<std::uint8_t> bytes;
    sinkTarget = &bytes;
    encodeJpeg(memorySink, rgb.data(), static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), true, 90,
               false, comment);
    sinkTarget = nullptr;
    return bytes;
}

std::vector<std::uint8_t> bgraToRgb(const std::vector<std::uint8_t>& bgra) {
    std::vector<std::uint8_t> rgb(bgra.size() / 4 * 3);
    for (std::size_t i = 0, o = 0; o < rgb.size(); i += 4, o += 3) {
        rgb[o] = bgra[i + 2];
        rgb[o + 1] = bgra[i + 1];
        rgb[o + 2] = bgra[i];
    }
    return rgb;
}
