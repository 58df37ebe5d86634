// The tone tables: scRGB half floats (1.0 = 80 nits) to 8-bit sRGB relative to
// the SDR white level, with a soft shoulder above 0.75. Every float operation
// is written in its exact order: both builds and any independent
// implementation must produce the same tables bit for bit.
#include <cmath>
#include <new>

#include "capture/capture.h"

namespace {

constexpr float scRgbReferenceNits = 80.0f;
constexpr float largestHalf = 65504.0f;
constexpr float shoulderStart = 0.75f;

// The value of a half-float code, 0 for anything not finite and positive.
float halfCodeValue(std::uint32_t code) {
    const int exponent = static_cast<int>((code >> 10) & 0x1Fu);
    const int mantissa = static_cast<int>(code & 0x3FFu);
    float value;
    if (exponent == 0)
        value = static_cast<float>(std::ldexp(static_cast<double>(mantissa), -24));
    else if (exponent == 31)
        value = mantissa == 0 ? largestHalf : 0.0f;
    else
        value = static_cast<float>(std::ldexp(static_cast<double>(mantissa + 1024), exponent - 25));
    if (!std::isfinite(value) || !(value > 0.0f))
        value = 0.0f;
    return value;
}

void buildSrgbEncodeTable(SrgbEncodeTable& table) {
    constexpr float exponent = 1.0f / 2.4f;
    for (std::uint32_t i = 0; i < 65536; ++i) {
        float a = static_cast<float>(i) / 65535.0f;
        if (!std::isfinite(a) || !(a > 0.0f))
            a = 0.0f;
        const float c = a < 1.0f ? a : 1.0f;
        float encoded;
        if (c <= 0.0031308f)
            encoded = c * 12.92f;
        else
            encoded =
                (static_cast<float>(std::pow(static_cast<double>(c), static_cast<double>(exponent))) * 1.055f) - 0.055f;
        table.entries[i] = static_cast<std::uint8_t>((encoded * 255.0f) + 0.5f);
    }
}

} // namespace

const SrgbEncodeTable& srgbEncodeTable() {
    // Static storage: building it never allocates, so it cannot fail.
    static SrgbEncodeTable table;
    static const bool built = (buildSrgbEncodeTable(table), true);
    static_cast<void>(built);
    return table;
}

bool isUsableWhiteNits(float whiteNits) {
    if (!std::isfinite(whiteNits) || !(whiteNits > 0.0f))
        return false;
    const float scale = scRgbReferenceNits / whiteNits;
    return std::isfinite(largestHalf * scale);
}

bool prepareHdrToneTable(HdrToneTable& table, float whiteNits) {
    // Checked first: a level of 0 would otherwise match a fresh table and
    // leave its arrays unbuilt.
    if (!isUsableWhiteNits(whiteNits))
        return false;
    if (table.whiteNits == whiteNits)
        return true;
    const float scale = scRgbReferenceNits / whiteNits;
    for (std::uint32_t code = 0; code < hdrToneCodeCount; ++code) {
        const float h = halfCodeValue(code) * scale;
        table.linear[code] = h;
        if (h > shoulderStart) {
            // Displayed level 0.75 + 0.25 (1 - e^(-4 (h - 0.75))): slope 1 at the
            // shoulder, approaching 1.0 without reaching it.
            const float t = static_cast<float>(std::exp(static_cast<double>(-4.0f * (h - shoulderStart))));
            table.gain[code] = (((1.0f - t) * 0.25f) + 0.75f) / h;
        } else {
            table.gain[code] = 1.0f;
        }
    }
    table.whiteNits = whiteNits;
    return true;
}

std::unique_ptr<HdrToneTable> createHdrToneTable(float whiteNits) {
    if (!isUsableWhiteNits(whiteNits))
        return nullptr;
    std::unique_ptr<HdrToneTable> table(new (std::nothrow) HdrToneTable);
    if (!table)
        return nullptr;
    table->srgbTable = &srgbEncodeTable();
    table->whiteNits = 0.0f;
    prepareHdrToneTable(*table, whiteNits);
    return table;
}
