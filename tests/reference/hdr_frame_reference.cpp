// Each step in single precision where the conversion is defined in it, in
// the order the definition gives, so that the bytes can be compared exactly.
// Placement: the output's pixel (c, r) sits at desktop point (left + c,
// top + r); the texture holds the output turned counter-clockwise by the
// rotation; the desktop's rows are bottom-up.
#include "hdr_frame_reference.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// IEEE 754 binary16; a sign bit or a NaN counts as no light, +infinity as the
// largest finite value.
double halfFloatValue(std::uint16_t code) {
    if (code & 0x8000u)
        return 0;
    const int exponent = code >> 10, mantissa = code & 0x3FF;
    if (exponent == 31)
        return mantissa == 0 ? 65504.0 : 0.0;
    if (exponent == 0)
        return std::ldexp(mantissa, -24); // subnormal
    return std::ldexp(1024 + mantissa, exponent - 25);
}

// scRGB 1.0 is 80 nits; the white level becomes 1.0.
float relativeLevel(std::uint16_t code, float whiteNits) {
    const auto value = static_cast<float>(halfFloatValue(code));
    return value * (80.0f / whiteNits);
}

// Levels up to 0.75 pass; above, 0.75 + 0.25 (1 - e^(-4 (h - 0.75))), as a
// gain on h.
float shoulderGain(float h) {
    if (!(h > 0.75f))
        return 1.0f;
    const auto t = static_cast<float>(std::exp(static_cast<double>(-4.0f * (h - 0.75f))));
    return ((1.0f - t) * 0.25f + 0.75f) / h;
}

// IEC 61966-2-1 of the level rounded to 16 bits, as an 8-bit value.
std::uint8_t srgbByte(float level) {
    if (level >= 1.0f)
        return 255;
    if (level <= 0.0f)
        return 0;
    const float linear = std::min(1.0f, static_cast<float>(static_cast<int>(level * 65535.0f + 0.5f)) / 65535.0f);
    const float encoded =
        linear <= 0.0031308f
            ? linear * 12.92f
            : static_cast<float>(std::pow(static_cast<double>(linear), static_cast<double>(1.0f / 2.4f))) * 1.055f -
                  0.055f;
    return static_cast<std::uint8_t>(static_cast<int>(encoded * 255.0f + 0.5f));
}

} // namespace

void convertHdrPixelReference(float whiteNits, std::uint16_t red, std::uint16_t green, std::uint16_t blue,
                              std::uint8_t* bgra) {
    const float r = relativeLevel(red, whiteNits), g = relativeLevel(green, whiteNits),
                b = relativeLevel(blue, whiteNits);
    const float gain = shoulderGain(std::max({r, g, b}));
    bgra[0] = srgbByte(gain * b);
    bgra[1] = srgbByte(gain * g);
    bgra[2] = srgbByte(gain * r);
    bgra[3] = 255;
}

void convertHdrFrameReference(float whiteNits, const HdrFrame& frame, const HdrTarget& target) {
    if (!frame.texels || !target.pixels)
        return;
    const std::int64_t outW = std::int64_t{frame.right} - frame.left, outH = std::int64_t{frame.bottom} - frame.top;
    const int quarterTurns = frame.rotation == hdrRotate90    ? 1
                             : frame.rotation == hdrRotate180 ? 2
                             : frame.rotation == hdrRotate270 ? 3
                                                              : 0;
    for (std::int64_t r = 0; r < outH; ++r)
        for (std::int64_t c = 0; c < outW; ++c) {
            const std::int64_t x = frame.left + c - target.originX, y = frame.top + r - target.originY;
            if (x < 0 || x >= target.width || y < 0 || y >= target.height)
                continue;
            // A quarter turn counter-clockwise takes (c, r) of a w x h picture to (r, w - 1 - c) of an h x w one.
            std::int64_t tx = c, ty = r, w = outW, h = outH;
            for (int turn = 0; turn < quarterTurns; ++turn) {
                const std::int64_t turnedX = ty, turnedY = w - 1 - tx;
                tx = turnedX, ty = turnedY;
                std::swap(w, h);
            }
            std::uint16_t rgb[3];
            std::memcpy(rgb, frame.texels + ty * static_cast<std::int64_t>(frame.rowPitch) + tx * 8, sizeof rgb);
            convertHdrPixelReference(whiteNits, rgb[0], rgb[1], rgb[2],
                                     target.pixels + ((target.height - 1 - y) * target.width + x) * 4);
        }
}
