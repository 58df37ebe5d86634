// The frame conversion against the reference computed per pixel from the
// conversion's definition: every code in every channel, all four rotations,
// odd sizes and outputs partly off the target, for each pixel loop this
// processor runs; and the rotations against each other, so that the
// reference's own turning is checked too.
#include <array>
#include <cstring>

#include <gtest/gtest.h>

#include "capture/hdr_frame_kernels.h"
#include "hdr_frame_reference.h"
#include "test_support.h"

using namespace testing_support;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct Loop {
    const char* name;
    ConvertHdrWalk convert;
};

std::vector<Loop> loops() {
    std::vector<Loop> all{{"portable", convertHdrWalkPortable}};
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("f16c"))
        all.push_back({"avx2", convertHdrWalkAvx2});
#endif
    return all;
}

const HdrToneTable& tableFor(float nits) {
    static std::vector<std::pair<float, std::unique_ptr<HdrToneTable>>> built;
    for (const auto& entry : built)
        if (entry.first == nits)
            return *entry.second;
    built.emplace_back(nits, createHdrToneTable(nits));
    return *built.back().second;
}

// Texels laid out as an output of outW x outH turned by `rotation` holds
// them: texel (tx, ty) of the texture, rows padded to a 256-byte pitch.
struct Texture {
    Bytes bytes;
    std::size_t pitch = 0;
    std::uint32_t width = 0, height = 0;
};

Texture makeTexture(std::uint32_t outW, std::uint32_t outH, std::uint32_t rotation) {
    Texture t;
    const bool turned = rotation == hdrRotate90 || rotation == hdrRotate270;
    t.width = turned ? outH : outW;
    t.height = turned ? outW : outH;
    t.pitch = (std::size_t{t.width} * 8 + 255) / 256 * 256;
    t.bytes.assign(t.pitch * t.height, 0xEE); // the padding must never be read as a pixel
    return t;
}

using Texel = std::array<std::uint16_t, 4>; // red, green, blue, alpha codes

void setTexel(Texture& t, std::uint32_t tx, std::uint32_t ty, const Texel& rgba) {
    std::memcpy(&t.bytes[ty * t.pitch + std::size_t{tx} * 8], rgba.data(), 8);
}

// Output pixel (c, r) of a rotated output comes from this texel.
void texelOf(std::uint32_t rotation, std::uint32_t outW, std::uint32_t outH, std::uint32_t c, std::uint32_t r,
             std::uint32_t& tx, std::uint32_t& ty) {
    switch (rotation) {
    case hdrRotate90:
        tx = r, ty = outW - 1 - c;
        break;
    case hdrRotate180:
        tx = outW - 1 - c, ty = outH - 1 - r;
        break;
    case hdrRotate270:
        tx = outH - 1 - r, ty = c;
        break;
    default:
        tx = c, ty = r;
    }
}

// The same upright picture for every rotation: output pixel (c, r) gets
// codes(c, r) wherever the rotation stores it.
template <typename Codes>
Texture makeFrame(std::uint32_t outW, std::uint32_t outH, std::uint32_t rotation, Codes codes) {
    Texture t = makeTexture(outW, outH, rotation);
    for (std::uint32_t r = 0; r < outH; ++r)
        for (std::uint32_t c = 0; c < outW; ++c) {
            std::uint32_t tx, ty;
            texelOf(rotation, outW, outH, c, r, tx, ty);
            setTexel(t, tx, ty, codes(c, r));
        }
    return t;
}

HdrFrame frameOf(const Texture& t, std::int32_t left, std::int32_t top, std::uint32_t outW, std::uint32_t outH,
                 std::uint32_t rotation) {
    HdrFrame frame;
    frame.texels = t.bytes.data();
    frame.rowPitch = t.pitch;
    frame.left = left;
    frame.top = top;
    frame.right = left + std::int32_t(outW);
    frame.bottom = top + std::int32_t(outH);
    frame.rotation = rotation;
    return frame;
}

struct Desktop {
    Bytes pixels;
    HdrTarget target;
};

Desktop makeDesktop(std::int32_t originX, std::int32_t originY, std::int32_t width, std::int32_t height) {
    Desktop d;
    // Pixels the output does not cover must keep these bytes.
    d.pixels = noiseBytes(std::size_t(width) * std::size_t(height) * 4, std::uint32_t(width * 7 + height));
    d.target = {nullptr, originX, originY, width, height};
    return d;
}

Bytes convertWith(const Loop& loop, const HdrToneTable& table, const HdrFrame& frame, Desktop desktop) {
    desktop.target.pixels = desktop.pixels.data();
    const HdrWalk walk = planHdrWalk(table, frame, desktop.target);
    if (walk.rows != 0)
        loop.convert(table, walk);
    return desktop.pixels;
}

Bytes convertByDefinition(const HdrToneTable& table, const HdrFrame& frame, Desktop desktop) {
    desktop.target.pixels = desktop.pixels.data();
    convertHdrFrameReference(table.whiteNits, frame, desktop.target);
    return desktop.pixels;
}

Bytes convertDefault(const HdrToneTable& table, const HdrFrame& frame, Desktop desktop) {
    desktop.target.pixels = desktop.pixels.data();
    convertHdrFrame(table, frame, desktop.target);
    return desktop.pixels;
}

void expectSamePixels(const Bytes& actual, const Bytes& expected, const std::string& what) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); i += 4)
        ASSERT_TRUE(std::memcmp(&actual[i], &expected[i], 4) == 0)
            << what << ": first difference at pixel " << i / 4 << " (" << int(actual[i]) << " " << int(actual[i + 1])
            << " " << int(actual[i + 2]) << " " << int(actual[i + 3]) << " instead of " << int(expected[i]) << " "
            << int(expected[i + 1]) << " " << int(expected[i + 2]) << " " << int(expected[i + 3]) << ")";
}

constexpr std::uint32_t rotations[] = {1, hdrRotate90, hdrRotate180, hdrRotate270};

// --- Every code ------------------------------------------------------------

// 256 x 256 pixels: red takes each of the 65536 codes once, green and blue
// take them all too in other orders, so every code meets many partners;
// alpha is noise and must not matter.
Texel everyCode(std::uint32_t c, std::uint32_t r) {
    const std::uint32_t i = r * 256 + c;
    return {static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(i * 40503u),
            static_cast<std::uint16_t>(~i * 769u), static_cast<std::uint16_t>((i * 2654435761u) >> 7)};
}

// Grey: the three channels equal, each code once.
Texel everyGrey(std::uint32_t c, std::uint32_t r) {
    const auto code = static_cast<std::uint16_t>(r * 256 + c);
    return {code, code, code, 0x3C00};
}

TEST(HdrFrame, EveryCodeGivesTheReferenceBytesInEveryLoopAndRotation) {
    const auto all = loops();
    for (const float nits : {80.0f, 200.0f, 480.0f}) {
        const HdrToneTable& table = tableFor(nits);
        for (const std::uint32_t rotation : rotations) {
            for (const auto codes : {everyCode, everyGrey}) {
                const Texture t = makeFrame(256, 256, rotation, codes);
                const HdrFrame frame = frameOf(t, 0, 0, 256, 256, rotation);
                const Desktop desktop = makeDesktop(0, 0, 256, 256);
                const Bytes expected = convertByDefinition(table, frame, desktop);
                const std::string what = std::to_string(int(nits)) + " nits, rotation " + std::to_string(rotation) +
                                         (codes == everyGrey ? ", grey" : ", colour");
                for (const Loop& loop : all)
                    expectSamePixels(convertWith(loop, table, frame, desktop), expected, what + ", " + loop.name);
                expectSamePixels(convertDefault(table, frame, desktop), expected, what + ", convertHdrFrame");
            }
        }
    }
}

// Flat areas of a few colours, as desktops have them (the fast loops convert
// a flat run once): blocks of 40 x 24 pixels from a palette with invalid,
// shoulder and ordinary codes; alpha differs between two blocks of one colour.
TEST(HdrFrame, FlatAreasGiveTheReferenceBytesInEveryLoopAndRotation) {
    static constexpr Texel palette[] = {{0x3C00, 0x3C00, 0x3C00, 0x3C00}, {0x4100, 0x3800, 0x0000, 0x3C00},
                                        {0xFC00, 0x7E00, 0x3555, 0x3C00}, {0x3C00, 0x3C00, 0x3C00, 0x0000},
                                        {0x7C00, 0x0001, 0x2000, 0x3C00}, {0x0000, 0x0000, 0x0000, 0x3C00}};
    const auto codes = [](std::uint32_t c, std::uint32_t r) {
        return palette[(c / 40 + r / 24 * 3 + (c / 40) * (r / 24)) % 6];
    };
    const HdrToneTable& table = tableFor(200);
    for (const std::uint32_t rotation : rotations) {
        const Texture t = makeFrame(320, 192, rotation, codes);
        const HdrFrame frame = frameOf(t, 0, 0, 320, 192, rotation);
        const Desktop desktop = makeDesktop(0, 0, 320, 192);
        const Bytes expected = convertByDefinition(table, frame, desktop);
        for (const Loop& loop : loops())
            expectSamePixels(convertWith(loop, table, frame, desktop), expected,
                             "rotation " + std::to_string(rotation) + ", " + loop.name);
    }
}

// --- Sizes and placement ---------------------------------------------------

struct Placement {
    const char* name;
    std::uint32_t outW, outH;
    std::int32_t left, top;                       // the output on the desktop
    std::int32_t originX, originY, width, height; // the virtual screen
};

class HdrFramePlacement : public ::testing::TestWithParam<Placement> {};

TEST_P(HdrFramePlacement, GivesTheReferenceBytesAndLeavesTheRestAlone) {
    const Placement& p = GetParam();
    const HdrToneTable& table = tableFor(200);
    const Bytes noise = noiseBytes(std::size_t{p.outW} * p.outH * 6, p.outW * 31 + p.outH);
    const auto codes = [&](std::uint32_t c, std::uint32_t r) {
        const std::size_t i = (std::size_t{r} * p.outW + c) * 6;
        // Mostly below the shoulder, some above it, some invalid.
        const auto code = [&](std::size_t k) {
            return static_cast<std::uint16_t>((noise[i + k] | noise[i + k + 3] << 8) % 0x8400u);
        };
        return Texel{code(0), code(1), code(2), 0x3C00};
    };
    for (const std::uint32_t rotation : rotations) {
        const Texture t = makeFrame(p.outW, p.outH, rotation, codes);
        const HdrFrame frame = frameOf(t, p.left, p.top, p.outW, p.outH, rotation);
        const Desktop desktop = makeDesktop(p.originX, p.originY, p.width, p.height);
        const Bytes expected = convertByDefinition(table, frame, desktop);
        for (const Loop& loop : loops())
            expectSamePixels(convertWith(loop, table, frame, desktop), expected,
                             "rotation " + std::to_string(rotation) + ", " + loop.name);
    }
}

INSTANTIATE_TEST_SUITE_P(Outputs, HdrFramePlacement,
                         ::testing::Values(Placement{"OnePixel", 1, 1, 0, 0, 0, 0, 1, 1},
                                           Placement{"OddSizeFillingTheScreen", 37, 23, 0, 0, 0, 0, 37, 23},
                                           Placement{"WholeTilesAndOddTails", 61, 19, 0, 0, 0, 0, 61, 19},
                                           Placement{"ExactTiles", 32, 16, 0, 0, 0, 0, 32, 16},
                                           Placement{"BesideAnSdrMonitor", 40, 24, 30, 0, 0, 0, 70, 24},
                                           Placement{"LeftOfAndAboveThePrimary", 33, 17, -33, -5, -33, -5, 80, 40},
                                           Placement{"HangingOverEveryEdge", 70, 50, -9, -7, 0, 0, 45, 30},
                                           Placement{"OneColumn", 1, 41, 3, 2, 0, 0, 9, 50},
                                           Placement{"OneRow", 41, 1, 2, 3, 0, 0, 50, 9},
                                           Placement{"OffTheScreen", 20, 20, 100, 100, 0, 0, 50, 50}),
                         [](const ::testing::TestParamInfo<Placement>& param) {
                             return std::string(param.param.name);
                         });

// --- Rotations -------------------------------------------------------------

// The reference's turning, checked against the picture: a rotated
// frame holds the upright picture turned, and every rotation gives the same
// desktop. The texels are placed by the display's rule here, independently.
TEST(HdrFrame, EveryRotationGivesTheSameUprightPicture) {
    const HdrToneTable& table = tableFor(80);
    constexpr std::uint32_t outW = 45, outH = 27;
    // An asymmetric picture: a bright top-left corner, a gradient to the right, dark rows at the bottom.
    const auto codes = [](std::uint32_t c, std::uint32_t r) {
        const auto level = static_cast<std::uint16_t>(c < 4 && r < 3 ? 0x4000 : r > 20 ? 0x1000 : 0x2000 + c * 300);
        return Texel{level, static_cast<std::uint16_t>(0x3000 + r * 200), 0x3400, 0x3C00};
    };
    // Texel (tx, ty) of the texture as the display turns the output.
    const auto turned = [&](std::uint32_t rotation) {
        Texture t = makeTexture(outW, outH, rotation);
        for (std::uint32_t ty = 0; ty < t.height; ++ty)
            for (std::uint32_t tx = 0; tx < t.width; ++tx) {
                std::uint32_t c = tx, r = ty;
                if (rotation == hdrRotate90) // the output's top row runs up the texture's left column
                    c = outW - 1 - ty, r = tx;
                else if (rotation == hdrRotate180)
                    c = outW - 1 - tx, r = outH - 1 - ty;
                else if (rotation == hdrRotate270)
                    c = ty, r = outH - 1 - tx;
                setTexel(t, tx, ty, codes(c, r));
            }
        return t;
    };
    const Desktop desktop = makeDesktop(0, 0, outW, outH);
    const Texture upright = turned(1);
    const Bytes expected = convertDefault(table, frameOf(upright, 0, 0, outW, outH, 1), desktop);
    // The bright corner is the top-left pixel, stored in the last row (bottom-up).
    EXPECT_EQ(expected[std::size_t{outH - 1} * outW * 4 + 2], 255);
    EXPECT_LT(expected[2], 255);
    for (const std::uint32_t rotation : {hdrRotate90, hdrRotate180, hdrRotate270}) {
        const Texture t = turned(rotation);
        const HdrFrame frame = frameOf(t, 0, 0, outW, outH, rotation);
        expectSamePixels(convertByDefinition(table, frame, desktop), expected,
                         "reference, rotation " + std::to_string(rotation));
        expectSamePixels(convertDefault(table, frame, desktop), expected, "rotation " + std::to_string(rotation));
    }
}

TEST(HdrFrame, NoTexelsOrNoTargetWritesNothing) {
    const HdrToneTable& table = tableFor(80);
    const Texture t = makeFrame(8, 8, 1, everyGrey);
    Desktop desktop = makeDesktop(0, 0, 8, 8);
    const Bytes before = desktop.pixels;
    HdrFrame frame = frameOf(t, 0, 0, 8, 8, 1);
    frame.texels = nullptr;
    EXPECT_EQ(convertDefault(table, frame, desktop), before);
    frame = frameOf(t, 0, 0, 8, 8, 1);
    convertHdrFrame(table, frame, HdrTarget{nullptr, 0, 0, 8, 8}); // must not crash
}

} // namespace
