// The frozen desktop's pixel pass that runs on every capture.
#include <cstring>

#include "capture/capture.h"

void copyOpaque(std::uint8_t* bgra, std::uint8_t* copy, std::size_t pixelCount) {
    // Whole words, so the compiler can vectorise; the byte order of a word
    // does not matter for an OR that sets the fourth byte of every pixel.
    std::uint32_t alpha = 0;
    const std::uint8_t opaque[4] = {0, 0, 0, 255};
    std::memcpy(&alpha, opaque, 4);
    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::uint32_t pixel;
        std::memcpy(&pixel, bgra + i * 4, 4);
        pixel |= alpha;
        std::memcpy(bgra + i * 4, &pixel, 4);
        std::memcpy(copy + i * 4, &pixel, 4);
    }
}
