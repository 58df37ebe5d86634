// The frozen desktop's pixel passes that run on every capture.
#include <cstring>
#include <new>

#include "capture/capture.h"

void setOpaque(std::uint8_t* bgra, std::size_t pixelCount) {
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
    }
}

std::unique_ptr<std::uint8_t[]> copyDesktopPixels(const std::uint8_t* bgra, std::size_t pixelCount) {
    std::unique_ptr<std::uint8_t[]> pixels(new (std::nothrow) std::uint8_t[pixelCount * 4]);
    if (pixels)
        std::memcpy(pixels.get(), bgra, pixelCount * 4);
    return pixels;
}
