// Desktop capture: the HDR-to-SDR tone tables and the conversion of a whole
// frame (portable), and the SDR white level of a display (Win32). Half-float
// codes 0x0000..0x7C00 index the tables; every larger code (NaN, sign bit
// set) counts as 0x0000. GUI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "state/pixel_rect.h"

// --- HDR to SDR conversion -------------------------------------------------

// Zero, every positive finite half float in ascending order, and +infinity.
constexpr std::uint32_t hdrToneCodeCount = 0x7C01;
constexpr std::uint16_t halfInfinityCode = 0x7C00;

// Entry i is the 8-bit sRGB encoding (IEC 61966-2-1) of the linear value i / 65535.
struct SrgbEncodeTable {
    std::uint8_t entries[65536];
};

// The process's one encode table, built on the first call and never changed.
const SrgbEncodeTable& srgbEncodeTable();

struct HdrToneTable {
    const SrgbEncodeTable* srgbTable = nullptr;
    // By code: the value scaled so that the SDR white level is 1.0.
    float linear[hdrToneCodeCount];
    // By the code of a pixel's brightest channel: the factor for all three channels.
    float gain[hdrToneCodeCount];
    // The level both arrays were built for; 0 means not built yet.
    float whiteNits = 0;
};

// A level the tables can be built for: finite, positive, and small enough
// that the brightest half float still scales to a finite value.
bool isUsableWhiteNits(float whiteNits);

// Rebuilds both arrays for the level unless they were built for exactly this
// one. An unusable level leaves the table as it was and gives false.
bool prepareHdrToneTable(HdrToneTable& table, float whiteNits);

// A table built for the level (and the encode table on the first call);
// null for an unusable level or when memory runs out.
std::unique_ptr<HdrToneTable> createHdrToneTable(float whiteNits);

// Writes blue, green, red, alpha (255) for one pixel; alpha of the source is
// not used. Defined here so that the capture's per-pixel loop inlines it.
inline void convertHdrPixel(const HdrToneTable& table, std::uint16_t red, std::uint16_t green, std::uint16_t blue,
                            std::uint8_t* bgra) {
    if (red > halfInfinityCode)
        red = 0;
    if (green > halfInfinityCode)
        green = 0;
    if (blue > halfInfinityCode)
        blue = 0;
    // Positive half floats sort like their codes: the largest code is the brightest channel.
    std::uint16_t brightest = red > green ? red : green;
    brightest = blue > brightest ? blue : brightest;
    const float g = table.gain[brightest];
    const std::uint16_t codes[3] = {blue, green, red};
    for (int channel = 0; channel < 3; ++channel) {
        const float v = g * table.linear[codes[channel]];
        if (v >= 1.0f)
            bgra[channel] = 255;
        else if (v <= 0.0f)
            bgra[channel] = 0;
        else
            bgra[channel] = table.srgbTable->entries[static_cast<std::uint32_t>((v * 65535.0f) + 0.5f)];
    }
    bgra[3] = 255;
}

// --- HDR frame conversion --------------------------------------------------

// Output rotations as the display reports them (DXGI_MODE_ROTATION); any
// other value means identity.
constexpr std::uint32_t hdrRotate90 = 2;
constexpr std::uint32_t hdrRotate180 = 3;
constexpr std::uint32_t hdrRotate270 = 4;

// A mapped frame of one output: RGBA half floats, 8 bytes a texel, rows
// rowPitch bytes apart, laid out as the rotation has it (outW x outH texels,
// or outH x outW for 90 and 270 degrees, outW = right - left, outH = bottom - top).
struct HdrFrame {
    const std::uint8_t* texels = nullptr;
    std::size_t rowPitch = 0;
    std::int32_t left = 0, top = 0, right = 0, bottom = 0; // the output's desktop rectangle
    std::uint32_t rotation = 0;
};

// The frozen desktop: width x height BGRA pixels, rows bottom-up, whose
// top-left corner is desktop point (originX, originY).
struct HdrTarget {
    std::uint8_t* pixels = nullptr;
    std::int32_t originX = 0, originY = 0, width = 0, height = 0;
};

// Converts the part of the frame that lies on the target, each pixel exactly
// as convertHdrPixel does, upright whatever the rotation. Several texels at
// once where the processor allows.
void convertHdrFrame(const HdrToneTable& table, const HdrFrame& frame, const HdrTarget& target);

// The targets of an HDR pass: the capture gives the frozen desktop as one.
using HdrTargets = std::span<const HdrTarget>;

// --- The frozen desktop ----------------------------------------------------

// Sets blue, green and red to 0 in every pixel of the bottom-up `target` that
// no monitor covers: those parts of the virtual screen show black, never what
// the screen read or a block held before.
void blackenUncovered(const HdrTarget& target, const MonitorTable& monitors);

// Sets the alpha byte of `pixelCount` BGRA pixels to 255 (GDI leaves it 0)
// and writes the same pixels into `copy`, the block selections are cut from,
// in one pass.
void copyOpaque(std::uint8_t* bgra, std::uint8_t* copy, std::size_t pixelCount);

// --- SDR white level (Win32) -----------------------------------------------

#ifdef _WIN32
struct DISPLAYCONFIG_PATH_INFO;
struct DISPLAYCONFIG_MODE_INFO;
struct DISPLAYCONFIG_DEVICE_INFO_HEADER;

// The three display configuration calls, as a seam: the system's own by
// default, a fake in tests (Wine has no HDR display). The query never asks
// for the topology.
struct DisplayConfigCalls {
    long (*getBufferSizes)(std::uint32_t flags, std::uint32_t* pathCount, std::uint32_t* modeCount);
    long (*query)(std::uint32_t flags, std::uint32_t* pathCount, DISPLAYCONFIG_PATH_INFO* paths,
                  std::uint32_t* modeCount, DISPLAYCONFIG_MODE_INFO* modes);
    long (*getDeviceInfo)(DISPLAYCONFIG_DEVICE_INFO_HEADER* request);
};

const DisplayConfigCalls& systemDisplayConfigCalls();

// The SDR white level in nits of the active display whose GDI device name
// (as in the DXGI output description, "\\.\DISPLAY1") is `gdiDeviceName`.
// False, with `whiteNits` untouched, when no active path has that name or
// its level cannot be read or reads 0.
bool querySdrWhiteNits(const wchar_t* gdiDeviceName, float& whiteNits);
bool querySdrWhiteNits(const DisplayConfigCalls& calls, const wchar_t* gdiDeviceName, float& whiteNits);
#endif
