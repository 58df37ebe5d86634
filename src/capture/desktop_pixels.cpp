// The frozen desktop's bands and the pixel pass that runs on every capture.
#include <algorithm>
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

std::uint32_t screenBandCount(std::int32_t height) {
    return height <= 0 ? 0 : std::min(screenBandLimit, static_cast<std::uint32_t>(height));
}

BandRows screenBand(std::int32_t height, std::uint32_t index) {
    const std::int64_t count = screenBandCount(height);
    if (index >= count)
        return {};
    const auto boundary = [&](std::int64_t i) { return static_cast<std::int32_t>(std::int64_t{height} * i / count); };
    return {boundary(index), boundary(index + 1) - boundary(index)};
}
