// The conversion of an HDR frame onto the frozen desktop, computed per pixel
// from its definition: half float to linear scRGB, scaled so that the SDR
// white level is 1.0, the shoulder above 0.75 with one gain from the
// brightest channel, then the sRGB transfer function. No tables, and nothing
// from the capture code but its records.
#pragma once

#include <cstdint>

#include "capture/capture.h"

// Blue, green, red, 255 for one pixel of half-float codes at `whiteNits`.
void convertHdrPixelReference(float whiteNits, std::uint16_t red, std::uint16_t green, std::uint16_t blue,
                              std::uint8_t* bgra);

// Every output pixel that lands inside the target, the rest left alone.
void convertHdrFrameReference(float whiteNits, const HdrFrame& frame, const HdrTarget& target);
