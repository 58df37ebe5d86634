// The pixel loops of convertHdrFrame: a walk over a clipped rectangle of the
// output, in a portable variant and an AVX2 one chosen at run time. Both give
// each pixel the bytes convertHdrPixel gives it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "capture/capture.h"

// Output pixel (column c, row r) of the walk reads texel `texel + c * columnStep
// + r * rowStep` and writes target pixel `pixel + c * 4 + r * pixelRowStep`.
// One of the two texel steps is +8 or -8 for every rotation, so either a row
// or eight rows side by side read adjacent texels.
struct HdrWalk {
    const std::uint8_t* texel;
    std::ptrdiff_t columnStep;
    std::ptrdiff_t rowStep;
    std::uint8_t* pixel;
    std::ptrdiff_t pixelRowStep;
    std::uint32_t columns;
    std::uint32_t rows;
    // Every code up to this one has gain exactly 1, so most pixels skip that lookup.
    std::uint32_t unitGainLimit;
};

using ConvertHdrWalk = void (*)(const HdrToneTable& table, const HdrWalk& walk);

void convertHdrWalkPortable(const HdrToneTable& table, const HdrWalk& walk);
#if defined(__x86_64__) || defined(__i386__)
void convertHdrWalkAvx2(const HdrToneTable& table, const HdrWalk& walk);
#endif

// The fastest variant this processor runs.
ConvertHdrWalk selectConvertHdrWalk();

// The walk of convertHdrFrame for the frame and target (rows and columns 0
// when nothing of the frame lies on the target).
HdrWalk planHdrWalk(const HdrToneTable& table, const HdrFrame& frame, const HdrTarget& target);

// Pixels [firstColumn, lastColumn) of walk row `row`, one at a time: the tails the SIMD loops leave.
inline void convertHdrPixels(const HdrToneTable& table, const HdrWalk& walk, std::uint32_t row,
                             std::uint32_t firstColumn, std::uint32_t lastColumn) {
    const std::uint8_t* texel =
        walk.texel + std::ptrdiff_t(row) * walk.rowStep + std::ptrdiff_t(firstColumn) * walk.columnStep;
    std::uint8_t* pixel = walk.pixel + std::ptrdiff_t(row) * walk.pixelRowStep + std::ptrdiff_t(firstColumn) * 4;
    for (std::uint32_t c = firstColumn; c < lastColumn; ++c, texel += walk.columnStep, pixel += 4) {
        std::uint16_t rgb[3];
        std::memcpy(rgb, texel, sizeof rgb);
        convertHdrPixel(table, rgb[0], rgb[1], rgb[2], pixel);
    }
}
